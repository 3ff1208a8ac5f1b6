// The learned method's parts: features against a plain count of paths on small random
// networks, the logistic fit against hand-worked fits and its score equations, and learn and
// auto giving the same output on any thread count.
#include "fixtures.hpp"
#include "test_support.hpp"

#include "scorer/evaluate/evaluation.hpp"
#include "scorer/evaluate/report.hpp"
#include "scorer/learn/features.hpp"
#include "scorer/learn/learn.hpp"
#include "scorer/learn/logistic_model.hpp"
#include "scorer/cli/method_registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <set>

namespace {

using namespace vornel;
using test_support::pair_list;

std::string protein(int i) {
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'p');
    return name;
}

// Every sixth interaction has protein 1 as one end: a hub.
network random_network(std::uint32_t seed, int proteins, int interactions) {
    return test_support::random_network(seed, {proteins, interactions, 6, 1}, protein);
}

// The counts of (u, v) straight from their definition, on the network without u-v.
pair_counts plain_counts(const network& full, std::uint32_t u, std::uint32_t v) {
    std::vector<pair_ids> rest;
    for (const auto& p : interaction_list(full)) {
        if (!(p.first == std::min(u, v) && p.second == std::max(u, v))) rest.push_back(p);
    }
    const network net = network_with_interactions(full, rest);
    pair_counts c;
    for (const std::uint32_t a : net.partners(u)) {
        if (net.interacts(a, v)) {
            c.shared += 1;
            c.ra += 1.0 / net.degree(a);
        }
        for (const std::uint32_t b : net.partners(a)) {
            if (a == v || b == u || !net.interacts(b, v)) continue;
            c.paths3 += 1;
            c.l3 += 1.0 / std::sqrt(double(net.degree(a)) * net.degree(b));
        }
    }
    c.k_low = std::min(net.degree(u), net.degree(v));
    c.k_high = std::max(net.degree(u), net.degree(v));
    return c;
}

void expect_same_counts(const pair_counts& got, const pair_counts& want, const std::string& where) {
    EXPECT_DOUBLE_EQ(got.paths3, want.paths3) << where;
    EXPECT_NEAR(got.l3, want.l3, 1e-12) << where;
    EXPECT_DOUBLE_EQ(got.shared, want.shared) << where;
    EXPECT_NEAR(got.ra, want.ra, 1e-12) << where;
    EXPECT_DOUBLE_EQ(got.k_low, want.k_low) << where;
    EXPECT_DOUBLE_EQ(got.k_high, want.k_high) << where;
}

// A non-interacting pair u-v was visited exactly when a path of length two or three joins it,
// and then with the plain counts.
void expect_visited_as_counted(const network& net, const std::map<std::uint64_t, pair_counts>& visited,
                               std::uint32_t u, std::uint32_t v) {
    const pair_counts want = plain_counts(net, u, v);
    const auto found = visited.find(candidate_tie(u, v));
    const std::string where = std::to_string(u) + "-" + std::to_string(v);
    if (want.paths3 == 0 && want.shared == 0) {
        EXPECT_EQ(found, visited.end()) << where;
    } else {
        ASSERT_NE(found, visited.end()) << where;
        expect_same_counts(found->second, want, where);
    }
}

TEST(features, candidates_match_plain_path_counts) {
    // Sparse networks (rows scatter from the proteins they reach) and dense ones (rows gather).
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        const network net = seed < 3 ? random_network(seed, 40, 90) : random_network(seed, 20, 120);
        std::map<std::uint64_t, pair_counts> visited;
        visit_candidates(net, 3, [&](unsigned, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            static std::mutex lock;
            std::lock_guard guard(lock);
            EXPECT_TRUE(visited.emplace(candidate_tie(u, v), c).second);
        });
        for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
            for (std::uint32_t v = u + 1; v < net.protein_count(); ++v) {
                if (!net.interacts(u, v)) expect_visited_as_counted(net, visited, u, v);
            }
        }
    }
}

