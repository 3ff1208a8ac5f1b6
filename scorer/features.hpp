#pragma once

// Topological features of protein pairs for the learned method, computed row by row with the
// row engine's workspaces. A pair's features are computed as if the two proteins did not
// interact: for an interacting pair the walks through the interaction itself are left out and
// both degrees count one partner fewer.

#include "scorer/network.hpp"
#include "scorer/row_engine.hpp"

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

// Calls visit(thread, u, v, counts) for every non-interacting pair u < v joined by a path of
// length two or three, on `threads` threads (each thread's calls in row order).
void visit_candidates(const network& net, unsigned threads,
                      const std::function<void(unsigned, std::uint32_t, std::uint32_t, const pair_counts&)>& visit);

// The counts of every listed pair (by listing index), as if the pair did not interact.
std::vector<pair_counts> listed_pair_counts(const network& net, std::span<const pair_ids> pairs, unsigned threads);

}  // namespace vornel
