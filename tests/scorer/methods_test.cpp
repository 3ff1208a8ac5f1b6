// Every method against the plainly written reference, on small random networks, in both modes
// and on several thread counts; plus values worked out by hand.
#include "fixtures.hpp"
#include "reference_methods.hpp"
#include "test_support.hpp"

#include "scorer/cli/method_registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

using test_support::case_name;
using test_support::expect_close;
using test_support::first_orientations;
using test_support::method_case;
using test_support::pair_list;
using test_support::parse_output;
using test_support::random_pairs;
using test_support::score_to_text;

// Identifiers whose byte order differs from their numeric order, plus one non-ASCII name (its
// bytes sort after every ASCII one).
std::string protein_name(int i) {
    if (i == 0) return "\xc3\xa9toile";
    std::string name(1, i % 7 == 3 ? 'q' : 'P');
    name += std::to_string(i);
    return name;
}

// A random network with a hub, self-pairs and repeats in both orientations, plus a few chains
// whose identifiers sort first: rows that reach little of the network, which the scorers handle
// differently from rows that reach most of it.
pair_list random_network(std::mt19937& rng, int proteins, int interactions) {
    pair_list pairs;
    for (char chain = 'A'; chain <= 'C'; ++chain) {
        for (char link = '0'; link < '5'; ++link) {
            pairs.emplace_back(std::string{chain, link}, std::string{chain, char(link + 1)});
        }
    }
    const pair_list drawn = random_pairs(rng, {proteins, interactions, 4, 1}, protein_name);  // protein 1 is a hub
    pairs.insert(pairs.end(), drawn.begin(), drawn.end());
    pairs.emplace_back(protein_name(2), protein_name(2));
    pairs.emplace_back(pairs.front().second, pairs.front().first);
    return pairs;
}

pair_list random_listing(std::mt19937& rng, const pair_list& network, int proteins) {
    return test_support::random_listing(rng, network, proteins, protein_name);
}

class method_vs_reference : public testing::TestWithParam<method_case> {};

TEST_P(method_vs_reference, listed_pairs_match_reference_and_keep_listing_order) {
    const auto& [method, rounds] = GetParam();
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        const int proteins = 12 + int(seed) * 6;
        const pair_list interactions = random_network(rng, proteins, proteins * 2);
        const pair_list listing = random_listing(rng, interactions, proteins);
        const auto net = vornel::build_network(interactions).net;
        const auto listed = vornel::resolve_listed_pairs(listing, net).listed;
        const auto lines = parse_output(score_to_text(net, &listed, method, rounds, 2));

        const auto graph = reference::make_graph(interactions);
        const pair_list expected_pairs = first_orientations(listing);
        const auto expected = reference::score_list(graph, method, expected_pairs, rounds);
        std::map<std::pair<std::string, std::string>, std::size_t> position;
        for (std::size_t i = 0; i < expected_pairs.size(); ++i) position[expected_pairs[i]] = i;

        std::size_t non_zero = 0;
        for (double s : expected) non_zero += s != 0;
        ASSERT_EQ(non_zero, lines.size()) << "seed " << seed;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto found = position.find({lines[i].a, lines[i].b});
            ASSERT_NE(found, position.end()) << lines[i].a << " " << lines[i].b << " is not a first orientation";
            expect_close(expected[found->second], lines[i].score, lines[i].a + " " + lines[i].b);
            if (i == 0) continue;
            ASSERT_GE(lines[i - 1].score, lines[i].score);
            if (lines[i - 1].score == lines[i].score) {
                EXPECT_LT(position.at(std::pair(lines[i - 1].a, lines[i - 1].b)), found->second) << "tie not in listing order";
            }
        }
    }
}

TEST_P(method_vs_reference, candidates_match_reference_and_sort_ties_by_identifiers) {
    const auto& [method, rounds] = GetParam();
    for (unsigned seed = 11; seed <= 14; ++seed) {
        std::mt19937 rng(seed);
        const int proteins = 10 + int(seed - 10) * 5;
        const pair_list interactions = random_network(rng, proteins, proteins * 2);
        const auto net = vornel::build_network(interactions).net;
        const auto lines = parse_output(score_to_text(net, nullptr, method, rounds, 2));
        const auto expected = reference::candidates(reference::make_graph(interactions), method, rounds);

        ASSERT_EQ(expected.size(), lines.size()) << "seed " << seed;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ASSERT_LT(lines[i].a, lines[i].b) << "smaller identifier first";
            const auto found = expected.find({lines[i].a, lines[i].b});
            ASSERT_NE(found, expected.end()) << lines[i].a << " " << lines[i].b << " is not a candidate";
            expect_close(found->second, lines[i].score, lines[i].a + " " + lines[i].b);
            if (i == 0) continue;
            ASSERT_GE(lines[i - 1].score, lines[i].score);
            if (lines[i - 1].score == lines[i].score) {
                EXPECT_LT(std::tie(lines[i - 1].a, lines[i - 1].b), std::tie(lines[i].a, lines[i].b));
            }
        }
    }
}

