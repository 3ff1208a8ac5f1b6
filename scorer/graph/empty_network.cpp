#include "scorer/graph/empty_network.hpp"

namespace vornel {

std::string empty_network_error(const std::string& path, const table_report& table) {
    std::string text = path + ": no interactions in the network";
    const auto& skipped = table.skipped;
    if (skipped.genetic + skipped.other_taxon + skipped.missing_id > 0) {
        text += " (rows skipped: " + ppi::io::describe_skips(table.layout, skipped) + ")";
    }
    return text;
}

}  // namespace vornel
