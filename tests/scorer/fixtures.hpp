#pragma once

// Generated inputs and the helpers of the parameterised method tests, shared by the scorer's
// tests. The network types come with test_support.hpp.
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>

namespace test_support {

using protein_namer = std::function<std::string(int)>;

// "P" and the number.
std::string numbered_protein(int i);

// How a random network is drawn: `interactions` pairs among proteins 0 to `proteins` - 1, each
// pair's first protein drawn before its partner. With `hub_every` n > 0, every n-th pair
// (starting with the first) takes protein `hub` as its first protein instead of drawing it,
// which makes that protein a hub. Pairs may repeat, in either orientation, and be self-pairs.
struct random_draws {
    int proteins = 0;
    int interactions = 0;
    int hub_every = 0;
    int hub = 0;
};

pair_list random_pairs(std::mt19937& rng, const random_draws& draws, const protein_namer& name = numbered_protein);
// The network of random_pairs drawn from a generator seeded with `seed`.
vornel::network random_network(std::uint32_t seed, const random_draws& draws,
                               const protein_namer& name = numbered_protein);
// The same pairs as "A B" lines.
std::string random_network_text(std::uint32_t seed, const random_draws& draws);

// Pairs to score: the network's own lines, random pairs among `proteins` (mostly not
// interacting), a reversed repeat, self-pairs and a pair with a protein missing from the
// network, shuffled.
pair_list random_listing(std::mt19937& rng, const pair_list& network, int proteins,
                         const protein_namer& name = numbered_protein);

// The distinct listed pairs in first orientation, in listing order (the tie-break order),
// without self-pairs.
pair_list first_orientations(const pair_list& pairs);

// Equal within a relative 1e-12 (an absolute one below 1).
void expect_close(double expected, double actual, const std::string& what);

// One method and its rounds, the parameter of the tests run on every method.
struct method_case {
    std::string method;
    int rounds;
};

// Output of `c` on `net`, proposing and on `listed`, the same to the byte on 1, 2, 3 and 8
// threads; the runs on several threads are written in small segments, so the writer merges
// many pieces of several sorted runs.
void expect_same_output_on_any_thread_count(const vornel::network& net, const vornel::listed_pairs& listed,
                                            const method_case& c);

void PrintTo(const method_case& c, std::ostream* out);
// "wcd_w_2_rounds": the test name part of a case (letters, digits and underscores only).
std::string case_name(const testing::TestParamInfo<method_case>& info);

} // namespace test_support
