#pragma once

#include "scorer/graph/network.hpp"
#include "scorer/output/output_file.hpp"

namespace vornel {

// Writes the network as a plain edge list, one "A<TAB>B\n" line per interaction (with
// "<TAB>weight" when the network is weighted, in the shortest form that reads back to the same
// double), in the order and orientation of its first listing: what `vornel` and `ppi-refine`
// read back as the same network. Returns false when a write fails (out.error() says why).
bool write_network_list(const network& net, const listed_pairs& pairs, output_file& out);

}  // namespace vornel
