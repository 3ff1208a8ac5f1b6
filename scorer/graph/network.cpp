#include "scorer/graph/network.hpp"

#include "scorer/graph/identifier_table.hpp"
#include "scorer/graph/network_builder.hpp"

#include "io/line_reader.hpp"
#include "io/plausibility.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace vornel {

namespace {

using ppi::io::line_reader;

// The result of a read stopped by its flag.
network_result read_stopped(const std::string& path) {
    network_result stopped;
    stopped.error = path + ": reading stopped";
    return stopped;
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
// the format detected from its first lines; returns an error text or "" (`unreadable` is set when
// the file itself could not be read). With `watch` (network files), rows below --min-weight are
// dropped and counted.
template <class Add>
std::string read_pair_lines(const std::string& path, const ppi::io::format_options& formats,
                            std::uint64_t& lines, table_report& report, row_watch* watch, bool& unreadable, Add add) {
    line_reader reader(path);
    first_lines first = read_first_lines(reader, report);
    unreadable = !reader.error().empty();
    if (unreadable) return path + ": cannot read: " + reader.error();
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
    unreadable = !reader.error().empty();
    if (unreadable) return path + ": cannot read: " + reader.error();
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

network_result read_network(const std::string& path, const ppi::io::format_options& formats, bool keep_weights,
                            const std::atomic<bool>* cancel) {
    network_builder builder;
    std::uint64_t lines = 0;
    table_report report;
    row_watch watch;
    watch.cancel = cancel;
    bool unreadable = false;
    std::string error = read_pair_lines(path, formats, lines, report, &watch, unreadable,
                                        [&](std::string_view a, std::string_view b, double weight) {
                                            builder.add(a, b, keep_weights ? weight : no_weight);
                                        });
    if (error.empty() && !formats.forced()) error = check_columns(path, builder.census(), report, watch);
    if (!error.empty()) {
        network_result failed;
        failed.error = std::move(error);
        failed.failure = unreadable ? read_failure::unreadable : read_failure::bad_contents;
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
    bool unreadable = false;
    std::string error = read_pair_lines(path, formats, lines, report, nullptr, unreadable,
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
