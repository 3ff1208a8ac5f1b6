#pragma once

// Plainly written versions of the scoring methods, straight from their definitions, used as
// an oracle for the fast scorer. Quadratic and cubic loops over std::set are fine here.

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace reference {

using protein = std::string;
using graph = std::map<protein, std::set<protein>>;  // partners of every protein

// The graph of a list of interactions, self-pairs dropped and repeats merged.
graph make_graph(const std::vector<std::pair<protein, protein>>& interactions);

// Score of the pair (u, v) under `method` (cn, jaccard, dice, cd, aa, ra, pcd, wcd, l3);
// `rounds` is used by wcd only. Proteins missing from the graph score 0.
double score(const graph& g, const std::string& method, const protein& u, const protein& v, int rounds);

// Scores of a list of pairs (computing shared state such as wcd weights once).
std::vector<double> score_list(const graph& g, const std::string& method,
                               const std::vector<std::pair<protein, protein>>& pairs, int rounds);

// Every non-interacting pair (smaller identifier first) with a non-zero score.
std::map<std::pair<protein, protein>, double> candidates(const graph& g, const std::string& method, int rounds);

}  // namespace reference
