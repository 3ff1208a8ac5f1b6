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

// Score of the pair (u, v) under `method` (cn, jaccard, dice, cd, aa, ra, pcd, wcd, l3,
// l3n, sim, mps);
// `rounds` is used by wcd only. Proteins missing from the graph score 0.
double score(const graph& g, const std::string& method, const protein& u, const protein& v, int rounds);

// Scores of a list of pairs (computing shared state such as wcd weights once).
std::vector<double> score_list(const graph& g, const std::string& method,
                               const std::vector<std::pair<protein, protein>>& pairs, int rounds);

// Every non-interacting pair (smaller identifier first) with a non-zero score.
std::map<std::pair<protein, protein>, double> candidates(const graph& g, const std::string& method, int rounds);

// A weighted graph: the partners of every protein with the weight of the interaction.
using weighted_graph = std::map<protein, std::map<protein, double>>;

struct weighted_interaction {
    protein a;
    protein b;
    double weight;
};

// Self-pairs dropped; a repeated pair (in either orientation) keeps its largest weight.
weighted_graph make_weighted_graph(const std::vector<weighted_interaction>& interactions);

// Scores of a list of pairs under a weighted method (cn-w, aa-w, ra-w, pcd-w, wcd-w, l3-w),
// straight from the formulas of docs/methods.md; proteins missing from the graph score 0.
std::vector<double> weighted_score_list(const weighted_graph& g, const std::string& method,
                                        const std::vector<std::pair<protein, protein>>& pairs, int rounds);

// Every non-interacting pair (smaller identifier first) with a non-zero weighted score.
std::map<std::pair<protein, protein>, double> weighted_candidates(const weighted_graph& g, const std::string& method,
                                                                  int rounds);

}  // namespace reference
