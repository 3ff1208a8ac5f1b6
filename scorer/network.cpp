#include "scorer/network.hpp"

#include "scorer/identifier_table.hpp"

#include "io/line_reader.hpp"

#include <algorithm>
#include <numeric>

namespace vornel {

namespace {

using ppi::io::line_fields;
using ppi::io::line_reader;

// Collects interactions by identifier and turns them into a network.
class network_builder {
public:
    void add(std::string_view a, std::string_view b) {
        ++counts_.pairs_read;
        if (a == b) {
            ++counts_.self_pairs;
            return;
        }
        const std::uint64_t hash_a = hash_identifier(a);
        const std::uint64_t hash_b = hash_identifier(b);
        identifiers_.prefetch(hash_b);
        const std::uint32_t id_a = identifiers_.intern(a, hash_a);
        edges_.push_back({id_a, identifiers_.intern(b, hash_b)});
    }

    network_result finish() &&;

    pair_file_counts counts_;

private:
    identifier_table identifiers_;  // first-seen ids
    big_vector<pair_ids> edges_;
};

// Fills net.name_bytes and net.name_starts in byte order of the identifiers; returns, for
// every first-seen id, its dense id (its rank in that order).
std::vector<std::uint32_t> number_in_byte_order(const identifier_table& identifiers, network& net) {
    const std::uint32_t n = identifiers.size();
    std::vector<std::uint32_t> by_name(n);
    std::iota(by_name.begin(), by_name.end(), 0u);
    std::sort(by_name.begin(), by_name.end(),
              [&](std::uint32_t x, std::uint32_t y) { return identifiers.name(x) < identifiers.name(y); });
    std::vector<std::uint32_t> dense(n);
    net.name_starts.reserve(std::size_t{n} + 1);
    net.name_starts.push_back(0);
    for (std::uint32_t rank = 0; rank < n; ++rank) {
        dense[by_name[rank]] = rank;
        net.name_bytes += identifiers.name(by_name[rank]);
        net.name_starts.push_back(net.name_bytes.size());
    }
    return dense;
}

// Offsets of rows holding every listed pair in both directions.
std::vector<std::uint64_t> row_offsets(std::span<const pair_ids> edges,
                                       std::uint32_t n) {
    std::vector<std::uint64_t> starts(std::size_t{n} + 1, 0);
    for (const auto& [a, b] : edges) {
        ++starts[a + 1];
        ++starts[b + 1];
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    return starts;
}

// Builds the rows of net from the interactions (repeats allowed); returns how many repeated
// pairs were merged. Two linear passes instead of a sort: the first groups partners by row in
// any order; the second walks those rows in increasing id u and appends u to the row of each
// partner, so every row receives its partners in increasing order.
std::uint64_t build_rows(std::span<const pair_ids> edges, std::uint32_t n,
                         network& net) {
    const std::vector<std::uint64_t> starts = row_offsets(edges, n);
    big_vector<std::uint32_t> unordered(starts.back());
    std::vector<std::uint64_t> fill(starts.begin(), starts.end() - 1);
    for (const auto& [a, b] : edges) {
        unordered[fill[a]++] = b;
        unordered[fill[b]++] = a;
    }
    std::copy(starts.begin(), starts.end() - 1, fill.begin());
    big_vector<std::uint32_t> sorted(starts.back());
    for (std::uint32_t u = 0; u < n; ++u) {
        for (std::uint64_t slot = starts[u]; slot < starts[u + 1]; ++slot) sorted[fill[unordered[slot]]++] = u;
    }
    // Repeats are now neighbours within their rows: keep the first of each run.
    net.row_starts.assign(std::size_t{n} + 1, 0);
    std::uint64_t kept = 0;
    for (std::uint32_t u = 0; u < n; ++u) {
        for (std::uint64_t slot = starts[u]; slot < starts[u + 1]; ++slot) {
            if (slot == starts[u] || sorted[slot] != sorted[slot - 1]) sorted[kept++] = sorted[slot];
        }
        net.row_starts[u + 1] = kept;
    }
    const std::uint64_t repeated_directions = sorted.size() - kept;
    sorted.resize(kept);
    net.partner_ids = std::move(sorted);
    return repeated_directions / 2;  // every repeated pair shows up in both of its rows
}

network_result network_builder::finish() && {
    network_result result;
    result.counts = counts_;
    const std::vector<std::uint32_t> dense = number_in_byte_order(identifiers_, result.net);
    for (auto& edge : edges_) edge = {dense[edge.first], dense[edge.second]};
    result.counts.repeated_pairs = build_rows(edges_, identifiers_.size(), result.net);
    result.lines = std::move(edges_);
    return result;
}

std::string describe_line_error(const std::string& path, std::uint64_t line) {
    return path + ":" + std::to_string(line) + ": expected two identifiers";
}

// Feeds every data line of a pair file to `add(first, second)`; returns an error text or "".
template <class Add>
std::string read_pair_lines(const std::string& path, std::uint64_t& lines, Add add) {
    line_reader reader(path);
    std::string_view line;
    while (reader.next_line(line)) {
        if (ppi::io::is_skipped_line(line)) continue;
        const line_fields fields = ppi::io::split_two_fields(line);
        if (fields.count < 2) return describe_line_error(path, reader.line_number());
        add(fields.first, fields.second);
    }
    lines = reader.line_number();
    if (!reader.error().empty()) return path + ": cannot read: " + reader.error();
    return {};
}

// Keeps the first appearance of every pair (in either orientation); returns how many repeats
// were dropped. Repeats are found row by row: a row lists its pairs in listing order, and a
// partner already met in the row is a repeat.
std::uint64_t drop_repeated_pairs(big_vector<pair_ids>& pairs, std::uint32_t n) {
    const pair_rows by_row = group_by_smaller_id(pairs, n);
    std::vector<bool> keep(pairs.size(), true);
    std::vector<std::uint32_t> seen_in_row(n, 0);  // row + 1 once the partner was met in the row
    std::uint64_t repeated = 0;
    for (const std::uint32_t u : by_row.rows) {
        for (std::uint64_t e = by_row.starts[u]; e < by_row.starts[u + 1]; ++e) {
            const auto [v, index] = by_row.entries[e];
            if (seen_in_row[v] == u + 1) {
                keep[index] = false;
                ++repeated;
            }
            seen_in_row[v] = u + 1;
        }
    }
    if (repeated == 0) return 0;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (keep[i]) pairs[kept++] = pairs[i];
    }
    pairs.resize(kept);
    return repeated;
}

// Collects listed pairs by id, counting self-pairs and pairs with unknown proteins.
class listed_collector {
public:
    explicit listed_collector(const network& net) : net_(net) {
        for (std::uint32_t u = 0; u < net.protein_count(); ++u) ids_.intern(net.name(u));
    }