TEST_P(method_vs_reference, output_is_byte_identical_for_any_thread_count) {
    std::mt19937 rng(99);
    const int proteins = 40;
    const pair_list interactions = random_network(rng, proteins, 120);
    const auto net = vornel::build_network(interactions).net;
    const auto listed = vornel::resolve_listed_pairs(random_listing(rng, interactions, proteins), net).listed;
    test_support::expect_same_output_on_any_thread_count(net, listed, GetParam());
}

INSTANTIATE_TEST_SUITE_P(all_methods, method_vs_reference,
                         testing::Values(method_case{"cn", 1}, method_case{"jaccard", 1}, method_case{"dice", 1},
                                         method_case{"cd", 1}, method_case{"aa", 1}, method_case{"ra", 1},
                                         method_case{"pcd", 1}, method_case{"wcd", 1}, method_case{"wcd", 2},
                                         method_case{"wcd", 3}, method_case{"l3", 1},
                                         method_case{"l3n", 1}, method_case{"sim", 1}, method_case{"mps", 1}),
                         case_name);

TEST(method_registry, lists_every_method_with_a_scoring_function) {
    std::vector<std::string> names;
    for (const auto& entry : vornel::all_methods()) {
        EXPECT_NE(entry.score, nullptr);
        EXPECT_EQ(vornel::find_method(entry.name), &entry);
        names.emplace_back(entry.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"cn", "jaccard", "dice", "cd", "aa", "ra", "pcd", "wcd", "l3", "l3n", "sim",
                                             "mps", "learn", "auto", "cn-w", "aa-w", "ra-w", "pcd-w", "wcd-w", "l3-w"}));
    EXPECT_EQ(vornel::find_method("L3"), nullptr);
}

// A-B, A-C, A-D, B-C, C-D, D-E. Degrees: A 3, B 2, C 3, D 3, E 1.
// Candidates (not interacting, with a shared partner): B-D shares A and C; A-E and C-E share D.
const pair_list hand_network = {{"A", "B"}, {"A", "C"}, {"A", "D"}, {"B", "C"}, {"C", "D"}, {"D", "E"}};

std::string hand_scores(const std::string& method, bool candidates) {
    const auto net = vornel::build_network(hand_network).net;
    const auto listed = vornel::resolve_listed_pairs(hand_network, net).listed;
    return score_to_text(net, candidates ? nullptr : &listed, method, 1, 2);
}

TEST(hand_worked, jaccard) {
    // B-D: {A,C} / {A,C,E} = 2/3; A-E: {D} / {B,C,D} = 1/3; C-E: {D} / {A,B,D} = 1/3, tie by names.
    EXPECT_EQ(hand_scores("jaccard", true),
              "B\tD\t0.6666666666666666\nA\tE\t0.3333333333333333\nC\tE\t0.3333333333333333\n");
    // A-C: {B,D} / {A,B,C,D} = 1/2; A-B: {C} / {A,B,C,D} and B-C: {A} / {A,B,C,D} = 1/4;
    // A-D: {C} / {A,B,C,D,E} and C-D: {A} / {A,B,C,D,E} = 1/5; D-E shares nothing.
    // Ties keep the order of the listing.
    EXPECT_EQ(hand_scores("jaccard", false),
              "A\tC\t0.5\nA\tB\t0.25\nB\tC\t0.25\nA\tD\t0.2\nC\tD\t0.2\n");
}

TEST(hand_worked, adamic_adar) {
    // 1/ln 3 = 0.9102392266268373, 1/ln 2 = 1.4426950408889634.
    // B-D: A and C, both of degree 3; A-E and C-E: D.
    EXPECT_EQ(hand_scores("aa", true),
              "B\tD\t1.8204784532536746\nA\tE\t0.9102392266268373\nC\tE\t0.9102392266268373\n");
    // A-C: B (degree 2) and D (degree 3); the others share one partner of degree 3.
    const auto listed = parse_output(hand_scores("aa", false));
    ASSERT_EQ(listed.size(), 5u);
    EXPECT_EQ(listed[0].a + listed[0].b, "AC");
    EXPECT_EQ(listed[0].score, 2.352934267515801);
    EXPECT_EQ(listed[4].score, 0.9102392266268373);
}

