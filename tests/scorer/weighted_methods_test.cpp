// The weighted methods against the plainly written reference on small random weighted networks
// (both modes, several thread counts), values worked out by hand, the rule for repeated weights
// and the reading of weights; and that the unweighted methods ignore weights.
#include "fixtures.hpp"
#include "reference_methods.hpp"
#include "test_support.hpp"

#include "scorer/methods.hpp"

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
using test_support::random_listing;
using test_support::random_pairs;
using test_support::score_to_text;

struct weighted_network {
    pair_list pairs;
    std::vector<double> weights;
    std::vector<reference::weighted_interaction> interactions() const {
        std::vector<reference::weighted_interaction> out;
        for (std::size_t i = 0; i < pairs.size(); ++i) out.push_back({pairs[i].first, pairs[i].second, weights[i]});
        return out;
    }
};

// A random network with a hub, self-pairs, repeats in both orientations with other weights, a
// chain whose weights are all 0 (strength 0) and weights of 0 to 1 in steps of 1/8.
weighted_network random_weighted_network(std::mt19937& rng, int proteins, int interactions) {
    std::uniform_int_distribution<int> eighths(0, 8);
    weighted_network net;
    net.pairs = {{"Z0", "Z1"}, {"Z1", "Z2"}, {"Z2", "P1"}};
    net.weights = {0.0, 0.0, 0.5};
    const pair_list drawn = random_pairs(rng, {proteins, interactions, 4, 1});  // protein 1 is a hub
    for (const auto& pair : drawn) {
        net.pairs.push_back(pair);
        net.weights.push_back(eighths(rng) / 8.0);
    }
    for (int i = 0; i < 6; ++i) {
        const auto [a, b] = net.pairs[std::size_t(i * 5 + 3)];
        net.pairs.emplace_back(b, a);
        net.weights.push_back(eighths(rng) / 8.0);
    }
    return net;
}

// Checks scorer output against expected non-zero scores by pair, and that it is sorted.
void expect_scores(const std::string& text, const std::map<std::pair<std::string, std::string>, double>& expected) {
    const auto lines = parse_output(text);
    ASSERT_EQ(expected.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto found = expected.find({lines[i].a, lines[i].b});
        ASSERT_NE(found, expected.end()) << lines[i].a << " " << lines[i].b << " not expected";
        expect_close(found->second, lines[i].score, lines[i].a + " " + lines[i].b);
        if (i > 0) {
            EXPECT_GE(lines[i - 1].score, lines[i].score);
        }
    }
}

class weighted_vs_reference : public testing::TestWithParam<method_case> {};

TEST_P(weighted_vs_reference, listed_pairs_match_reference) {
    const auto& [method, rounds] = GetParam();
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        const int proteins = 12 + int(seed) * 6;
        const weighted_network network = random_weighted_network(rng, proteins, proteins * 2);
        const pair_list listing = random_listing(rng, network.pairs, proteins);
        const auto net = vornel::build_network(network.pairs, network.weights).net;
        ASSERT_TRUE(net.weighted());
        const auto listed = vornel::resolve_listed_pairs(listing, net).listed;

        const auto graph = reference::make_weighted_graph(network.interactions());
        const pair_list pairs = first_orientations(listing);
        const auto scores = reference::weighted_score_list(graph, method, pairs, rounds);
        std::map<std::pair<std::string, std::string>, double> expected;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (scores[i] != 0) expected[pairs[i]] = scores[i];
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_scores(score_to_text(net, &listed, method, rounds, 2), expected);
    }
}

TEST_P(weighted_vs_reference, candidates_match_reference) {
    const auto& [method, rounds] = GetParam();
    for (unsigned seed = 11; seed <= 14; ++seed) {
        std::mt19937 rng(seed);
        const int proteins = 10 + int(seed - 10) * 5;
        const weighted_network network = random_weighted_network(rng, proteins, proteins * 2);
        const auto net = vornel::build_network(network.pairs, network.weights).net;
        const auto expected =
            reference::weighted_candidates(reference::make_weighted_graph(network.interactions()), method, rounds);
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_scores(score_to_text(net, nullptr, method, rounds, 2), expected);
    }
}

TEST_P(weighted_vs_reference, output_is_byte_identical_for_any_thread_count) {
    std::mt19937 rng(99);
    const weighted_network network = random_weighted_network(rng, 40, 120);
    const auto net = vornel::build_network(network.pairs, network.weights).net;
    const auto listed = vornel::resolve_listed_pairs(random_listing(rng, network.pairs, 40), net).listed;
    test_support::expect_same_output_on_any_thread_count(net, listed, GetParam());
}

