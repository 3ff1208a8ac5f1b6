#pragma once

// GraphML output, for network viewers (Cytoscape) and graph libraries: the proteins of the
// written pairs as nodes, each pair as an undirected edge with its score as the edge attribute
// "score" (a double), edges in the order of the text output.

#include "scorer/output/text_writer.hpp"

#include <string>
#include <string_view>

namespace vornel {

// The document around the edges.
struct graphml_frame {
    std::string prologue;  // XML declaration, attribute keys, the graph's opening and its nodes
    std::string epilogue;  // the graph's and the document's closing
    std::string error;     // an identifier XML cannot carry; then the rest is empty
};

// The frame for the records of the runs: a node for every protein in one of their pairs, in
// protein id order (the order of first appearance in NETWORK). Identifiers must be UTF-8 text
// without control characters: XML 1.0 has no way to write anything else.
graphml_frame make_graphml_frame(const record_runs& runs, const pair_naming& naming, const std::string& output_path);

// Characters an escaped identifier may need: "&quot;" for each byte at most.
inline std::size_t escaped_size_bound(std::size_t bytes) { return 6 * bytes; }

// Writes `text` at `out` with &, <, >, " and ' as entities; returns the end.
char* append_escaped(char* out, std::string_view text);

// The text of one edge up to its score: `<edge source="A" target="B"><data key="score">`.
char* append_edge_start(char* out, std::string_view a, std::string_view b);

// The text after an edge's score.
constexpr std::string_view graphml_edge_end = "</data></edge>\n";

}  // namespace vornel