TEST(features, whole_rows_and_best_l3_match_plain_path_counts) {
    // Whole rows see the pairs below the row as well; the best l3 of a protein is the largest
    // l3 over all its candidates. Sparse networks scatter, dense ones gather.
    for (const std::uint32_t seed : {5u, 6u}) {
        const network net = seed == 5 ? random_network(seed, 150, 200) : random_network(seed, 20, 120);
        // Candidates do not interact, so their l3 is summed on the network as it is.
        std::vector<double> want_best(net.protein_count(), 0.0);
        for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
            std::map<std::uint32_t, double> l3;
            for (const std::uint32_t a : net.partners(u)) {
                for (const std::uint32_t b : net.partners(a)) {
                    for (const std::uint32_t v : net.partners(b)) {
                        if (b != u && v != u && !net.interacts(u, v)) {
                            l3[v] += 1.0 / std::sqrt(double(net.degree(a)) * net.degree(b));
                        }
                    }
                }
            }
            for (const auto& [v, sum] : l3) want_best[u] = std::max(want_best[u], sum);
        }
        for (const unsigned threads : {1u, 3u}) {
            const std::vector<double> best = best_l3_per_protein(net, threads);
            for (std::uint32_t x = 0; x < net.protein_count(); ++x) EXPECT_NEAR(best[x], want_best[x], 1e-12) << x;
        }
        const std::vector<std::uint32_t> rows{0, 1, 3, net.protein_count() / 2, net.protein_count() - 1};
        std::map<std::uint64_t, pair_counts> visited;
        std::mutex lock;
        visit_whole_rows(net, rows, 3, [&](unsigned, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            std::lock_guard guard(lock);
            EXPECT_TRUE(visited.emplace(candidate_tie(u, v), c).second);
        });
        for (const std::uint32_t u : rows) {
            for (std::uint32_t v = 0; v < net.protein_count(); ++v) {
                if (u != v && !net.interacts(u, v)) expect_visited_as_counted(net, visited, u, v);
            }
        }
    }
}

TEST(features, sampled_pairs_and_best_l3_have_the_bits_of_whole_rows) {
    // The cheaper passes sum the same terms in the same order as the whole rows, so their counts
    // and maxima are equal to the last bit, whether a row gathers (dense) or scatters (sparse).
    for (const std::uint32_t seed : {7u, 8u}) {
        const network net = seed == 7 ? random_network(seed, 150, 200) : random_network(seed, 40, 300);
        const std::uint32_t n = net.protein_count();
        std::vector<std::uint32_t> rows;
        std::vector<unsigned char> in_sample(n, 0);
        for (std::uint32_t x = 0; x < n; x += 3) {
            rows.push_back(x);
            in_sample[x] = 1;
        }
        std::map<std::uint64_t, pair_counts> whole;
        std::vector<double> want_row_best(n, 0.0);
        std::mutex lock;
        visit_whole_rows(net, rows, 2, [&](unsigned, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            std::lock_guard guard(lock);
            want_row_best[u] = std::max(want_row_best[u], c.l3);
            if (v > u && in_sample[v]) whole.emplace(candidate_tie(u, v), c);
        });
        for (const bool with_best : {true, false}) {
            std::map<std::uint64_t, pair_counts> sampled;
            std::vector<double> row_best(n, 0.0);
            visit_sampled_pairs(
                net, rows, in_sample, 3,
                [&](unsigned, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
                    std::lock_guard guard(lock);
                    EXPECT_TRUE(sampled.emplace(candidate_tie(u, v), c).second);
                },
                with_best ? &row_best : nullptr);
            ASSERT_EQ(sampled.size(), whole.size());
            for (const auto& [tie, c] : whole) {
                const pair_counts& got = sampled.at(tie);
                EXPECT_EQ(got.paths3, c.paths3);
                EXPECT_EQ(got.l3, c.l3);
                EXPECT_EQ(got.shared, c.shared);
                EXPECT_EQ(got.ra, c.ra);
                EXPECT_EQ(got.k_low, c.k_low);
                EXPECT_EQ(got.k_high, c.k_high);
            }
            for (std::uint32_t x = 0; x < n; ++x) EXPECT_EQ(row_best[x], with_best ? want_row_best[x] : 0.0) << x;
        }
        std::vector<double> want_best(n, 0.0);
        visit_candidates(net, 1, [&](unsigned, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            want_best[u] = std::max(want_best[u], c.l3);
            want_best[v] = std::max(want_best[v], c.l3);
        });
        EXPECT_EQ(best_l3_per_protein(net, 3), want_best);
    }
}

