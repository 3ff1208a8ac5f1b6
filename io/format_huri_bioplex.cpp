#include "io/table_families.hpp"

#include "io/table_fields.hpp"

// HuRI (HuRI.tsv and its Supplementary Table 9) and BioPlex.
namespace ppi::io::tables {

void set_huri(table_layout& layout, const std::vector<std::string_view>& names, separator_kind separator) {
    layout.family = table_family::huri;
    layout.name = "HuRI";
    layout.separator = separator;
    if (names.size() >= 2) {
        layout.label_a = names[0];
        layout.label_b = names[1];
    }
}

void set_huri_table9(table_layout& layout, const std::vector<std::string_view>& names, separator_kind separator) {
    layout.family = table_family::huri_table9;
    layout.name = "HuRI Supplementary Table 9";
    layout.separator = separator;
    layout.label_a = names[0];
    layout.label_b = names[1];
    layout.min_columns = names.size();
}

std::string set_bioplex(table_layout& layout, const std::vector<std::string_view>& fields,
                        const format_options& options) {
    layout.family = table_family::bioplex;
    layout.name = "BioPlex";
    layout.separator = separator_kind::tab;
    std::string_view a = "GeneA", b = "GeneB";
    if (options.ids == id_choice::symbol) a = "SymbolA", b = "SymbolB";
    if (options.ids == id_choice::uniprot) a = "UniprotA", b = "UniprotB";
    set_named_ids(layout, fields, a, b);
    for (const std::string_view name : {"p(Interaction)", "pInt"}) {
        if (const std::size_t column = find_name(fields, name); column != no_column) {
            layout.weight_column = column;
            layout.weight = weight_rule::number;
            layout.label_weight = name;
        }
    }
    layout.skip_missing_ids = true;
    layout.min_columns = fields.size();
    return {};
}

bool is_bioplex_header(const std::vector<std::string_view>& names) {
    static constexpr std::array<std::string_view, 6> columns = {"genea",    "geneb",   "uniprota",
                                                                "uniprotb", "symbola", "symbolb"};
    if (names.size() < 7) return false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!named(names, i, columns[i])) return false;
    }
    return true;
}

} // namespace ppi::io::tables