TEST(hand_worked, resource_allocation) {
    EXPECT_EQ(hand_scores("ra", true),
              "B\tD\t0.6666666666666666\nA\tE\t0.3333333333333333\nC\tE\t0.3333333333333333\n");
    // A-C: 1/2 + 1/3; the others share one partner of degree 3 (A-B: C, A-D: C, B-C: A, C-D: A).
    EXPECT_EQ(hand_scores("ra", false), "A\tC\t0.8333333333333333\nA\tB\t0.3333333333333333\n"
                                        "A\tD\t0.3333333333333333\nB\tC\t0.3333333333333333\n"
                                        "C\tD\t0.3333333333333333\n");
}

TEST(hand_worked, l3_leaves_out_paths_through_the_scored_interaction) {
    // A square: the only simple path from D to A is D-C-B-A, 1/sqrt(2*2). Walks that use the
    // interaction D-A itself (D-A-B-A, D-C-D-A) are left out.
    const auto net = vornel::build_network(pair_list{{"A", "B"}, {"B", "C"}, {"C", "D"}, {"A", "D"}}).net;
    const auto listed = vornel::resolve_listed_pairs(pair_list{{"D", "A"}}, net).listed;
    const auto lines = parse_output(score_to_text(net, &listed, "l3", 1, 1));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].a + lines[0].b, "DA");
    EXPECT_NEAR(lines[0].score, 0.5, 1e-15);
}

// The partner-similarity methods on the hand network. Candidates B-E, B-D, A-E, C-E have the
// paths B-A-D-E, B-C-D-E; B-A-C-D, B-C-A-D; A-C-D-E; C-A-D-E. For B-D: |N(B) | N(C)| = 4 and
// |N(A) | N(D)| = 5 on either path; J(B,A) = J(B,C) = 1/4, J(B,E) = 0, J(A,D) = J(C,D) = 1/5.
TEST(hand_worked, partner_similarity_methods) {
    struct expected_line {
        const char* pair;
        double score;
    };
    const double tie = 1.0 / 33554432.0 / 10.0;  // 2^-25 / (k_max^2 + 1), k_max = 3
    const std::map<std::string, std::vector<expected_line>> expected{
        {"l3n", {{"BE", 2.0 / 3.0}, {"BD", 2 / std::sqrt(20.0)}, {"AE", 1 / std::sqrt(15.0)}, {"CE", 1 / std::sqrt(15.0)}}},
        {"sim", {{"BE", 4.0 / 3.0}, {"BD", 0.9}, {"AE", 0.2 + 1.0 / 3.0}, {"CE", 0.2 + 1.0 / 3.0}}},
        {"mps",
         {{"BE", 1.0 + 2 * tie},
          {"AE", std::floor((0.2 + 1.0 / 3.0) * 16777216.0) / 16777216.0 + 3 * tie},
          {"CE", std::floor((0.2 + 1.0 / 3.0) * 16777216.0) / 16777216.0 + 3 * tie},
          {"BD", std::floor(0.45 * 16777216.0) / 16777216.0 + 6 * tie}}},
    };
    for (const auto& [method, lines_expected] : expected) {
        const auto lines = parse_output(hand_scores(method, true));
        ASSERT_EQ(lines.size(), lines_expected.size()) << method;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].a + lines[i].b, lines_expected[i].pair) << method << " line " << i;
            EXPECT_NEAR(lines[i].score, lines_expected[i].score, 1e-9) << method << " line " << i;
        }
    }
}

// Degree products break exact ties of mps: C-F and C-G both score 5/6 (J(C,G) = 1/2 with
// J(A,F) = 1/3, and J(C,B) = 2/3 with J(A,G) = 1/6), but k_C k_G = 8 > k_C k_F = 2, so C-G
// comes first although C-F sorts first by identifiers.
TEST(hand_worked, mps_breaks_ties_by_degree_product) {
    const auto net = vornel::build_network(pair_list{{"A", "B"}, {"A", "C"}, {"A", "G"}, {"B", "E"}, {"B", "G"},
                                                     {"C", "E"}, {"E", "G"}, {"F", "G"}}).net;
    const auto lines = parse_output(score_to_text(net, nullptr, "mps", 1, 1));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].a + lines[0].b, "CG");
    EXPECT_EQ(lines[1].a + lines[1].b, "CF");
    EXPECT_LT(lines[2].score, 5.0 / 6.0 - 1e-7);
}

// For an interacting listed pair the paths through the interaction are left out (the square:
// only D-C-B-A), while the set sizes stay those of the whole network.
TEST(hand_worked, partner_similarity_of_an_interacting_pair) {
    const auto net = vornel::build_network(pair_list{{"A", "B"}, {"B", "C"}, {"C", "D"}, {"A", "D"}}).net;
    const auto listed = vornel::resolve_listed_pairs(pair_list{{"D", "A"}}, net).listed;
    const std::map<std::string, double> expected{{"l3n", 0.5}, {"sim", 1.0}, {"mps", 2.0 + 4.0 / 33554432.0 / 5.0}};
    for (const auto& [method, score] : expected) {
        const auto lines = parse_output(score_to_text(net, &listed, method, 1, 1));
        ASSERT_EQ(lines.size(), 1u) << method;
        EXPECT_NEAR(lines[0].score, score, 1e-15) << method;
    }
}

