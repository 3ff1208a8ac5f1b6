#include "io/table_families.hpp"

#include "io/table_fields.hpp"

// STRING: bulk protein.links files and network exports.
namespace ppi::io::tables {

// STRING bulk links (space-separated, "protein1 protein2 ... combined_score", 0-1000) and the
// web export (tab-separated, "#node1 node2 ... combined_score", already 0-1); either also as
// CSV, maybe with a row-name column first (R's write.csv, pandas' to_csv).
void set_string(table_layout& layout, const std::vector<std::string_view>& fields, bool bulk, std::size_t first,
                separator_kind separator) {
    layout.family = bulk ? table_family::string_links : table_family::string_export;
    layout.name = bulk ? "STRING protein.links" : "STRING network export";
    layout.separator = separator;
    layout.column_a = first;
    layout.column_b = first + 1;
    layout.label_a = bulk ? "protein1" : "node1";
    layout.label_b = bulk ? "protein2" : "node2";
    layout.weight_column = find_name(fields, "combined_score");
    layout.weight = weight_rule::number;
    layout.weight_scale = bulk ? 0.001 : 1.0;
    layout.label_weight = "combined_score";
    layout.min_columns = fields.size();
    if (bulk) layout.taxa = taxon_rule::id_prefix;
}

void set_headerless_string(table_layout& layout) {
    layout.family = table_family::string_links;
    layout.name = "STRING protein.links";
    layout.separator = separator_kind::space;
    layout.weight_column = 2;
    layout.weight = weight_rule::number;
    layout.weight_scale = 0.001;
    layout.min_columns = 3;
    layout.taxa = taxon_rule::id_prefix;
}

} // namespace ppi::io::tables
