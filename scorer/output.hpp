#pragma once

#include "scorer/network.hpp"
#include "scorer/output_file.hpp"
#include "scorer/row_engine.hpp"

#include <cstdint>
#include <string>

namespace vornel {

// Where the identifiers of a record's pair come from: the network's ids for candidates, the
// listed pair in its first orientation otherwise.
struct pair_naming {
    const network* net = nullptr;
    const listed_pairs* listed = nullptr;
};

// Writes every record of the runs, best first, as "A<TAB>B<TAB>score\n" with the shortest
// decimal form that reads back to the same double. The runs are reordered in place (radix
// partition by score, then sorted pieces); sorting and formatting are spread over `threads`
// threads while the calling thread writes, in order. `records_per_segment` caps the size of the
// independently sorted pieces (smaller outputs get smaller pieces; tests make it small). Returns false when a write fails
// (out.error() says why).
bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads,
                          output_file& out, std::size_t records_per_segment = std::size_t{1} << 18);

}  // namespace vornel