TEST(features, listed_pairs_count_as_if_absent) {
    const network net = random_network(4, 30, 80);
    std::vector<pair_ids> pairs = interaction_list(net);
    std::mt19937 rng(5);
    std::uniform_int_distribution<std::uint32_t> any(0, net.protein_count() - 1);
    for (int i = 0; i < 60; ++i) {
        const std::uint32_t a = any(rng), b = any(rng);
        if (a != b) pairs.push_back({a, b});  // either orientation, interacting or not
    }
    for (const unsigned threads : {1u, 4u}) {
        const auto counts = listed_pair_counts(net, pairs, threads);
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            expect_same_counts(counts[i], plain_counts(net, pairs[i].first, pairs[i].second), std::to_string(i));
        }
    }
}

TEST(logistic_model, one_binary_feature_fits_the_group_frequencies) {
    // x = 0: 3 of 10 positive; x = 1: 8 of 10. The unpenalised fit reproduces both shares.
    std::vector<double> rows;
    std::vector<unsigned char> labels;
    for (int i = 0; i < 10; ++i) {
        rows.push_back(0);
        labels.push_back(i < 3);
        rows.push_back(1);
        labels.push_back(i < 8);
    }
    const logistic_model model = fit_logistic(rows, 1, labels, 0.0);
    EXPECT_NEAR(model.probability(std::vector<double>{0}), 0.3, 1e-9);
    EXPECT_NEAR(model.probability(std::vector<double>{1}), 0.8, 1e-9);
    EXPECT_LT(model.iterations, 20);
    EXPECT_EQ(fit_logistic({}, 1, {}).probability(std::vector<double>{1}), 0.0);
}

TEST(logistic_model, fit_solves_the_score_equations) {
    std::mt19937 rng(3);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> unit(0, 1);
    const std::size_t width = 3, count = 400;
    std::vector<double> rows;
    std::vector<unsigned char> labels;
    for (std::size_t r = 0; r < count; ++r) {
        const double x0 = normal(rng), x1 = 5 + 10 * normal(rng), x2 = normal(rng);
        rows.insert(rows.end(), {x0, x1, x2});
        const double z = 0.5 + 1.5 * x0 - 0.2 * x1;
        labels.push_back(unit(rng) < 1 / (1 + std::exp(-z)));
    }
    const logistic_model model = fit_logistic(rows, width, labels, 0.0);
    std::vector<double> residual_sums(width + 1, 0.0);
    for (std::size_t r = 0; r < count; ++r) {
        const std::span<const double> x(rows.data() + r * width, width);
        const double residual = labels[r] - model.probability(x);
        residual_sums[0] += residual;
        for (std::size_t j = 0; j < width; ++j) residual_sums[j + 1] += residual * x[j];
    }
    for (const double sum : residual_sums) EXPECT_NEAR(sum, 0.0, 1e-6);
    // The raw slope of x0 is near the true 1.5 and that of x2 near 0.
    EXPECT_NEAR(model.coefficients[1] * model.scale[0], 1.5, 0.5);
    EXPECT_NEAR(model.coefficients[3] * model.scale[2], 0.0, 0.3);
}

TEST(logistic_model, cholesky_solves_and_rejects_indefinite_systems) {
    std::vector<double> b{1, 2, 3};
    ASSERT_TRUE(solve_symmetric({4, 2, 0, 2, 5, 1, 0, 1, 3}, b, 3));
    // 4x + 2y = 1, 2x + 5y + z = 2, y + 3z = 3.
    EXPECT_NEAR(4 * b[0] + 2 * b[1], 1, 1e-12);
    EXPECT_NEAR(2 * b[0] + 5 * b[1] + b[2], 2, 1e-12);
    EXPECT_NEAR(b[1] + 3 * b[2], 3, 1e-12);
    std::vector<double> c{1, 1};
    EXPECT_FALSE(solve_symmetric({1, 2, 2, 1}, c, 2));
}

TEST(learned_methods, output_does_not_depend_on_threads) {
    const network net = random_network(8, 120, 500);
    const auto listed = resolve_listed_pairs(
        [&] {
            pair_list names;
            for (const auto& p : interaction_list(net)) names.emplace_back(net.name(p.first), net.name(p.second));
            names.emplace_back("p3", "p77");
            return names;
        }(),
        net).listed;
    for (const char* method : {"learn", "auto"}) {
        const std::string proposed = test_support::score_to_text(net, nullptr, method, 2, 1);
        const std::string filtered = test_support::score_to_text(net, &listed, method, 2, 1);
        EXPECT_FALSE(proposed.empty());
        EXPECT_EQ(test_support::parse_output(filtered).size(), listed.pairs.size());
        for (const unsigned threads : {2u, 5u}) {
            EXPECT_EQ(test_support::score_to_text(net, nullptr, method, 2, threads), proposed) << method;
            EXPECT_EQ(test_support::score_to_text(net, &listed, method, 2, threads), filtered) << method;
        }
    }
}