TEST_P(weighted_vs_reference, a_network_without_weights_weighs_every_interaction_one) {
    const auto& [method, rounds] = GetParam();
    std::mt19937 rng(5);
    const weighted_network network = random_weighted_network(rng, 30, 80);
    const std::vector<double> ones(network.pairs.size(), 1.0);
    const auto plain = vornel::build_network(network.pairs).net;
    const auto all_ones = vornel::build_network(network.pairs, ones).net;
    ASSERT_FALSE(plain.weighted());
    ASSERT_TRUE(all_ones.weighted());
    EXPECT_EQ(score_to_text(plain, nullptr, method, rounds, 2), score_to_text(all_ones, nullptr, method, rounds, 2));
}

INSTANTIATE_TEST_SUITE_P(weighted_methods, weighted_vs_reference,
                         testing::Values(method_case{"cn-w", 1}, method_case{"aa-w", 1}, method_case{"ra-w", 1},
                                         method_case{"pcd-w", 1}, method_case{"wcd-w", 1}, method_case{"wcd-w", 2},
                                         method_case{"wcd-w", 3}, method_case{"l3-w", 1}),
                         case_name);

// A-B 0.5, A-C 1, A-D 0.25, B-C 0.5, C-D 1, D-E 0.5. Strengths: A 1.75, B 1, C 2.5, D 1.75, E 0.5.
// Candidates: B-D shares A and C; A-E and C-E share D.
std::string hand_scores(const std::string& method) {
    const pair_list pairs = {{"A", "B"}, {"A", "C"}, {"A", "D"}, {"B", "C"}, {"C", "D"}, {"D", "E"}};
    const auto net = vornel::build_network(pairs, std::vector<double>{0.5, 1, 0.25, 0.5, 1, 0.5}).net;
    return score_to_text(net, nullptr, method, 1, 2);
}

TEST(weighted_hand_worked, common_neighbours) {
    // B-D: (0.5 + 0.25) + (0.5 + 1); C-E: 1 + 0.5; A-E: 0.25 + 0.5.
    EXPECT_EQ(hand_scores("cn-w"), "B\tD\t2.25\nC\tE\t1.5\nA\tE\t0.75\n");
}

TEST(weighted_hand_worked, resource_allocation) {
    // B-D: 0.75 / 1.75 + 1.5 / 2.5; C-E: 1.5 / 1.75; A-E: 0.75 / 1.75.
    const auto lines = parse_output(hand_scores("ra-w"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].a + lines[0].b + lines[1].a + lines[1].b + lines[2].a + lines[2].b, "BDCEAE");
    EXPECT_NEAR(lines[0].score, 0.75 / 1.75 + 0.6, 1e-15);
    EXPECT_NEAR(lines[1].score, 1.5 / 1.75, 1e-15);
    EXPECT_NEAR(lines[2].score, 0.75 / 1.75, 1e-15);
}

TEST(weighted_hand_worked, l3_leaves_out_paths_through_the_scored_interaction) {
    // A square, every strength 1.5: the only simple path from D to A is D-C-B-A,
    // 0.5 * 1 * 0.5 / sqrt(1.5 * 1.5). Walks over the heavy interaction D-A itself are left out.
    const auto net = vornel::build_network(pair_list{{"A", "B"}, {"B", "C"}, {"C", "D"}, {"A", "D"}},
                                           std::vector<double>{0.5, 1, 0.5, 1})
                         .net;
    const auto listed = vornel::resolve_listed_pairs(pair_list{{"D", "A"}}, net).listed;
    const auto lines = parse_output(score_to_text(net, &listed, "l3-w", 1, 1));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0].score, 0.25 / 1.5, 1e-15);
}

// The weight of the interaction u-v in both rows.
std::pair<double, double> weights_of(const vornel::network& net, const std::string& a, const std::string& b) {
    const std::uint32_t u = *net.find(a);
    const std::uint32_t v = *net.find(b);
    auto in_row = [&](std::uint32_t x, std::uint32_t y) {
        const auto row = net.partners(x);
        return net.weights[net.row_starts[x] + std::uint64_t(std::find(row.begin(), row.end(), y) - row.begin())];
    };
    return {in_row(u, v), in_row(v, u)};
}

TEST(weight_merging, repeated_pairs_keep_their_largest_weight_in_any_order) {
    pair_list pairs = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "C"}, {"C", "B"}};
    std::vector<double> weights = {0.2, 0.9, 0.5, 0.7, 0.7};
    for (int order = 0; order < 2; ++order) {
        const auto read = vornel::build_network(pairs, weights);
        EXPECT_EQ(read.counts.repeated_pairs, 3u);
        EXPECT_EQ(weights_of(read.net, "A", "B"), std::pair(0.9, 0.9));
        EXPECT_EQ(weights_of(read.net, "C", "B"), std::pair(0.7, 0.7));  // both orientations, one score
        std::reverse(pairs.begin(), pairs.end());
        std::reverse(weights.begin(), weights.end());
    }
}

