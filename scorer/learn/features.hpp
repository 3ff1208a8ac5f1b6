#pragma once

// Topological features of protein pairs for the learned method, computed row by row with the
// row engine's workspaces. A pair's features are computed as if the two proteins did not
// interact: for an interacting pair the walks through the interaction itself are left out and
// both degrees count one partner fewer.

#include "scorer/graph/network.hpp"
#include "scorer/methods/row_engine.hpp"

#include <array>
#include <cstdint>
#include <functional>

namespace vornel {

// paths3: simple paths u-a-b-v; l3: their sum of 1/sqrt(k_a k_b); shared: partners shared;
// ra: the sum of 1/k_z over them; k_low, k_high: the smaller and larger degree.
struct pair_counts {
    double paths3 = 0;
    double l3 = 0;
    double shared = 0;
    double ra = 0;
    double k_low = 0;
    double k_high = 0;
};

inline constexpr std::size_t feature_count = 7;
using feature_row = std::array<double, feature_count>;

// The model's inputs: log(1 + x) of paths3, l3, l3 / sqrt(k_u k_v), shared and ra, and
// log(1 + k) of both degrees (heavy tails compressed, so one hub does not dominate the fit).
feature_row features_of(const pair_counts& counts);

// The proposing model's inputs: those of features_of, then log(1 + x) of the best l3 among the
// candidates of each endpoint, the smaller first (best_u, best_v: those logarithms, see
// log_best_l3). With log(1 + l3) beside them the model weighs a pair's l3 against what its
// endpoints reach elsewhere: a low-degree protein's best few candidates beside a hub's many.
inline constexpr std::size_t proposal_feature_count = feature_count + 2;
using proposal_features = std::array<double, proposal_feature_count>;
proposal_features proposal_features_of(const pair_counts& counts, double best_u, double best_v);

using candidate_visit = std::function<void(unsigned, std::uint32_t, std::uint32_t, const pair_counts&)>;

// Calls visit(thread, u, v, counts) for every non-interacting pair u < v joined by a path of
// length two or three, on `threads` threads (each thread's calls in row order); with `rows`
// (increasing), only for the u listed there.
// Every pass here stops soon after `cancel` is set (when given) by throwing scoring_cancelled.
void visit_candidates(const network& net, unsigned threads, const candidate_visit& visit,
                      const std::atomic<bool>* cancel = nullptr, std::span<const std::uint32_t> rows = {});

// Calls visit(thread, u, v, counts) for every row u of `rows` and every v != u (below u as well
// as above) that does not interact with u and is joined to it by a path of length two or three.
// One thread handles the whole of a row.
void visit_whole_rows(const network& net, std::span<const std::uint32_t> rows, unsigned threads,
                      const candidate_visit& visit, const std::atomic<bool>* cancel = nullptr);

// Calls visit(thread, u, v, counts) for every row u of `rows` and every candidate v > u of it
// with in_sample[v] set (as visit_whole_rows would, for those pairs only). When row_best is
// given, (*row_best)[u] becomes at least the highest l3 among all of u's candidates, below u as
// well as above (what visit_whole_rows would have shown); the other candidates cost a sum of
// l3 alone, and without row_best nothing.
void visit_sampled_pairs(const network& net, std::span<const std::uint32_t> rows,
                         std::span<const unsigned char> in_sample, unsigned threads, const candidate_visit& visit,
                         std::vector<double>* row_best, const std::atomic<bool>* cancel = nullptr);

// For every protein, the highest l3 among its candidates (0 when it has none).
std::vector<double> best_l3_per_protein(const network& net, unsigned threads, const std::atomic<bool>* cancel = nullptr);

// log(1 + x) of each value, in place: the best l3 as proposal_features_of takes it.
void log_best_l3(std::vector<double>& best);

// The counts of every listed pair (by listing index), as if the pair did not interact.
std::vector<pair_counts> listed_pair_counts(const network& net, std::span<const pair_ids> pairs, unsigned threads,
                                            const std::atomic<bool>* cancel = nullptr);

}  // namespace vornel
