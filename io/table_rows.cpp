#include "io/table_families.hpp"

#include "io/strict_number.hpp"
#include "io/table_fields.hpp"

#include <limits>

// A data line turned into a row by its layout: the hot loop of every network read.
namespace ppi::io {

namespace {

using namespace tables;

std::string_view first_of(std::string_view list) { return list.substr(0, list.find('|')); }

bool is_missing(std::string_view id) { return id.empty() || id == "-"; }

bool is_kept_taxon(const table_layout& layout, std::string_view a, std::string_view b, std::string_view taxon_a,
                   std::string_view taxon_b) {
    const std::string_view taxon = layout.taxon;
    switch (layout.taxa) {
        case taxon_rule::none:
            return true;
        case taxon_rule::bare_id:
            return trim(taxon_a) == taxon && trim(taxon_b) == taxon;
        case taxon_rule::mitab_taxids:
            return lists_taxon(taxon_a, taxon) && lists_taxon(taxon_b, taxon);
        case taxon_rule::id_prefix:
            return a.substr(0, a.find('.')) == taxon && b.substr(0, b.find('.')) == taxon;
    }
    return true;
}

} // namespace

row_kind extract_row(const table_layout& layout, std::string_view line, table_row& row) {
    std::string_view a, b, weight, type, taxon_a, taxon_b;
    const std::size_t wanted =
        layout.weight_column == no_column ? layout.min_columns : std::max(layout.min_columns, layout.weight_column + 1);
    field_cursor cursor(line, layout.separator);
    std::size_t found = 0;
    std::string_view field;
    while (found < wanted && cursor.next(field)) {
        if (found == layout.column_a) a = field;
        if (found == layout.column_b) b = field;
        if (found == layout.weight_column) weight = field;
        if (found == layout.type_column) type = field;
        if (found == layout.taxon_a) taxon_a = field;
        if (found == layout.taxon_b) taxon_b = field;
        ++found;
    }
    if (found < layout.min_columns) {
        row.columns_found = found;
        return row_kind::too_few_columns;
    }
    if (layout.strip_quotes) {
        a = without_quotes(a);
        b = without_quotes(b);
        weight = without_quotes(weight);
        if (layout.type_column != no_column) type = without_quotes(type);
    }
    if (layout.type_column != no_column && !layout.keep_genetic && equals_lower(trim(type), "genetic")) {
        return row_kind::genetic;
    }
    if (layout.first_of_list) {
        a = first_of(a);
        b = first_of(b);
    }
    if (layout.skip_missing_ids && (is_missing(a) || is_missing(b))) return row_kind::missing_id;
    // An empty identifier field (two separators in a row) names no protein, in any format.
    if (a.empty() || b.empty()) return row_kind::missing_id;
    if (!layout.taxon.empty() && !is_kept_taxon(layout, a, b, taxon_a, taxon_b)) return row_kind::other_taxon;
    row.a = a;
    row.b = b;
    row.weight = std::numeric_limits<double>::quiet_NaN();
    if (layout.weight == weight_rule::number && weight.data() != nullptr) {
        double value = 0;
        if (parse_real(weight, value)) {
            row.weight = value * layout.weight_scale;
        } else if (layout.family != table_family::plain) {
            row.field = weight;
            return row_kind::bad_weight;
        }
        // A plain list's third column is a weight only where it is a number: files that carry
        // words or "NA" there stay readable, as unweighted networks.
    } else if (layout.weight == weight_rule::mitab_confidence) {
        row.weight = mitab_confidence(weight);
    }
    return row_kind::pair;
}

} // namespace ppi::io
