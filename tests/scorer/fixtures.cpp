#include "fixtures.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace test_support {

std::string numbered_protein(int i) {
    // Appended, not "P" + std::to_string(i): g++ 12 warns, wrongly, about that.
    std::string name = "P";
    name += std::to_string(i);
    return name;
}

pair_list random_pairs(std::mt19937& rng, const random_draws& draws, const protein_namer& name) {
    std::uniform_int_distribution<int> any(0, draws.proteins - 1);
    pair_list pairs;
    pairs.reserve(static_cast<std::size_t>(draws.interactions));
    for (int i = 0; i < draws.interactions; ++i) {
        // Two statements: the first protein is drawn before its partner on every compiler.
        const int first = draws.hub_every > 0 && i % draws.hub_every == 0 ? draws.hub : any(rng);
        const int partner = any(rng);
        pairs.emplace_back(name(first), name(partner));
    }
    return pairs;
}

vornel::network random_network(std::uint32_t seed, const random_draws& draws, const protein_namer& name) {
    std::mt19937 rng(seed);
    return vornel::build_network(random_pairs(rng, draws, name)).net;
}

std::string random_network_text(std::uint32_t seed, const random_draws& draws) {
    std::mt19937 rng(seed);
    std::string text;
    for (const auto& [a, b] : random_pairs(rng, draws)) text += a + " " + b + "\n";
    return text;
}

pair_list random_listing(std::mt19937& rng, const pair_list& network, int proteins, const protein_namer& name) {
    pair_list pairs = network;
    const pair_list drawn = random_pairs(rng, random_draws{proteins, proteins * 2, 0, 0}, name);
    pairs.insert(pairs.end(), drawn.begin(), drawn.end());
    pairs.emplace_back("absent", name(1));
    pairs.emplace_back(pairs[3].second, pairs[3].first);
    std::shuffle(pairs.begin(), pairs.end(), rng);
    return pairs;
}

pair_list first_orientations(const pair_list& pairs) {
    pair_list out;
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto& [a, b] : pairs) {
        if (a != b && seen.insert(std::minmax(a, b)).second) out.emplace_back(a, b);
    }
    return out;
}

void expect_close(double expected, double actual, const std::string& what) {
    EXPECT_NEAR(expected, actual, 1e-12 * std::max(1.0, std::fabs(expected))) << what;
}

void expect_same_output_on_any_thread_count(const vornel::network& net, const vornel::listed_pairs& listed,
                                            const method_case& c) {
    for (const vornel::listed_pairs* mode : {static_cast<const vornel::listed_pairs*>(nullptr), &listed}) {
        SCOPED_TRACE(mode ? "listed pairs" : "proposed pairs");
        const std::string single = score_to_text(net, mode, c.method, c.rounds, 1);
        ASSERT_FALSE(single.empty());
        for (unsigned threads : {2u, 3u, 8u}) {
            EXPECT_EQ(single, score_to_text(net, mode, c.method, c.rounds, threads, 7)) << threads << " threads";
        }
    }
}

void PrintTo(const method_case& c, std::ostream* out) { *out << c.method << " with " << c.rounds << " rounds"; }

std::string case_name(const testing::TestParamInfo<method_case>& info) {
    std::string name = info.param.method + "_" + std::to_string(info.param.rounds) + "_rounds";
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

} // namespace test_support
