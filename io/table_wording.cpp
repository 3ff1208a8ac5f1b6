#include "io/table_families.hpp"

#include "io/table_fields.hpp"

// The words the formats are reported in: their --format names, their layouts and row errors
// for the log, and the reasons rows were skipped.
namespace ppi::io {

namespace tables {

std::string missing_columns(std::string_view format, std::string_view a, std::string_view b) {
    return "the " + std::string(format) + " header has no column '" + std::string(a) + "' or '" + std::string(b) + "'";
}

std::string_view family_name(table_family family) {
    switch (family) {
        case table_family::plain:
            return "plain";
        case table_family::string_links:
            return "string";
        case table_family::string_export:
            return "string-export";
        case table_family::biogrid:
            return "biogrid";
        case table_family::mitab:
            return "mitab";
        case table_family::huri:
            return "huri";
        case table_family::huri_table9:
            return "huri-table9";
        case table_family::bioplex:
            return "bioplex";
        case table_family::columns:
            return "columns";
        case table_family::hippie:
            return "hippie";
        case table_family::hint:
            return "hint";
        case table_family::csv:
            return "csv";
    }
    return "plain";
}

namespace {

std::string_view separator_text(separator_kind separator) {
    switch (separator) {
        case separator_kind::blanks:
            return "blank-separated";
        case separator_kind::space:
            return "space-separated";
        case separator_kind::tab:
            return "tab-separated";
        case separator_kind::comma:
            return "comma-separated";
    }
    return "";
}

std::string named_column(std::size_t index, const std::string& label) {
    std::string text = column_number(index);
    if (!label.empty()) text += " (" + label + ")";
    return text;
}

} // namespace

} // namespace tables

using namespace tables;

std::string_view format_name(table_family family) { return family_name(family); }

std::string format_names() {
    std::string names;
    for (const table_family family : named_families) {
        if (!names.empty()) names += ", ";
        names += family_name(family);
    }
    return names;
}

bool is_format_name(std::string_view name) {
    return std::any_of(named_families.begin(), named_families.end(),
                       [&](table_family family) { return family_name(family) == name; });
}

std::string describe_row_error(const table_layout& layout, row_kind kind, const table_row& row) {
    if (kind == row_kind::too_few_columns) {
        if (layout.family == table_family::plain) return "expected two identifiers";
        return "expected at least " + std::to_string(layout.min_columns) + " " +
               std::string(separator_text(layout.separator)) + " columns (" + layout.name + "), found " +
               std::to_string(row.columns_found);
    }
    if (kind == row_kind::bad_weight) {
        return "weight '" + std::string(row.field) + "' in column " +
               named_column(layout.weight_column, layout.label_weight) + " is not a number";
    }
    return "not an interaction";
}

std::string describe_layout(const table_layout& layout) {
    std::string text = layout.name + " (" + std::string(separator_text(layout.separator));
    if (layout.header_line > 0) text += ", header on line " + std::to_string(layout.header_line);
    text += "): ids from columns " + named_column(layout.column_a, layout.label_a) + " and " +
            named_column(layout.column_b, layout.label_b);
    if (layout.first_of_list) text += ", the first of '|'-joined ids";
    if (layout.weight == weight_rule::number && layout.weight_column != no_column) {
        text += "; weights from column " + named_column(layout.weight_column, layout.label_weight);
        if (layout.weight_scale != 1.0) text += " divided by 1000";
    } else if (layout.weight == weight_rule::mitab_confidence) {
        text += "; weights from column " + named_column(layout.weight_column, layout.label_weight) +
                " when it holds a score from 0 to 1";
    } else {
        text += "; no weights";
    }
    if (layout.type_column != no_column && !layout.keep_genetic) text += "; physical interactions only";
    if (!layout.taxon.empty() && layout.taxa != taxon_rule::none) text += "; taxon " + layout.taxon + " only";
    return text;
}

std::string describe_skips(const table_layout& layout, const table_counts& counts) {
    std::string text;
    const auto add = [&](std::uint64_t count, const char* reason) {
        if (!text.empty()) text += ", ";
        text += std::to_string(count) + " " + reason;
    };
    if (layout.type_column != no_column && !layout.keep_genetic) add(counts.genetic, "genetic");
    if (!layout.taxon.empty() && layout.taxa != taxon_rule::none) add(counts.other_taxon, "of another taxon");
    if (layout.skip_missing_ids || counts.missing_id > 0) add(counts.missing_id, "without an identifier");
    return text;
}

} // namespace ppi::io