// A pair that does not interact scores the same, to the last bit, listed or proposed: both
// sum the same path terms in the same order.
TEST(partner_similarity, listed_candidates_score_exactly_as_proposed) {
    std::mt19937 rng(7);
    const pair_list interactions = random_network(rng, 50, 150);
    const auto net = vornel::build_network(interactions).net;
    for (const std::string method : {"l3n", "sim", "mps"}) {
        const std::string proposed = score_to_text(net, nullptr, method, 1, 3);
        pair_list candidates;
        for (const auto& line : parse_output(proposed)) candidates.emplace_back(line.a, line.b);
        ASSERT_GT(candidates.size(), 50u) << method;
        const auto listed = vornel::resolve_listed_pairs(candidates, net).listed;
        EXPECT_EQ(proposed, score_to_text(net, &listed, method, 1, 3)) << method;
    }
}

}  // namespace

// Many small components (chains and random clusters, rows that reach two or three proteins of
// a large network) beside a hub with a dozen partners, of which only one or two lead to some
// listed pairs: rows and pairs at both ends of what the row kernels tell apart. Every candidate
// and every listed pair must score as the reference says, and no candidate may be missing.
TEST(partner_similarity, sparse_rows_and_hub_pairs_match_reference) {
    std::mt19937 rng(23);
    pair_list interactions;
    pair_list listing;
    std::set<std::pair<std::string, std::string>> expected_candidates;
    for (int c = 0; c < 400; ++c) {
        pair_list component;
        auto name = [c](int i) {
            std::string text = std::to_string(c);
            text += '_';
            text += char('a' + i);
            return text;
        };
        const int size = c % 2 == 0 ? 5 : 7;
        for (int i = 0; i + 1 < size; ++i) component.emplace_back(name(i), name(i + 1));
        if (c % 2 == 1) {
            std::uniform_int_distribution<int> any(0, size - 1);
            for (int i = 0; i < 4; ++i) component.emplace_back(name(any(rng)), name(any(rng)));
        }
        for (const auto& [pair, score] : reference::candidates(reference::make_graph(component), "sim", 1)) {
            expected_candidates.insert(pair);
        }
        interactions.insert(interactions.end(), component.begin(), component.end());
    }
    // Hub A with partners L0..L11; only L0 and L1 lead on, to Y through M.
    for (const char* leaf : {"L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "LA", "LB"}) {
        interactions.emplace_back("A", leaf);
    }
    interactions.insert(interactions.end(), {{"L0", "M"}, {"L1", "M"}, {"M", "Y"}, {"M", "Z"}, {"L2", "L3"}});
    listing = {{"A", "Y"}, {"A", "Z"}, {"A", "L2"}, {"A", "M"}, {"L0", "Y"}, {"1_a", "1_d"}, {"2_a", "2_d"}};
    const auto net = vornel::build_network(interactions).net;
    const auto graph = reference::make_graph(interactions);
    for (const auto& [pair, score] : reference::candidates(reference::make_graph(pair_list(interactions.end() - 17,
                                                                                              interactions.end())),
                                                           "sim", 1)) {
        expected_candidates.insert(pair);
    }
    const auto listed = vornel::resolve_listed_pairs(listing, net).listed;
    for (const std::string method : {"l3n", "sim", "mps"}) {
        const auto lines = parse_output(score_to_text(net, nullptr, method, 1, 2));
        std::set<std::pair<std::string, std::string>> proposed;
        for (const auto& line : lines) {
            proposed.insert({line.a, line.b});
            expect_close(reference::score(graph, method, line.a, line.b, 1), line.score, method + " " + line.a + line.b);
        }
        EXPECT_EQ(proposed, expected_candidates) << method;
        const auto scored = parse_output(score_to_text(net, &listed, method, 1, 3));
        const auto expected = reference::score_list(graph, method, listing, 1);
        std::map<std::pair<std::string, std::string>, double> by_pair;
        for (const auto& line : scored) by_pair[{line.a, line.b}] = line.score;
        for (std::size_t i = 0; i < listing.size(); ++i) {
            const auto found = by_pair.find(listing[i]);
            const double score = found == by_pair.end() ? 0.0 : found->second;
            expect_close(expected[i], score, method + " listed " + listing[i].first + listing[i].second);
        }
    }
}
