#include "io/table_families.hpp"

#include "io/table_fields.hpp"

// Which format a file is in, from its first lines and the options: a known header, a known row
// without a header, or an edge list.
namespace ppi::io {

namespace {

using namespace tables;

// Sets the layout of a known header of names separated by `separator`; false when there is none.
bool set_known_header(const std::vector<std::string_view>& names, separator_kind separator, const sample_line* next,
                      const format_options& options, table_layout& layout, std::string& error) {
    const bool tab = separator == separator_kind::tab;
    const bool space = separator == separator_kind::space;
    std::size_t first = no_column;
    if (tab && named(names, 0, "biogrid interaction id")) {
        error = set_biogrid(layout, names, options);
    } else if (tab && ((names.size() >= 2 && is_mitab_header_name(names[0])) ||
                       (names.size() >= 3 && names[0].empty() && is_mitab_header_name(names[1])))) {
        // DIP writes its header starting with a tab, one column right of the data.
        set_mitab(layout);
    } else if (!space && names.size() >= 3 && (first = pair_of_names(names, "node1", "node2")) != no_column &&
               find_name(names, "combined_score") != no_column) {
        set_string(layout, names, false, first, separator);
    } else if (!tab && names.size() >= 3 && (first = pair_of_names(names, "protein1", "protein2")) != no_column &&
               find_name(names, "combined_score") != no_column) {
        set_string(layout, names, true, first, separator);
    } else if (!space && names.size() == 2 &&
               (pair_of_names(names, "genea", "geneb") == 0 ||
                // a copy of HuRI.tsv headed "A<TAB>B"
                (pair_of_names(names, "a", "b") == 0 && next && next->text.starts_with("ENSG")))) {
        set_huri(layout, names, separator);
    } else if (!space && pair_of_names(names, "ensembl_gene_id_a", "ensembl_gene_id_b") == 0) {
        set_huri_table9(layout, names, separator);
    } else if (tab && is_bioplex_header(names)) {
        error = set_bioplex(layout, names, options);
    } else if (!space && pair_of_names(names, "uniprot_a", "uniprot_b") == 0) {
        error = set_hint(layout, names, options, separator);
    } else {
        return false;
    }
    return true;
}

// Recognises a known header line; returns false when `line` is none. Column names are matched
// whatever their case, with or without quotes and a leading '#' (which spreadsheet round trips
// drop).
bool recognise_header(const sample_line& line, const sample_line* next, const format_options& options,
                      detection& found) {
    table_layout& layout = found.layout;
    const separator_kind separator = line_separator(line.text, separator_kind::space);
    std::string error;
    if (!set_known_header(header_names(line.text, separator), separator, next, options, layout, error)) return false;
    layout.header_line = line.number;
    if (!error.empty()) {
        found.error = error;
        found.error_line = line.number;
    }
    return true;
}

// The layout --format asks for when the file has no header of that format.
std::string set_forced(table_layout& layout, std::string_view format, const format_options& options) {
    if (format == "mitab") {
        set_mitab(layout);
    } else if (format == "string") {
        set_headerless_string(layout);
    } else if (format == "huri") {
        set_huri(layout, {}, separator_kind::tab);
    } else if (format == "csv") {
        set_comma_list(layout);
    } else if (format == "hippie") {
        return set_hippie(layout, options);
    } else {
        return "--format " + std::string(format) + " needs the header line of that format";
    }
    return {};
}

// Detection of a file without a header of a known format: MITAB and HIPPIE rows, or an edge
// list separated by blanks or commas (an unknown header is an error).
bool detect_headerless(std::span<const sample_line> lines, const std::vector<std::string_view>& data,
                       const std::vector<std::uint64_t>& data_numbers, const format_options& options,
                       detection& found) {
    table_layout& layout = found.layout;
    const std::string_view forced = options.format;
    if (data.empty()) return false;
    if ((forced.empty() || forced == "mitab") && looks_like_mitab_row(data[0])) {
        set_mitab(layout);
        return true;
    }
    if ((forced.empty() || forced == "hippie") && looks_like_hippie_row(data[0])) {
        found.error = set_hippie(layout, options);
        if (!found.error.empty()) found.error_line = lines[0].number;
        return true;
    }
    if (!forced.empty()) return false;
    const std::size_t sample = std::min<std::size_t>(data.size(), 2);
    const bool comma = looks_comma_separated(std::span<const std::string_view>(data.data(), sample));
    const separator_kind separator = comma ? separator_kind::comma : separator_kind::blanks;
    if (looks_like_header(data[0], data.size() > 1 ? &data[1] : nullptr, separator)) {
        found.error = comma ? "the first line looks like a header of an unknown format (the file is comma-separated); "
                              "name the columns with --columns A,B[,W]"
                            : "the first line looks like a header of an unknown format; name the columns with "
                              "--columns A,B[,W] or read it as an interaction with --format plain";
        found.error_line = data_numbers[0];
        return true;
    }
    if (comma) set_comma_list(layout);
    return false;
}

detection detect_layout(std::span<const sample_line> lines, const format_options& options) {
    std::vector<std::string_view> data;
    std::vector<std::uint64_t> data_numbers;
    for (const auto& line : lines) {
        if (!is_comment(line.text)) {
            data.push_back(line.text);
            data_numbers.push_back(line.number);
        }
    }
    if (!options.columns.empty()) return detect_columns(lines, data, data_numbers, options);

    detection found;
    table_layout& layout = found.layout;
    layout.taxon = options.taxon;
    layout.keep_genetic = options.keep_genetic;
    const std::string_view forced = options.format;
    bool known = !lines.empty() && forced != "plain" &&
                 recognise_header(lines[0], lines.size() > 1 ? &lines[1] : nullptr, options, found);
    if (!known && forced != "plain") known = detect_headerless(lines, data, data_numbers, options, found);
    if (known) {
        if (!found.error.empty()) return found;
        if (!forced.empty() && family_name(layout.family) != forced) {
            found.error = "--format " + std::string(forced) + " given, but the file is " + layout.name;
            found.error_line = lines[0].number;
        }
        return found;
    }
    if (!forced.empty() && forced != "plain") {
        found.error = set_forced(layout, forced, options);
        if (!found.error.empty()) found.error_line = lines.empty() ? 0 : lines[0].number;
    }
    if (layout.family == table_family::plain || layout.family == table_family::csv) {
        set_list_weight(data, forced == "plain", layout);
    }
    return found;
}

} // namespace

detection detect_table(std::span<const sample_line> full_lines, const format_options& options) {
    // Only a bounded prefix of each line is looked at (see detection_prefix_bytes).
    std::vector<sample_line> lines(full_lines.begin(), full_lines.end());
    for (auto& line : lines) line.text = line.text.substr(0, detection_prefix_bytes);
    detection found = detect_layout(lines, options);
    // Quotes are looked for where the first lines hold one (R and spreadsheets quote every
    // field) and in CSV; other files pay nothing per row for them.
    table_layout& layout = found.layout;
    layout.strip_quotes =
        options.format != "plain" && (layout.separator == separator_kind::comma || holds_quote(lines));
    return found;
}

} // namespace ppi::io