// Proteins in groups of six whose pairs interact with probability 0.7, and as many random
// interactions again between groups: hidden pairs inside a group come back among the best
// candidates, so learn trains its second model, and there are far more candidates than the
// second model reorders.
network grouped_network(std::uint32_t seed, int groups) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution inside(0.7);
    pair_list pairs;
    for (int g = 0; g < groups; ++g) {
        for (int i = 0; i < 6; ++i) {
            for (int j = i + 1; j < 6; ++j) {
                if (inside(rng)) pairs.emplace_back(protein(6 * g + i), protein(6 * g + j));
            }
        }
    }
    const pair_list between = test_support::random_pairs(rng, {6 * groups, 6 * groups, 0, 0}, protein);
    pairs.insert(pairs.end(), between.begin(), between.end());
    return build_network(pairs).net;
}

// learn's records, best first, and the notes it made.
std::vector<score_record> learn_ranking(const network& net, unsigned threads, std::vector<std::string>& notes) {
    scoring_job job;
    job.net = &net;
    job.threads = threads;
    job.note = [&](const std::string& line) { notes.push_back(line); };
    std::vector<score_record> records;
    for (const auto& run : find_method("learn")->score(job)) records.insert(records.end(), run.begin(), run.end());
    std::sort(records.begin(), records.end());
    return records;
}

// Every candidate ranked by the first model alone, best first, and each candidate's counts.
std::vector<score_record> first_model_ranking(const network& net, const proposal_models& models,
                                              std::map<std::uint64_t, pair_counts>& counts) {
    std::vector<double> best = best_l3_per_protein(net, 1);
    log_best_l3(best);
    std::vector<score_record> records;
    visit_candidates(net, 1, [&](unsigned, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
        const double p = models.first.probability(proposal_features_of(c, best[u], best[v]));
        if (p > 0) records.push_back({descending_key(p), candidate_tie(u, v)});
        counts[candidate_tie(u, v)] = c;
    });
    std::sort(records.begin(), records.end());
    return records;
}

TEST(learned_methods, second_model_reorders_the_first_models_best_and_nothing_else) {
    const network net = grouped_network(21, 500);
    std::vector<std::string> notes;
    const std::vector<score_record> ranked = learn_ranking(net, 3, notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("a second model"), std::string::npos) << notes[0];

    const proposal_models models = train_for_proposing(net, 2);
    ASSERT_FALSE(models.second.coefficients.empty());
    std::map<std::uint64_t, pair_counts> counts;
    const std::vector<score_record> first = first_model_ranking(net, models, counts);
    ASSERT_EQ(ranked.size(), first.size());
    ASSERT_GT(first.size(), 5 * shortlist_size);

    // Beyond the shortlist: the first model's records, unchanged.
    for (std::size_t i = shortlist_size; i < first.size(); ++i) {
        ASSERT_EQ(ranked[i].key, first[i].key) << i;
        ASSERT_EQ(ranked[i].tie, first[i].tie) << i;
    }
    // The shortlist: the same pairs, above the last one's first score, in the second model's order.
    std::vector<double> best = best_l3_per_protein(net, 1);
    log_best_l3(best);
    const double floor = score_of(first[shortlist_size - 1]);
    std::vector<std::pair<double, std::uint64_t>> by_second;
    std::set<std::uint64_t> first_pairs, ranked_pairs;
    for (std::size_t i = 0; i < shortlist_size; ++i) {
        const std::uint64_t tie = first[i].tie;
        const auto u = std::uint32_t(tie >> 32), v = std::uint32_t(tie);
        by_second.emplace_back(-models.second.probability(proposal_features_of(counts[tie], best[u], best[v])), tie);
        first_pairs.insert(tie);
        ranked_pairs.insert(ranked[i].tie);
        EXPECT_GE(score_of(ranked[i]), floor);
    }
    EXPECT_EQ(ranked_pairs, first_pairs);
    std::sort(by_second.begin(), by_second.end());
    for (std::size_t i = 0; i < shortlist_size; ++i) ASSERT_EQ(ranked[i].tie, by_second[i].second) << i;

    const std::string proposed = test_support::score_to_text(net, nullptr, "learn", 2, 1);
    EXPECT_EQ(test_support::score_to_text(net, nullptr, "learn", 2, 3), proposed);
}

