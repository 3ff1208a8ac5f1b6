#pragma once

#include "scorer/graph/network.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace vornel {

// Readable names of the network's proteins (gene names for STRING's "9606.ENSP..." or Ensembl
// and Entrez ids), by protein id.
struct readable_names {
    std::vector<std::string> by_protein;  // a protein missing from the map keeps its identifier
    std::uint64_t mapped = 0;             // proteins the map names
    std::uint64_t missing = 0;            // proteins it does not name
    std::string error;                    // empty on success
    read_failure failure = read_failure::none;
};

// Reads a mapping table (plain or gzip): STRING's protein.info ("#string_protein_id
// preferred_name ...") or any table whose first two columns are an identifier and its name,
// separated by a tab (or, in lines without one, by blanks or commas); blank and '#' lines are
// skipped, quotes around fields dropped. An identifier listed twice keeps its first name. Only
// the network's proteins are kept, so a map of every species costs no memory beyond them.
readable_names read_readable_names(const std::string& path, const network& net);

}  // namespace vornel
