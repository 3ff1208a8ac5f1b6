// Format detection, row extraction and the plausibility check on any bytes: no crash and no
// sanitizer report, and every row that extraction accepts is well formed: two non-empty
// identifiers taken from the line itself (without a separator of the format inside, unless
// quoted) and a weight that is absent or a finite number. The first input byte picks the
// options (forced format, taxon, ids); the second one extras: a byte-order mark before the
// first line, a first line made longer than detection looks, HIPPIE's UniProt names.
#include "io/plausibility.hpp"
#include "io/table_format.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void disagree(const char* what, std::string_view line) {
    std::fprintf(stderr, "disagreement: %s\n--- line:\n%.*s\n", what, static_cast<int>(line.size()), line.data());
    std::abort();
}

ppi::io::format_options options_from(std::uint8_t choice) {
    static constexpr std::array<const char*, 13> formats = {
        "", "", "", "plain", "string", "string-export", "biogrid", "mitab", "huri", "bioplex", "hippie", "hint", "csv"};
    ppi::io::format_options options;
    options.format = formats[choice % formats.size()];
    if (choice & 0x10) options.taxon = "9606";
    if (choice & 0x20) options.keep_genetic = true;
    if (choice & 0x40) options.ids = ppi::io::id_choice::symbol;
    if (choice & 0x80) options.columns = (choice & 1) ? "1,2,3" : "2,1";
    return options;
}

std::vector<ppi::io::sample_line> split_lines(std::string_view text) {
    std::vector<ppi::io::sample_line> lines;
    std::uint64_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        lines.push_back({text.substr(0, end), ++number});
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool within(std::string_view part, std::string_view line) {
    return part.data() >= line.data() && part.data() + part.size() <= line.data() + line.size();
}

// The census of the rows read, for the plausibility check.
struct census_builder {
    std::map<std::string, std::uint8_t> sides;
    ppi::io::row_counter_check counter_a, counter_b{true};
    std::uint64_t rows = 0;

    void add(const ppi::io::table_row& row) {
        ppi::io::identifier_sides::note(sides[std::string(row.a)], ppi::io::identifier_sides::side_a);
        ppi::io::identifier_sides::note(sides[std::string(row.b)], ppi::io::identifier_sides::side_b);
        counter_a.note(row.a);
        counter_b.note(row.b);
        ++rows;
    }

    void check(const ppi::io::table_layout& layout, std::string_view first_row) const {
        ppi::io::column_census census;
        for (const auto& [name, side] : sides) census.add_identifier(name, side);
        census.rows = rows;
        census.a_counts_rows = counter_a.counts_rows();
        census.b_steps_by_one = counter_b.counts_rows();
        if (census.shared > census.ids_a || census.shared > census.ids_b) disagree("more shared than held", first_row);
        const std::string error = ppi::io::implausible_columns(census, layout, first_row, 1);
        if (!error.empty() && census.rows == 0) disagree("an empty table refused", first_row);
    }
};

void check_row(const ppi::io::table_layout& layout, std::string_view line, census_builder& census) {
    ppi::io::table_row row;
    const ppi::io::row_kind kind = ppi::io::extract_row(layout, line, row);
    if (kind != ppi::io::row_kind::pair) {
        (void)ppi::io::describe_row_error(layout, kind, row);
        return;
    }
    census.add(row);
    if (row.a.empty() || row.b.empty()) disagree("an empty identifier", line);
    if (!within(row.a, line) || !within(row.b, line)) disagree("an identifier outside its line", line);
    const char* separators = layout.separator == ppi::io::separator_kind::tab     ? "\t"
                             : layout.separator == ppi::io::separator_kind::space ? " "
                             : layout.separator == ppi::io::separator_kind::comma ? ","
                                                                                 : " \t\v\f";
    // A field in quotes may hold the separator (CSV): its quotes were just before it, or kept
    // where the field goes on past its closing quote.
    const auto quoted = [&](std::string_view id) {
        return id.starts_with('"') || (id.data() > line.data() && id.data()[-1] == '"');
    };
    if ((!quoted(row.a) && row.a.find_first_of(separators) != std::string_view::npos) ||
        (!quoted(row.b) && row.b.find_first_of(separators) != std::string_view::npos)) {
        disagree("a separator inside an identifier", line);
    }
    if (!std::isnan(row.weight) && !std::isfinite(row.weight)) disagree("an infinite weight", line);
}

}  // namespace

// The input text with the extras applied: a byte-order mark the reader drops (it must leave
// the same text), a first line repeated past the detection prefix.
std::string text_with_extras(std::uint8_t extras, std::string_view text) {
    std::string marked = (extras & 1) ? "\xEF\xBB\xBF" + std::string(text) : std::string(text);
    std::string_view view = marked;
    if (!ppi::io::strip_byte_order_mark(view) && (extras & 1)) disagree("a byte-order mark kept", text);
    std::string result(view);
    if ((extras & 2) && !result.empty()) {
        const std::size_t end = std::min(result.find_first_of("\r\n"), result.size());
        const std::string first = result.substr(0, end);
        std::string wide = first;
        while (!first.empty() && wide.size() <= ppi::io::detection_prefix_bytes) wide += first;
        result.replace(0, end, wide);
    }
    return result;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    ppi::io::format_options options = options_from(data[0]);
    if (data[1] & 4) options.ids = ppi::io::id_choice::uniprot;
    const std::string input = text_with_extras(data[1], std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));
    const std::string_view text = input;
    const std::vector<ppi::io::sample_line> lines = split_lines(text);
    // The reader hands detection the first lines up to the second data line.
    const std::size_t sample = std::min<std::size_t>(lines.size(), 4);
    const ppi::io::detection found =
        ppi::io::detect_table(std::span<const ppi::io::sample_line>(lines.data(), sample), options);
    if (!found.error.empty()) return 0;
    (void)ppi::io::describe_layout(found.layout);
    (void)ppi::io::describe_skips(found.layout, {});
    census_builder census;
    for (const auto& line : lines) {
        if (line.number == found.layout.header_line || line.text.empty()) continue;
        check_row(found.layout, line.text, census);
    }
    census.check(found.layout, lines.empty() ? std::string_view() : lines[0].text);
    return 0;
}