TEST(weight_merging, one_interaction_without_a_usable_weight_leaves_the_network_unweighted) {
    const pair_list pairs = {{"A", "B"}, {"B", "C"}, {"C", "D"}, {"D", "D"}};
    for (double bad : {vornel::no_weight, -0.5, HUGE_VAL}) {
        const auto read = vornel::build_network(pairs, std::vector<double>{0.5, bad, 0.25, 0.1});
        EXPECT_FALSE(read.net.weighted()) << bad;
        EXPECT_EQ(read.counts.pairs_without_weight, 1u) << "the self-pair's weight does not count";
    }
    const auto zero = vornel::build_network(pairs, std::vector<double>{0.5, -0.0, 0.25, vornel::no_weight});
    ASSERT_TRUE(zero.net.weighted());
    EXPECT_FALSE(std::signbit(weights_of(zero.net, "B", "C").first));
}

TEST(weight_reading, third_column_is_a_weight_only_when_it_is_wholly_a_number_of_at_least_zero) {
    EXPECT_EQ(vornel::parse_weight("0.75"), 0.75);
    EXPECT_EQ(vornel::parse_weight("900"), 900.0);
    EXPECT_EQ(vornel::parse_weight("1e-3"), 1e-3);
    EXPECT_EQ(vornel::parse_weight("0"), 0.0);
    for (const char* text : {"", "x", "0.5x", "+1", "-0.1", "inf", "nan", "1e400", "0x1p-2"}) {
        EXPECT_TRUE(std::isnan(vornel::parse_weight(text))) << text;
    }
}

TEST(weight_reading, files_give_weights_only_when_asked_and_every_line_has_one) {
    test_support::scoped_temp_dir dir;
    test_support::write_file("scored.tsv", "# header\nA\tB\t0.5\textra\nB C  0.25\r\nC\tA\t1e-1\nA B 0.75\n");
    test_support::write_file("mixed.tsv", "A B 0.5\nB C\nC A 0.1\n");
    test_support::write_file("word.tsv", "A B evidence\nB C 0.3\n");
    const auto weighted = vornel::read_network("scored.tsv", {}, true);
    ASSERT_TRUE(weighted.error.empty()) << weighted.error;
    ASSERT_TRUE(weighted.net.weighted());
    EXPECT_EQ(weights_of(weighted.net, "A", "B"), std::pair(0.75, 0.75));
    EXPECT_EQ(weights_of(weighted.net, "C", "B"), std::pair(0.25, 0.25));
    EXPECT_EQ(weights_of(weighted.net, "A", "C"), std::pair(0.1, 0.1));
    EXPECT_FALSE(vornel::read_network("scored.tsv", {}, false).net.weighted());
    const auto mixed = vornel::read_network("mixed.tsv", {}, true);
    EXPECT_FALSE(mixed.net.weighted());
    EXPECT_EQ(mixed.counts.pairs_without_weight, 1u);
    EXPECT_FALSE(vornel::read_network("word.tsv", {}, true).net.weighted());
}

TEST(unweighted_methods, ignore_a_third_column_byte_for_byte) {
    test_support::scoped_temp_dir dir;
    std::mt19937 rng(3);
    const weighted_network network = random_weighted_network(rng, 30, 90);
    std::string two, three;
    for (std::size_t i = 0; i < network.pairs.size(); ++i) {
        two += network.pairs[i].first + "\t" + network.pairs[i].second + "\n";
        three += network.pairs[i].first + " " + network.pairs[i].second + " " + std::to_string(network.weights[i]) + "\n";
    }
    test_support::write_file("two.tsv", two);
    test_support::write_file("three.tsv", three);
    for (const auto& entry : vornel::all_methods()) {
        if (entry.weighted) continue;
        for (const char* pairs : {"NULL", "same"}) {
            const std::string name(entry.name);
            const bool same = std::string(pairs) == "same";
            const auto a = test_support::run_vornel({"two.tsv", same ? "two.tsv" : "NULL", name, "2", "a.out"});
            const auto b = test_support::run_vornel({"three.tsv", same ? "three.tsv" : "NULL", name, "2", "b.out"});
            ASSERT_EQ(a.exit_code, 0) << a.err;
            ASSERT_EQ(b.exit_code, 0) << b.err;
            EXPECT_EQ(test_support::read_file("a.out"), test_support::read_file("b.out")) << name << " " << pairs;
            EXPECT_EQ(b.err.find("weigh"), std::string::npos) << b.err;
        }
    }
}

TEST(weighted_methods, say_once_that_a_network_without_weights_weighs_every_interaction_one) {
    test_support::scoped_temp_dir dir;
    test_support::write_file("net.tsv", "A B\nB C\nC D\nA C word\n");
    const auto run = test_support::run_vornel({"net.tsv", "net.tsv", "ra-w", "1", "out.txt"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string note = "vornel: network net.tsv has no weights (4 interactions without a weight, a number >= 0): "
                             "ra-w weighs every interaction 1\n";
    const auto at = run.err.find(note);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("has no weights", at + note.size()), std::string::npos);
}

}  // namespace
