#include "io/table_families.hpp"

#include "io/strict_number.hpp"
#include "io/table_fields.hpp"

// HIPPIE (no header) and HINT.
namespace ppi::io::tables {

// HINT ("Uniprot_A Uniprot_B Gene_A Gene_B ..."): UniProt accessions, or gene names with
// --ids symbol.
std::string set_hint(table_layout& layout, const std::vector<std::string_view>& fields, const format_options& options,
                     separator_kind separator) {
    layout.family = table_family::hint;
    layout.name = "HINT";
    layout.separator = separator;
    std::string_view a = "Uniprot_A", b = "Uniprot_B";
    if (options.ids == id_choice::symbol) {
        a = "Gene_A", b = "Gene_B";
    } else if (options.ids != id_choice::standard && options.ids != id_choice::uniprot) {
        return "HINT has UniProt accessions (the default) and gene names (--ids symbol), no other identifiers";
    }
    if (!set_named_ids(layout, fields, a, b)) return missing_columns(layout.name, a, b);
    layout.skip_missing_ids = true;
    layout.min_columns = std::max(layout.column_a, layout.column_b) + 1;
    return {};
}

// HIPPIE: no header, "name A, Entrez A, name B, Entrez B, score, evidence"; Entrez gene ids by
// default (they are never empty), UniProt entry names with --ids uniprot; the score is the weight.
std::string set_hippie(table_layout& layout, const format_options& options) {
    layout.family = table_family::hippie;
    layout.name = "HIPPIE";
    layout.separator = separator_kind::tab;
    if (options.ids == id_choice::uniprot) {
        layout.column_a = 0, layout.column_b = 2;
        layout.label_a = "UniProt name A", layout.label_b = "UniProt name B";
    } else if (options.ids == id_choice::standard || options.ids == id_choice::entrez) {
        layout.column_a = 1, layout.column_b = 3;
        layout.label_a = "Entrez id A", layout.label_b = "Entrez id B";
    } else {
        return "HIPPIE has Entrez gene ids (the default) and UniProt names (--ids uniprot), no other identifiers";
    }
    layout.weight_column = 4;
    layout.weight = weight_rule::number;
    layout.label_weight = "score";
    layout.min_columns = 5;
    layout.skip_missing_ids = true;
    return {};
}

namespace {

// A UniProt entry name: "AL1A1_HUMAN".
bool is_entry_name(std::string_view text) {
    const std::size_t bar = text.find('_');
    if (bar == 0 || bar == std::string_view::npos || bar + 1 == text.size()) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; });
}

} // namespace

// A HIPPIE row: 5 or 6 tab-separated fields, UniProt entry names (or empty) in 1 and 3, Entrez
// ids in 2 and 4 and a score from 0 to 1 in 5.
bool looks_like_hippie_row(std::string_view line) {
    const auto fields = split_all(line, separator_kind::tab);
    if (fields.size() < 5 || fields.size() > 6) return false;
    double score = -1;
    const auto name = [](std::string_view f) { return f.empty() || is_entry_name(f); };
    return name(fields[0]) && name(fields[2]) && (!fields[0].empty() || !fields[2].empty()) && is_digits(fields[1]) &&
           is_digits(fields[3]) && parse_real(fields[4], score) && score >= 0 && score <= 1;
}

} // namespace ppi::io::tables
