#pragma once

// Drawing from a network: hold-outs of its interactions, planted non-interacting pairs and the
// networks made of a chosen set of interactions, all from a seed, the same on every platform.

#include "scorer/graph/network.hpp"

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

namespace vornel {

// A small deterministic generator (splitmix64): the same numbers on every platform and library,
// which std::uniform_int_distribution does not promise.
class seeded_random {
public:
    explicit seeded_random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, bound), bound > 0 (by rejection, so without modulo bias).
    std::uint64_t below(std::uint64_t bound);

private:
    std::uint64_t state_;
};

// The proteins 0..count-1 whose hash under `seed` (splitmix64 of id ^ seed) falls below `share`
// of the hash range, in increasing id order; every protein when share >= 1. The draw depends on
// the seed only, not on threads.
std::vector<std::uint32_t> hashed_sample(std::uint32_t count, double share, std::uint64_t seed);

// Every interaction once, as (smaller id, larger id), in row order.
std::vector<pair_ids> interaction_list(const network& net);

// A network with the proteins (names and ids) of `proteins` and exactly the interactions
// `pairs` (distinct, no self-pairs, ids of `proteins`). Proteins may be left without partners.
// With `weights` (one per pair, or empty: no weights), the network is weighted.
network network_with_interactions(const network& proteins, std::span<const pair_ids> pairs,
                                  std::span<const double> weights = {});

// The weight of each pair for a weighted network: its own weight where the pair interacts in
// `net`, else the weight of an interaction drawn by `seed` (planted pairs then weigh what real
// ones do). Empty when `net` carries no weights.
std::vector<double> weights_of_pairs(const network& net, std::span<const pair_ids> pairs, std::uint64_t seed);

// The interactions split into kept and hidden: round(share * size) hidden, drawn by `seed`.
struct hold_out {
    std::vector<pair_ids> kept;
    std::vector<pair_ids> hidden;
};
hold_out split_interactions(std::span<const pair_ids> interactions, double share, std::uint64_t seed);

// round(share * |interactions|) distinct new pairs whose two ends are each the end of a random
// interaction (so drawn in proportion to degree), neither a self-pair nor an interaction. Stops
// early when too few such pairs exist. Throws scoring_cancelled (parallel.hpp) soon after `cancel` is set.
std::vector<pair_ids> plant_by_degree(const network& net, std::span<const pair_ids> interactions, double share,
                                      std::uint64_t seed, const std::atomic<bool>* cancel = nullptr);

} // namespace vornel
