#include "scorer/network.hpp"

#include "scorer/line_reader.hpp"

#include <algorithm>
#include <functional>
#include <numeric>
#include <unordered_map>

namespace vornel {

namespace {

struct string_hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Collects interactions by identifier and turns them into a network.
class network_builder {
public:
    void add(std::string_view a, std::string_view b) {
        ++counts_.pairs_read;
        if (a == b) {
            ++counts_.self_pairs;
            return;
        }
        edges_.push_back({intern(a), intern(b)});
    }

    network_result finish() &&;

private:
    std::uint32_t intern(std::string_view identifier) {
        auto found = ids_.find(identifier);
        if (found != ids_.end()) return found->second;
        const auto id = static_cast<std::uint32_t>(names_.size());
        auto inserted = ids_.emplace(std::string(identifier), id).first;
        names_.push_back(&inserted->first);
        return id;
    }

    std::unordered_map<std::string, std::uint32_t, string_hash, std::equal_to<>> ids_;
    std::vector<const std::string*> names_;  // by first-seen id; map nodes never move
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edges_;

public:
    pair_file_counts counts_;
};

network_result network_builder::finish() && {
    network_result result;
    result.counts = counts_;
    network& net = result.net;
    const auto n = static_cast<std::uint32_t>(names_.size());

    std::vector<std::uint32_t> by_name(n);
    std::iota(by_name.begin(), by_name.end(), 0u);
    std::sort(by_name.begin(), by_name.end(),
              [&](std::uint32_t x, std::uint32_t y) { return *names_[x] < *names_[y]; });
    std::vector<std::uint32_t> dense(n);
    net.name_starts.reserve(n + 1);
    net.name_starts.push_back(0);
    for (std::uint32_t rank = 0; rank < n; ++rank) {
        dense[by_name[rank]] = rank;
        net.name_bytes += *names_[by_name[rank]];
        net.name_starts.push_back(net.name_bytes.size());
    }

    result.lines.reserve(edges_.size());
    for (auto& [a, b] : edges_) {
        a = dense[a];
        b = dense[b];
        result.lines.emplace_back(a, b);
        if (a > b) std::swap(a, b);
    }
    std::sort(edges_.begin(), edges_.end());
    const auto unique_end = std::unique(edges_.begin(), edges_.end());
    result.counts.repeated_pairs = static_cast<std::uint64_t>(edges_.end() - unique_end);
    edges_.erase(unique_end, edges_.end());

    std::vector<std::uint64_t> fill(n + 1, 0);
    for (const auto& [a, b] : edges_) {
        ++fill[a + 1];
        ++fill[b + 1];
    }
    std::partial_sum(fill.begin(), fill.end(), fill.begin());
    net.row_starts = fill;
    net.partner_ids.resize(edges_.size() * 2);
    // Edges are sorted by (min, max), so every row receives its smaller partners in increasing
    // order before its larger ones, also in increasing order: rows come out sorted.
    for (const auto& [a, b] : edges_) {
        net.partner_ids[fill[a]++] = b;
        net.partner_ids[fill[b]++] = a;
    }
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
        if (is_skipped_line(line)) continue;
        const line_fields fields = split_two_fields(line);
        if (fields.count < 2) return describe_line_error(path, reader.line_number());
        add(fields.first, fields.second);
    }
    lines = reader.line_number();
    if (!reader.error().empty()) return path + ": cannot read: " + reader.error();
    return {};
}

// Keeps the first appearance of every pair (in either orientation) and indexes pairs by row.
listed_pairs index_listed_pairs(std::vector<listed_pairs::pair_ids> raw, std::uint32_t n,
                                std::uint64_t& repeated) {
    std::vector<std::uint64_t> keys(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto [u, v] = std::minmax(raw[i].first, raw[i].second);
        keys[i] = (std::uint64_t{u} << 32) | v;
    }
    std::vector<std::uint32_t> order(raw.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t x, std::uint32_t y) { return keys[x] < keys[y]; });
    std::vector<bool> keep(raw.size(), false);
    for (std::size_t i = 0; i < order.size(); ++i) {
        keep[order[i]] = i == 0 || keys[order[i]] != keys[order[i - 1]];
    }

    listed_pairs listed;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (keep[i]) listed.pairs.push_back(raw[i]);
    }
    repeated = raw.size() - listed.pairs.size();

    listed.row_starts.assign(std::size_t{n} + 1, 0);
    for (const auto& p : listed.pairs) ++listed.row_starts[std::min(p.first, p.second) + 1];
    std::partial_sum(listed.row_starts.begin(), listed.row_starts.end(), listed.row_starts.begin());
    auto fill = listed.row_starts;
    listed.row_entries.resize(listed.pairs.size());
    for (std::uint32_t i = 0; i < listed.pairs.size(); ++i) {
        const auto [u, v] = std::minmax(listed.pairs[i].first, listed.pairs[i].second);
        listed.row_entries[fill[u]++] = {v, i};
    }
    for (std::uint32_t u = 0; u < n; ++u) {
        if (listed.row_starts[u + 1] > listed.row_starts[u]) listed.rows.push_back(u);
    }
    return listed;
}

// Collects listed pairs by id, counting self-pairs and pairs with unknown proteins.
class listed_collector {
public:
    explicit listed_collector(const network& net) : net_(net) {
        ids_.reserve(net.protein_count());
        for (std::uint32_t u = 0; u < net.protein_count(); ++u) ids_.emplace(net.name(u), u);
    }

    void add(std::string_view a, std::string_view b) {
        ++counts_.pairs_read;
        if (a == b) {
            ++counts_.self_pairs;
            return;
        }
        const auto u = ids_.find(a);
        const auto v = ids_.find(b);
        if (u == ids_.end() || v == ids_.end()) {
            ++counts_.unknown_pairs;
            return;
        }
        raw_.push_back({u->second, v->second});
    }

    listed_result finish() && {
        listed_result result;
        result.counts = counts_;
        result.listed = index_listed_pairs(std::move(raw_), net_.protein_count(),
                                           result.counts.repeated_pairs);
        return result;
    }

    pair_file_counts counts_;

private:
    const network& net_;
    std::unordered_map<std::string_view, std::uint32_t> ids_;  // views into net_.name_bytes
    std::vector<listed_pairs::pair_ids> raw_;
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

listed_result listed_pairs_of_network(const network_result& read) {
    std::vector<listed_pairs::pair_ids> raw;
    raw.reserve(read.lines.size());
    for (const auto& [a, b] : read.lines) raw.push_back({a, b});
    listed_result result;
    result.counts = read.counts;
    result.listed = index_listed_pairs(std::move(raw), read.net.protein_count(), result.counts.repeated_pairs);
    return result;
}

listed_result resolve_listed_pairs(std::span<const std::pair<std::string, std::string>> pairs,
                                   const network& net) {
    listed_collector collector(net);
    for (const auto& [a, b] : pairs) collector.add(a, b);
    collector.counts_.lines = pairs.size();
    return std::move(collector).finish();
}

}  // namespace vornel
