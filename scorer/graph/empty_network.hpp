#pragma once

#include "scorer/graph/network.hpp"

#include <string>

namespace vornel {

// The error line for a network that reading left without interactions (an empty file, or
// every row skipped by --taxon, the genetic filter or missing identifiers): nothing is scored
// or evaluated on it. The rows skipped, if any, say why.
std::string empty_network_error(const std::string& path, const table_report& table);

}  // namespace vornel
