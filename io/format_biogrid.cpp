#include "io/table_families.hpp"

#include "io/table_fields.hpp"

// BioGRID TAB 2.0 and 3.0.
namespace ppi::io::tables {

// BioGRID TAB 2.0/3.0: columns found by name.
std::string set_biogrid(table_layout& layout, const std::vector<std::string_view>& fields,
                        const format_options& options) {
    const bool tab3 = find_name(fields, "Organism ID Interactor A") != no_column;
    layout.family = table_family::biogrid;
    layout.name = tab3 ? "BioGRID TAB 3.0" : "BioGRID TAB 2.0";
    layout.separator = separator_kind::tab;
    std::string_view a = "Entrez Gene Interactor A", b = "Entrez Gene Interactor B";
    switch (options.ids) {
        case id_choice::standard:
        case id_choice::entrez:
            break;
        case id_choice::biogrid:
            a = "BioGRID ID Interactor A", b = "BioGRID ID Interactor B";
            break;
        case id_choice::systematic:
            a = "Systematic Name Interactor A", b = "Systematic Name Interactor B";
            break;
        case id_choice::symbol:
            a = "Official Symbol Interactor A", b = "Official Symbol Interactor B";
            break;
        case id_choice::uniprot:
            a = "SWISS-PROT Accessions Interactor A", b = "SWISS-PROT Accessions Interactor B";
            break;
    }
    if (!set_named_ids(layout, fields, a, b)) return missing_columns(layout.name, a, b);
    layout.type_column = find_name(fields, "Experimental System Type");
    if (layout.type_column == no_column) return "the BioGRID header has no column 'Experimental System Type'";
    layout.taxon_a = find_name(fields, tab3 ? "Organism ID Interactor A" : "Organism Interactor A");
    layout.taxon_b = find_name(fields, tab3 ? "Organism ID Interactor B" : "Organism Interactor B");
    if (layout.taxon_a != no_column && layout.taxon_b != no_column) layout.taxa = taxon_rule::bare_id;
    layout.first_of_list = options.ids == id_choice::uniprot; // accessions may be "P1|P2"
    layout.skip_missing_ids = true;
    layout.min_columns = std::max({layout.column_a, layout.column_b, layout.type_column}) + 1;
    if (layout.taxa != taxon_rule::none)
        layout.min_columns = std::max({layout.min_columns, layout.taxon_a + 1, layout.taxon_b + 1});
    return {};
}

} // namespace ppi::io::tables
