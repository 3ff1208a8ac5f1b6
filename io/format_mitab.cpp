#include "io/table_families.hpp"

#include "io/strict_number.hpp"
#include "io/table_fields.hpp"

#include <limits>

// PSI-MITAB 2.5-2.8: fixed columns, "db:id" identifiers, taxon and confidence lists.
namespace ppi::io::tables {

// MITAB columns 1-2 (ids), 10-11 (taxa) and 15 (confidence), the same in every version.
void set_mitab(table_layout& layout) {
    layout.family = table_family::mitab;
    layout.name = "PSI-MITAB";
    layout.separator = separator_kind::tab;
    layout.column_a = 0;
    layout.column_b = 1;
    layout.weight_column = 14;
    layout.weight = weight_rule::mitab_confidence;
    layout.min_columns = 15;
    layout.taxon_a = 9;
    layout.taxon_b = 10;
    layout.taxa = taxon_rule::mitab_taxids;
    layout.first_of_list = true;
    layout.skip_missing_ids = true;
    layout.label_a = "ID(s) interactor A";
    layout.label_b = "ID(s) interactor B";
    layout.label_weight = "Confidence value(s)";
}

bool is_mitab_header_name(std::string_view name) {
    while (!name.empty() && (name.front() == '#' || is_blank(name.front()))) name.remove_prefix(1);
    return equals_lower(name, "id(s) interactor a") || equals_lower(name, "id interactor a") ||
           equals_lower(name, "unique_identifier_a");
}

// A MITAB row without a header: 15 or more tab-separated fields, "db:id" identifiers and a
// "taxid:" (or empty) taxon column.
bool looks_like_mitab_row(std::string_view line) {
    const auto fields = split_all(line, separator_kind::tab);
    if (fields.size() < 15) return false;
    const auto is_taxa = [](std::string_view f) { return f == "-" || f.starts_with("taxid:"); };
    return fields[0].find(':') != std::string_view::npos && fields[1].find(':') != std::string_view::npos &&
           is_taxa(fields[9]) && is_taxa(fields[10]);
}

// Whether a MITAB taxon list ("taxid:4932(yeast)|taxid:1111708(syny3)") names `taxon`.
bool lists_taxon(std::string_view list, std::string_view taxon) {
    while (!list.empty()) {
        const std::size_t bar = list.find('|');
        std::string_view entry = list.substr(0, bar);
        if (entry.starts_with("taxid:")) {
            entry.remove_prefix(6);
            if (entry.starts_with(taxon) && (entry.size() == taxon.size() || entry[taxon.size()] == '(')) return true;
        }
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return false;
}

// A MITAB confidence column: the "intact-miscore" entry, or the column's only entry when its
// value is a plain number from 0 to 1. Lists of several scores ("lpr:1|hpr:1|np:1|") and
// grades ("author-score:C") give no weight.
double mitab_confidence(std::string_view list) {
    double only = std::numeric_limits<double>::quiet_NaN();
    int entries = 0;
    while (!list.empty()) {
        const std::size_t bar = list.find('|');
        const std::string_view entry = list.substr(0, bar);
        if (!entry.empty() && entry != "-") {
            ++entries;
            const std::size_t colon = entry.find(':');
            double value = 0;
            if (colon != std::string_view::npos && parse_real(entry.substr(colon + 1), value)) {
                if (entry.substr(0, colon).ends_with("miscore")) return value;
                if (value >= 0 && value <= 1) only = value;
            }
        }
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return entries == 1 ? only : std::numeric_limits<double>::quiet_NaN();
}

} // namespace ppi::io::tables
