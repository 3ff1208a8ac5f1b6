#include "scorer/network.hpp"

#include "scorer/identifier_table.hpp"

#include "io/line_reader.hpp"
#include "io/plausibility.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace vornel {

namespace {

using ppi::io::line_reader;

// Collects interactions by identifier and turns them into a network.
// Whether a stop flag is given and set.
bool is_set(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// The result of a read stopped by its flag.
network_result read_stopped(const std::string& path) {
    network_result stopped;
    stopped.error = path + ": reading stopped";
    return stopped;
}

class network_builder {
public:
    // `weight`: the interaction's weight, or no_weight (as are negative and infinite ones).
    [[gnu::always_inline]] void add(std::string_view a, std::string_view b, double weight = no_weight) {
        ++counts_.pairs_read;
        if (a == b) {
            ++counts_.self_pairs;
            return;
        }
        const std::uint64_t hash_a = hash_identifier(a);
        const std::uint64_t hash_b = hash_identifier(b);
        identifiers_.prefetch(hash_b);
        const std::uint32_t id_a = identifiers_.intern(a, hash_a);
        note_side(id_a, ppi::io::identifier_sides::side_a);
        const std::uint32_t id_b = identifiers_.intern(b, hash_b);
        note_side(id_b, ppi::io::identifier_sides::side_b);
        edges_.push_back({id_a, id_b});
        note_weight(weight);
    }

    // What the two columns held so far, for the plausibility check.
    ppi::io::column_census census() const {
        ppi::io::column_census census;
        census.rows = edges_.size();
        for (std::uint32_t id = 0; id < identifiers_.size(); ++id) census.add_identifier(identifiers_.name(id), sides_[id]);
        // Whether the columns count the rows, from the rows in file order: a real list fails
        // at its second row, so this costs nothing per row while reading.
        ppi::io::row_counter_check counter_a, counter_b{true};
        for (std::size_t i = 0; i < edges_.size() && (counter_a.alive() || counter_b.alive()); ++i) {
            counter_a.note(identifiers_.name(edges_[i].first));
            counter_b.note(identifiers_.name(edges_[i].second));
        }
        census.a_counts_rows = counter_a.counts_rows();
        census.b_steps_by_one = counter_b.counts_rows();
        return census;
    }

    // The network of the pairs added. With `cancel` set by another thread it stops between its
    // passes and returns nullopt.
    std::optional<network_result> finish(const std::atomic<bool>* cancel = nullptr) &&;

    pair_file_counts counts_;

private:
    // Weights are kept while every interaction so far has one; the first without one makes
    // the network unweighted (a weight of 1 or 0 made up for it would rank it arbitrarily).
    void note_weight(double weight) {
        if (weight >= 0 && weight <= std::numeric_limits<double>::max()) {
            if (all_weighted_) edge_weights_.push_back(weight + 0.0);  // + 0.0 turns -0 into 0
            return;
        }
        ++counts_.pairs_without_weight;
        if (all_weighted_) {
            all_weighted_ = false;
            edge_weights_ = {};
        }
    }

    // Ids are numbered in order of first sight, so a new one is sides_.size().
    [[gnu::always_inline]] void note_side(std::uint32_t id, std::uint8_t side) {
        if (id == sides_.size()) [[unlikely]] add_side();
        ppi::io::identifier_sides::note(sides_[id], side);
    }
    [[gnu::noinline]] void add_side() { sides_.push_back(0); }

    identifier_table identifiers_;  // first-seen ids
    std::vector<std::uint8_t> sides_;  // by first-seen id: its columns and appearances
    big_vector<pair_ids> edges_;
    big_vector<double> edge_weights_;  // by edge, while all_weighted_
    bool all_weighted_ = true;
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

// Builds the rows of net from the interactions (repeats allowed), with their weights when
// `Weighted`; returns how many repeated pairs were merged. Two linear passes instead of a sort:
// the first groups partners by row in any order; the second walks those rows in increasing id u
// and appends u to the row of each partner, so every row receives its partners in increasing
// order. Repeated rows of a pair keep the largest weight: the maximum does not depend on the
// order of the rows, leaves a pair listed in both orientations with one score (as STRING lists
// every link) as it is, and takes the best piece of evidence when each row is one (as in
// PSI-MITAB), where a sum would count the same link again for every orientation or listing.
template <bool Weighted>
std::optional<std::uint64_t> build_rows(std::span<const pair_ids> edges, std::span<const double> edge_weights,
                                        std::uint32_t n, network& net, const std::atomic<bool>* cancel) {
    const std::vector<std::uint64_t> starts = row_offsets(edges, n);
    if (is_set(cancel)) return std::nullopt;
    big_vector<std::uint32_t> unordered(starts.back());
    big_vector<double> unordered_weights(Weighted ? starts.back() : 0);
    std::vector<std::uint64_t> fill(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const auto [a, b] = edges[i];
        if constexpr (Weighted) {
            unordered_weights[fill[a]] = edge_weights[i];
            unordered_weights[fill[b]] = edge_weights[i];
        }
        unordered[fill[a]++] = b;
        unordered[fill[b]++] = a;
    }
    if (is_set(cancel)) return std::nullopt;
    std::copy(starts.begin(), starts.end() - 1, fill.begin());
    big_vector<std::uint32_t> sorted(starts.back());
    big_vector<double> sorted_weights(Weighted ? starts.back() : 0);
    for (std::uint32_t u = 0; u < n; ++u) {
        for (std::uint64_t slot = starts[u]; slot < starts[u + 1]; ++slot) {
            const std::uint64_t to = fill[unordered[slot]]++;
            sorted[to] = u;
            if constexpr (Weighted) sorted_weights[to] = unordered_weights[slot];
        }
    }
    if (is_set(cancel)) return std::nullopt;
    // Repeats are now neighbours within their rows: keep the first of each run.
    net.row_starts.assign(std::size_t{n} + 1, 0);
    std::uint64_t kept = 0;
    for (std::uint32_t u = 0; u < n; ++u) {
        for (std::uint64_t slot = starts[u]; slot < starts[u + 1]; ++slot) {
            if (slot == starts[u] || sorted[slot] != sorted[slot - 1]) {
                if constexpr (Weighted) sorted_weights[kept] = sorted_weights[slot];
                sorted[kept++] = sorted[slot];
            } else if constexpr (Weighted) {
                sorted_weights[kept - 1] = std::max(sorted_weights[kept - 1], sorted_weights[slot]);
            }
        }
        net.row_starts[u + 1] = kept;
    }
    const std::uint64_t repeated_directions = sorted.size() - kept;
    sorted.resize(kept);
    net.partner_ids = std::move(sorted);
    if constexpr (Weighted) {
        sorted_weights.resize(kept);
        net.weights = std::move(sorted_weights);
    }
    return repeated_directions / 2;  // every repeated pair shows up in both of its rows
}

std::optional<network_result> network_builder::finish(const std::atomic<bool>* cancel) && {
    network_result result;
    result.counts = counts_;
    const std::vector<std::uint32_t> dense = number_in_byte_order(identifiers_, result.net);
    if (is_set(cancel)) return std::nullopt;
    for (auto& edge : edges_) edge = {dense[edge.first], dense[edge.second]};
    const bool weighted = all_weighted_ && !edges_.empty();
    const std::optional<std::uint64_t> repeated =
        weighted ? build_rows<true>(edges_, edge_weights_, identifiers_.size(), result.net, cancel)
                 : build_rows<false>(edges_, {}, identifiers_.size(), result.net, cancel);
    if (!repeated) return std::nullopt;
    result.counts.repeated_pairs = *repeated;
    edge_weights_ = {};
    result.lines = std::move(edges_);
    return result;
}

// The first non-blank line (a header, if any) and the first two data lines, copied: detection
// needs them before any row is read. Comment lines between them carry nothing. A UTF-8
// byte-order mark before the first line is dropped (and noted in the report).
struct first_lines {
    std::vector<std::string> texts;
    std::vector<ppi::io::sample_line> samples;
    bool more = true;  // the file may hold more lines
};

first_lines read_first_lines(line_reader& reader, table_report& report) {
    first_lines first;
    std::string_view line;
    std::size_t data_lines = 0;
    while (data_lines < 2 && (first.more = reader.next_line(line))) {
        if (reader.line_number() == 1) report.byte_order_mark = ppi::io::strip_byte_order_mark(line);
        const bool skipped = ppi::io::is_skipped_line(line);
        if (skipped && (!first.texts.empty() || line.find('#') == std::string_view::npos)) continue;
        first.texts.emplace_back(line);
        first.samples.push_back({{}, reader.line_number()});
        if (!skipped) ++data_lines;
    }
    for (std::size_t i = 0; i < first.samples.size(); ++i) first.samples[i].text = first.texts[i];
    return first;
}

// Why a network file cannot be read as detected before any row is: --min-weight without weights.
std::string check_cut(const ppi::io::table_layout& layout, const ppi::io::format_options& formats) {
    if (std::isnan(formats.min_weight) || layout.weight != ppi::io::weight_rule::none) return {};
    if (layout.family == ppi::io::table_family::plain || layout.family == ppi::io::table_family::csv) {
        return "--min-weight needs weights, but this " + layout.name + " has none (a numeric third column)";
    }
    return "--min-weight needs weights, but this " + layout.name + " has none";
}

// What a network read needs beyond the pairs: its first data row, for the plausibility
// check's error.
struct row_watch {
    std::string first_row;
    std::uint64_t first_row_number = 0;
    const std::atomic<bool>* cancel = nullptr;  // when set by another thread, the read stops

    // Polled every 65,536 lines: a relaxed load there costs nothing measurable.
    bool cancelled(std::uint64_t line_number) const {
        return cancel && line_number % 65536 == 0 && cancel->load(std::memory_order_relaxed);
    }

    void note_first(const first_lines& first, std::uint64_t header_line) {
        for (const auto& sample : first.samples) {
            if (sample.number == header_line || ppi::io::is_skipped_line(sample.text)) continue;
            first_row = sample.text.substr(0, 200);
            first_row_number = sample.number;
            return;
        }
    }
};

// Feeds every interaction of a pair file to `add(first, second, weight)` (weight NaN: none), in
// the format detected from its first lines; returns an error text or "". With `watch` (network
// files), rows below --min-weight are dropped and counted.
template <class Add>
std::string read_pair_lines(const std::string& path, const ppi::io::format_options& formats,
                            std::uint64_t& lines, table_report& report, row_watch* watch, Add add) {
    line_reader reader(path);
    first_lines first = read_first_lines(reader, report);
    if (!reader.error().empty()) return path + ": cannot read: " + reader.error();
    ppi::io::detection detected = ppi::io::detect_table(first.samples, formats);
    if (detected.error.empty() && watch) detected.error = check_cut(detected.layout, formats);
    if (!detected.error.empty()) {
        std::string where = path;
        if (detected.error_line > 0) where += ':' + std::to_string(detected.error_line);
        return where + ": " + detected.error;
    }
    report.layout = std::move(detected.layout);
    const ppi::io::table_layout& layout = report.layout;
    if (watch) watch->note_first(first, layout.header_line);
    const bool cut = watch && !std::isnan(formats.min_weight);
    ppi::io::table_row row;
    std::string error;
    const auto take = [&](std::string_view text, std::uint64_t number) {
        if (number == layout.header_line || ppi::io::is_skipped_line(text)) return true;
        const ppi::io::row_kind kind = ppi::io::extract_row(layout, text, row);
        switch (kind) {
        case ppi::io::row_kind::pair:
            if (cut && !(row.weight >= formats.min_weight)) {
                ++report.below_min_weight;
                return true;
            }
            if (row.weight == row.weight) report.has_weights = true;
            add(row.a, row.b, row.weight);
            return true;
        case ppi::io::row_kind::genetic: ++report.skipped.genetic; return true;
        case ppi::io::row_kind::other_taxon: ++report.skipped.other_taxon; return true;
        case ppi::io::row_kind::missing_id: ++report.skipped.missing_id; return true;
        case ppi::io::row_kind::too_few_columns:
        case ppi::io::row_kind::bad_weight: break;
        }
        error = path + ":" + std::to_string(number) + ": " + ppi::io::describe_row_error(layout, kind, row);
        return false;
    };
    for (const auto& sample : first.samples) {
        if (!take(sample.text, sample.number)) return error;
    }
    std::string_view line;
    if (first.more) {
        while (reader.next_line(line)) {
            if (!take(line, reader.line_number())) return error;
            if (watch && watch->cancelled(reader.line_number())) return read_stopped(path).error;
        }
    }
    lines = reader.line_number();
    if (!reader.error().empty()) return path + ": cannot read: " + reader.error();
    return {};
}

// The plausibility check of a network read by a detected format (see io/plausibility.hpp), or "".
std::string check_columns(const std::string& path, const ppi::io::column_census& census, const table_report& report,
                          const row_watch& watch) {
    const ppi::io::table_layout& layout = report.layout;
    std::string error = ppi::io::implausible_columns(census, layout, watch.first_row, watch.first_row_number);
    if (error.empty()) return {};
    const std::string suggestion = ppi::io::suggest_identifier_columns(path, layout);
    if (!suggestion.empty()) error += "; " + suggestion;
    if (layout.separator == ppi::io::separator_kind::blanks && watch.first_row.find(',') != std::string::npos) {
        error += "; the rows hold commas: a comma-separated file reads with --format csv";
    }
    return path + ": " + error + "; name the columns with --columns A,B[,W], or read these columns anyway with --format " +
           std::string(ppi::io::format_name(layout.family));
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

double parse_weight(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return no_weight;
    return value >= 0 && std::isfinite(value) ? value : no_weight;
}

network_result read_network(const std::string& path, const ppi::io::format_options& formats, bool keep_weights,
                            const std::atomic<bool>* cancel) {
    network_builder builder;
    std::uint64_t lines = 0;
    table_report report;
    row_watch watch;
    watch.cancel = cancel;
    std::string error = read_pair_lines(path, formats, lines, report, &watch,
                                        [&](std::string_view a, std::string_view b, double weight) {
                                            builder.add(a, b, keep_weights ? weight : no_weight);
                                        });
    if (error.empty() && !formats.forced()) error = check_columns(path, builder.census(), report, watch);
    if (!error.empty()) {
        network_result failed;
        failed.error = std::move(error);
        return failed;
    }
    builder.counts_.lines = lines;
    std::optional<network_result> built = std::move(builder).finish(cancel);
    if (!built) return read_stopped(path);
    network_result result = std::move(*built);
    result.table = std::move(report);
    return result;
}

network_result build_network(std::span<const std::pair<std::string, std::string>> pairs,
                             std::span<const double> weights) {
    network_builder builder;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        builder.add(pairs[i].first, pairs[i].second, i < weights.size() ? weights[i] : no_weight);
    }
    builder.counts_.lines = pairs.size();
    return *std::move(builder).finish();
}

listed_result read_listed_pairs(const std::string& path, const network& net,
                                const ppi::io::format_options& formats) {
    listed_collector collector(net);
    std::uint64_t lines = 0;
    table_report report;
    std::string error = read_pair_lines(path, formats, lines, report, nullptr,
                                        [&](std::string_view a, std::string_view b, double) { collector.add(a, b); });
    if (!error.empty()) {
        listed_result failed;
        failed.error = std::move(error);
        return failed;
    }
    collector.counts_.lines = lines;
    listed_result result = std::move(collector).finish();
    result.table = std::move(report);
    return result;
}

listed_result listed_pairs_of_network(network_result& read) {
    listed_result result;
    result.counts = read.counts;
    result.table = read.table;
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
