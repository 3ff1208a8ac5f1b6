// Format detection and row extraction on any bytes: no crash and no sanitizer report, and
// every row that extraction accepts is well formed: two non-empty identifiers taken from the
// line itself (without a separator of the format inside) and a weight that is absent or a
// finite number. The first input byte picks the options (forced format, taxon, ids).
#include "io/table_format.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void disagree(const char* what, std::string_view line) {
    std::fprintf(stderr, "disagreement: %s\n--- line:\n%.*s\n", what, static_cast<int>(line.size()), line.data());
    std::abort();
}

ppi::io::format_options options_from(std::uint8_t choice) {
    static constexpr std::array<const char*, 10> formats = {
        "", "", "", "plain", "string", "string-export", "biogrid", "mitab", "huri", "bioplex"};
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

void check_row(const ppi::io::table_layout& layout, std::string_view line) {
    ppi::io::table_row row;
    const ppi::io::row_kind kind = ppi::io::extract_row(layout, line, row);
    if (kind != ppi::io::row_kind::pair) {
        (void)ppi::io::describe_row_error(layout, kind, row);
        return;
    }
    if (row.a.empty() || row.b.empty()) disagree("an empty identifier", line);
    if (!within(row.a, line) || !within(row.b, line)) disagree("an identifier outside its line", line);
    const char* separators = layout.separator == ppi::io::separator_kind::tab     ? "\t"
                             : layout.separator == ppi::io::separator_kind::space ? " "
                                                                                 : " \t\v\f";
    if (row.a.find_first_of(separators) != std::string_view::npos ||
        row.b.find_first_of(separators) != std::string_view::npos) {
        disagree("a separator inside an identifier", line);
    }
    if (!std::isnan(row.weight) && !std::isfinite(row.weight)) disagree("an infinite weight", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const ppi::io::format_options options = options_from(data[0]);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::vector<ppi::io::sample_line> lines = split_lines(text);
    // The reader hands detection the first lines up to the second data line.
    const std::size_t sample = std::min<std::size_t>(lines.size(), 4);
    const ppi::io::detection found =
        ppi::io::detect_table(std::span<const ppi::io::sample_line>(lines.data(), sample), options);
    if (!found.error.empty()) return 0;
    (void)ppi::io::describe_layout(found.layout);
    (void)ppi::io::describe_skips(found.layout, {});
    for (const auto& line : lines) {
        if (line.number == found.layout.header_line || line.text.empty()) continue;
        check_row(found.layout, line.text);
    }
    return 0;
}