    void add(std::string_view a, std::string_view b) {
        ++counts_.pairs_read;
        if (a == b) {
            ++counts_.self_pairs;
            return;
        }
        const auto u = ids_.find(a);
        const auto v = ids_.find(b);
        if (!u || !v) {
            ++counts_.unknown_pairs;
            return;
        }
        raw_.push_back({*u, *v});
    }

    listed_result finish() && {
        listed_result result;
        result.counts = counts_;
        result.counts.repeated_pairs = drop_repeated_pairs(raw_, net_.protein_count());
        result.listed.pairs = std::move(raw_);
        return result;
    }

    pair_file_counts counts_;

private:
    const network& net_;
    identifier_table ids_;  // the network's ids
    big_vector<pair_ids> raw_;
};

}  // namespace

std::optional<std::uint32_t> network::find(std::string_view identifier) const {
    std::uint32_t low = 0;
    std::uint32_t high = protein_count();
    while (low < high) {
        const std::uint32_t mid = low + (high - low) / 2;
        if (name(mid) < identifier) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    if (low < protein_count() && name(low) == identifier) return low;
    return std::nullopt;
}

bool network::interacts(std::uint32_t u, std::uint32_t v) const {
    const auto row = partners(u);
    return std::binary_search(row.begin(), row.end(), v);
}

network_result read_network(const std::string& path) {
    network_builder builder;
    std::uint64_t lines = 0;
    std::string error = read_pair_lines(path, lines,
                                        [&](std::string_view a, std::string_view b) { builder.add(a, b); });
    if (!error.empty()) {
        network_result failed;
        failed.error = std::move(error);
        return failed;
    }
    builder.counts_.lines = lines;
    return std::move(builder).finish();
}

network_result build_network(std::span<const std::pair<std::string, std::string>> pairs) {
    network_builder builder;
    for (const auto& [a, b] : pairs) builder.add(a, b);
    builder.counts_.lines = pairs.size();
    return std::move(builder).finish();
}

listed_result read_listed_pairs(const std::string& path, const network& net) {
    listed_collector collector(net);
    std::uint64_t lines = 0;
    std::string error = read_pair_lines(path, lines,
                                        [&](std::string_view a, std::string_view b) { collector.add(a, b); });
    if (!error.empty()) {
        listed_result failed;
        failed.error = std::move(error);
        return failed;
    }
    collector.counts_.lines = lines;
    return std::move(collector).finish();
}

listed_result listed_pairs_of_network(network_result& read) {
    listed_result result;
    result.counts = read.counts;
    result.listed.pairs = std::move(read.lines);
    read.lines = {};
    // The network's own count of repeats says whether its lines hold any.
    if (read.counts.repeated_pairs > 0) drop_repeated_pairs(result.listed.pairs, read.net.protein_count());
    return result;
}

pair_rows group_by_smaller_id(std::span<const pair_ids> pairs, std::uint32_t n) {
    return group_pairs(pairs, n, [](const pair_ids& p) { return std::min(p.first, p.second); });
}

listed_result resolve_listed_pairs(std::span<const std::pair<std::string, std::string>> pairs,
                                   const network& net) {
    listed_collector collector(net);
    for (const auto& [a, b] : pairs) collector.add(a, b);
    collector.counts_.lines = pairs.size();
    return std::move(collector).finish();
}

}  // namespace vornel
