#pragma once

#include "scorer/graph/network.hpp"
#include "scorer/output/output_file.hpp"
#include "scorer/output/records.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vornel {

// Where the identifiers of a record's pair come from: the network's ids for candidates, the
// listed pair in its first orientation otherwise.
struct pair_naming {
    const network* net = nullptr;
    const listed_pairs* listed = nullptr;
    // --names: readable names by protein id, written as a fourth column "nameA|nameB".
    const std::vector<std::string>* readable = nullptr;
};

// How OUTPUT's text is laid out and stored.
enum class line_style { tab_separated, graphml };
struct output_encoding {
    line_style lines = line_style::tab_separated;
    bool gzip = false;    // compressed on the formatting threads into one gzip member
    std::string prologue; // text before the first line (GraphML: the header and the nodes)
    std::string epilogue; // text after the last line
};

// The encoding OUTPUT's name asks for: a name ending in ".gz" is written gzip-compressed, and
// one ending in ".graphml" (or ".graphml.gz") as GraphML; letters in either case.
output_encoding encoding_for_path(std::string_view path);

// Writes every record of the runs, best first, as "A<TAB>B<TAB>score\n" with the shortest
// decimal form that reads back to the same double. The runs are reordered in place (radix
// partition by score, then sorted pieces); sorting and formatting are spread over `threads`
// threads while the calling thread writes, in order. `records_per_segment` caps the size of the
// independently sorted pieces (smaller outputs get smaller pieces; tests make it small). Returns false when a write
// fails (out.error() says why).
bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          std::size_t records_per_segment = std::size_t{1} << 18);

// The same in the given encoding (its prologue and epilogue written around the lines).
bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          const output_encoding& encoding, std::size_t records_per_segment = std::size_t{1} << 18);

} // namespace vornel