TEST(learned_methods, too_few_hidden_pairs_among_the_best_leave_the_first_model_alone) {
    const network net = random_network(31, 40, 60);
    std::vector<std::string> notes;
    const std::vector<score_record> ranked = learn_ranking(net, 2, notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("one model ranks every candidate"), std::string::npos) << notes[0];
    std::map<std::uint64_t, pair_counts> counts;
    const std::vector<score_record> first = first_model_ranking(net, train_for_proposing(net, 2), counts);
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(ranked.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(ranked[i].key, first[i].key) << i;
        EXPECT_EQ(ranked[i].tie, first[i].tie) << i;
    }
}

// Over 20,000 interactions a training round hides more than 2,000, so it visits a hashed sample
// of the rows rather than every row (here about 82% of them).
TEST(learned_methods, sampled_training_does_not_depend_on_threads) {
    const network net = test_support::random_network(9, {12000, 30000, 0, 0}, protein);
    const std::string proposed = test_support::score_to_text(net, nullptr, "learn", 2, 1);
    EXPECT_FALSE(proposed.empty());
    EXPECT_EQ(test_support::score_to_text(net, nullptr, "learn", 2, 3), proposed);
}

TEST(learned_methods, auto_says_what_it_chose_and_writes_exactly_that_methods_output) {
    test_support::scoped_temp_dir dir;
    const network net = random_network(21, 150, 700);
    std::string text;
    for (const auto& p : interaction_list(net)) {
        text += std::string(net.name(p.first)) + "\t" + std::string(net.name(p.second)) + "\n";
    }
    test_support::write_file("net.tsv", text);
    for (const std::string pairs : {"NULL", "net.tsv"}) {
        const auto chosen_run = test_support::run_vornel({"net.tsv", pairs, "auto", "2", "auto.tsv"});
        ASSERT_EQ(chosen_run.exit_code, 0) << chosen_run.err;
        const std::string marker = pairs == "NULL" ? ": proposing with " : ": filtering with ";
        const std::size_t at = chosen_run.err.find(marker);
        ASSERT_NE(at, std::string::npos) << chosen_run.err;
        const std::size_t start = at + marker.size();
        const std::string chosen = chosen_run.err.substr(start, chosen_run.err.find_first_of(":\n", start) - start);
        const std::set<std::string> candidates = pairs == "NULL"
                                                     ? std::set<std::string>{"l3", "l3n", "sim", "mps", "learn"}
                                                     : std::set<std::string>{"wcd", "learn"};
        EXPECT_TRUE(candidates.count(chosen)) << chosen;
        if (pairs == "NULL") {
            EXPECT_NE(
                chosen_run.err.find("auto: on 3 hold-outs of 10% of the network (every row), average precision: l3 "),
                std::string::npos)
                << chosen_run.err;
        }
        const auto direct = test_support::run_vornel({"net.tsv", pairs, chosen, "2", "direct.tsv"});
        ASSERT_EQ(direct.exit_code, 0);
        EXPECT_EQ(test_support::read_file("auto.tsv"), test_support::read_file("direct.tsv")) << chosen;
    }
}

TEST(learned_methods, plot_script_holds_one_curve_per_method) {
    const network net = random_network(22, 80, 300);
    evaluation_settings settings;
    settings.methods = {"l3", "learn"};
    settings.repeats = 1;
    settings.filter = false;
    settings.top_k = {50};
    const auto result = evaluate_methods(net, settings, [](const std::string&) {});
    const std::string script = precision_plot_script(result);
    // The image goes to gnuplot's standard output: no file name is ever part of the script.
    EXPECT_EQ(script.find("set output"), std::string::npos) << script;
    EXPECT_NE(script.find("title 'l3', '-' using 1:2 with linespoints title 'learn'\n"), std::string::npos);
    std::size_t curves = 0;
    for (std::size_t at = script.find("\ne\n"); at != std::string::npos; at = script.find("\ne\n", at + 1)) ++curves;
    EXPECT_EQ(curves, 2u);
    EXPECT_EQ(result.curve_k.back(), 50u);
    EXPECT_EQ(result.curve_k.front(), 1u);
}

}  // namespace
