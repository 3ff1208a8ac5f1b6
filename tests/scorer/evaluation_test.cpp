// The held-out evaluation: rank counting against a full sort, the figures worked out by hand,
// the draws, figures on generated networks whose answer is known, thread independence and the
// `vornel evaluate` command line.
#include "fixtures.hpp"
#include "ranking_oracle.hpp"
#include "test_support.hpp"

#include "scorer/cli/evaluate_command.hpp"
#include "scorer/evaluate/evaluation.hpp"
#include "scorer/evaluate/report.hpp"
#include "scorer/cli/method_registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <span>
#include <random>
#include <set>

namespace {

using namespace vornel;
using test_support::pair_list;

std::string name_of(int i) {
    std::string name = std::to_string(1000 + i);
    name.insert(name.begin(), 'P');
    return name;
}

// Disjoint cliques of `size` proteins: inside a clique every pair shares the others as
// partners, across cliques no pair shares any.
network cliques(int count, int size) {
    pair_list pairs;
    for (int c = 0; c < count; ++c) {
        for (int i = 0; i < size; ++i) {
            for (int j = i + 1; j < size; ++j) pairs.emplace_back(name_of(c * size + i), name_of(c * size + j));
        }
    }
    return build_network(pairs).net;
}

// Every fifth interaction has protein 0 as one end: a hub.
network random_network(std::uint32_t seed, int proteins, int interactions) {
    return test_support::random_network(seed, {proteins, interactions, 5, 0}, name_of);
}

TEST(evaluation, hidden_ranks_match_positions_in_the_fully_sorted_ranking) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> score(1, 6);  // few values: many ties, broken by the pair
    record_runs runs(3);
    std::vector<score_record> all;
    for (std::uint32_t u = 0; u < 40; ++u) {
        for (std::uint32_t v = u + 1; v < 40; ++v) {
            if ((u * 7 + v) % 3 == 0) continue;  // pairs without a record
            const score_record record{descending_key(score(rng)), candidate_tie(u, v)};
            runs[(u + v) % 3].push_back(record);
            all.push_back(record);
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<std::uint64_t> hidden, expected;
    for (std::uint32_t u = 0; u < 40; u += 3) {
        for (std::uint32_t v = u + 1; v < 40; v += 5) hidden.push_back(candidate_tie(u, v));
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (std::find(hidden.begin(), hidden.end(), all[i].tie) != hidden.end()) expected.push_back(i);
    }
    ASSERT_LT(expected.size(), hidden.size());  // some hidden pairs have no record
    EXPECT_EQ(hidden_ranks(runs, hidden), expected);
    EXPECT_TRUE(hidden_ranks(runs, {}).empty());
}

// Every method hands the same records to a consumer, in blocks of at most the asked size and
// from threads of the job, as it returns when it keeps them, whatever the thread count.
TEST(evaluation, drained_records_equal_kept_records_for_every_method) {
    const network net = random_network(21, 70, 260);
    listed_pairs listed;
    for (std::uint32_t u = 0; u < 30; ++u) listed.pairs.push_back({u, static_cast<std::uint32_t>((u * 7 + 3) % 70)});
    std::erase_if(listed.pairs, [](const pair_ids& p) { return p.first == p.second; });
    auto sorted = [](const std::vector<score_record>& records) {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> fields;
        for (const auto& r : records) fields.emplace_back(r.key, r.tie);
        std::sort(fields.begin(), fields.end());
        return fields;
    };
    for (const method_entry& method : all_methods()) {
        for (const listed_pairs* pairs : std::array<const listed_pairs*, 2>{nullptr, &listed}) {
            scoring_job job;
            job.net = &net;
            job.listed = pairs;
            job.rounds = 2;
            job.threads = 1;
            std::vector<score_record> kept;
            for (const auto& run : method.score(job)) kept.insert(kept.end(), run.begin(), run.end());
            ASSERT_FALSE(kept.empty()) << method.name;
            for (const unsigned threads : {1u, 2u, 3u}) {
                job.threads = threads;
                job.consume_block = 5;
                std::vector<std::vector<score_record>> drained(threads);
                std::atomic<bool> blocks_fit{true};  // the consumer runs on the scoring threads
                job.consume = [&](unsigned thread, std::span<const score_record> block) {
                    if (thread >= threads || block.empty() || block.size() > 5) blocks_fit = false;
                    if (thread < threads) drained[thread].insert(drained[thread].end(), block.begin(), block.end());
                };
                record_runs rest = method.score(job);
                for (const auto& run : rest) EXPECT_LE(run.size(), 5u) << method.name;
                hand_over_rest(rest);
                std::vector<score_record> all;
                for (const auto& part : drained) all.insert(all.end(), part.begin(), part.end());
                for (const auto& run : rest) all.insert(all.end(), run.begin(), run.end());
                EXPECT_TRUE(blocks_fit) << method.name;
                EXPECT_TRUE(sorted(all) == sorted(kept)) << method.name << (pairs ? " listed, " : " candidates, ")
                                                         << threads << " threads";
            }
        }
    }
}

// The figures counted from drained blocks against the plain computation on stored records. The
// best 12 records are kept, so most hidden pairs are ranked through the score histogram.
// Without ties every figure is the plain one. With ties, precision and recall at k are still
// exact (ties in pair order) and average precision, which places hidden pairs in the middle of
// their tie group, lies between the values for hidden pairs first and last in their groups.
// The figures do not depend on how the records are cut into blocks and threads.
TEST(evaluation, tally_matches_the_plain_computation_on_stored_records) {
    const std::vector<std::uint64_t> top{1, 5, 12};
    for (const bool with_ties : {false, true}) {
        std::mt19937 rng(with_ties ? 5 : 6);
        std::uniform_int_distribution<int> few(1, 6);
        std::vector<score_record> records;
        std::vector<std::uint64_t> hidden;
        int i = 0;
        for (std::uint32_t u = 0; u < 60; ++u) {
            for (std::uint32_t v = u + 1; v < 60; ++v, ++i) {
                if ((u * 7 + v) % 3 == 0) continue;  // pairs without a record
                // Distinct scores lie far more than a histogram bin apart.
                const double score = with_ties ? few(rng) : std::pow(1.001, double((i * 7919) % 1770));
                records.push_back({descending_key(score), candidate_tie(u, v)});
                if ((u + 2 * v) % 11 == 0) hidden.push_back(candidate_tie(u, v));
            }
        }
        const std::uint64_t hidden_count = hidden.size() + 3;  // three hidden pairs without a record
        const pair_set set(hidden);
        auto tally_in = [&](unsigned threads, std::size_t block) {
            proposal_tally tally(set, hidden_count, 12, threads);
            for (std::size_t start = 0, t = 0; start < records.size(); start += block, t = (t + 1) % threads) {
                const std::size_t size = std::min(block, records.size() - start);
                tally.take(static_cast<unsigned>(t), std::span<const score_record>(records).subspan(start, size));
            }
            tally.finish();
            return tally.figures(top);
        };
        // The plain computation, with ties in pair order and with hidden pairs first or last.
        auto plain = [&](int hidden_place) {
            record_runs runs(1);
            for (score_record record : records) {
                const bool is_hidden = std::find(hidden.begin(), hidden.end(), record.tie) != hidden.end();
                // A top bit on the pairs to go last in their group (ids here stay far below it).
                const std::uint64_t last = std::uint64_t{(hidden_place < 0) != is_hidden} << 63;
                if (hidden_place != 0) record.tie |= last;
                runs[0].push_back(record);
            }
            std::vector<std::uint64_t> marks = hidden;
            if (hidden_place != 0) {
                for (auto& mark : marks) mark |= std::uint64_t{hidden_place > 0} << 63;
            }
            return figures_from_ranks(hidden_ranks(runs, marks), hidden_count, top);
        };
        const proposal_figures counted = tally_in(1, records.size());
        const proposal_figures in_order = plain(0);
        EXPECT_EQ(counted.precision, in_order.precision);
        EXPECT_EQ(counted.recall, in_order.recall);
        if (with_ties) {
            EXPECT_LT(counted.average_precision, plain(-1).average_precision);
            EXPECT_GT(counted.average_precision, plain(1).average_precision);
        } else {
            EXPECT_NEAR(counted.average_precision, in_order.average_precision, 1e-12);
        }
        for (const auto& [threads, block] : {std::pair{2u, std::size_t{7}}, std::pair{3u, std::size_t{50}}}) {
            const proposal_figures other = tally_in(threads, block);
            EXPECT_EQ(other.precision, counted.precision);
            EXPECT_EQ(other.average_precision, counted.average_precision) << threads << " threads";
        }
    }
}

TEST(evaluation, figures_from_ranks_by_hand) {
    // Four hidden pairs, three ranked at positions 0, 2 and 5, one never ranked.
    const std::vector<std::uint64_t> ranks{0, 2, 5};
    const std::vector<std::uint64_t> top{1, 3, 10};
    const proposal_figures f = figures_from_ranks(ranks, 4, top);
    EXPECT_DOUBLE_EQ(f.precision[0], 1.0);
    EXPECT_DOUBLE_EQ(f.precision[1], 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(f.precision[2], 0.3);
    EXPECT_DOUBLE_EQ(f.recall[0], 0.25);
    EXPECT_DOUBLE_EQ(f.recall[1], 0.5);
    EXPECT_DOUBLE_EQ(f.recall[2], 0.75);
    EXPECT_DOUBLE_EQ(f.average_precision, (1.0 + 2.0 / 3.0 + 3.0 / 6.0) / 4.0);
}

TEST(evaluation, auc_and_lowest_share_count_ties_in_proportion) {
    const std::vector<double> real{1, 2}, planted{1, 0};
    EXPECT_DOUBLE_EQ(auc_with_ties(real, planted), 3.5 / 4.0);
    EXPECT_DOUBLE_EQ(auc_with_ties(planted, planted), 0.5);
    // Ten items, the lowest fifth is two: one zero (planted), then a tie group of four at 1 (two
    // planted) of which one item's worth is taken: (1 + 0.5) / 2.
    const std::vector<double> scores{0, 1, 1, 1, 1, 5, 5, 5, 5, 5};
    const std::vector<std::uint8_t> is_planted{1, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_DOUBLE_EQ(planted_share_among_lowest(scores, is_planted, 0.2), 0.75);
    const spread s = spread_of(std::vector<double>{1, 2, 3});
    EXPECT_DOUBLE_EQ(s.mean, 2.0);
    EXPECT_DOUBLE_EQ(s.sd, 1.0);
}

TEST(evaluation, hold_out_is_a_seeded_partition) {
    const network net = random_network(3, 60, 300);
    const auto all = interaction_list(net);
    ASSERT_EQ(all.size(), net.interaction_count());
    const hold_out a = split_interactions(all, 0.1, 42);
    const hold_out b = split_interactions(all, 0.1, 42);
    const hold_out c = split_interactions(all, 0.1, 43);
    EXPECT_EQ(a.hidden.size(), static_cast<std::size_t>(std::llround(0.1 * double(all.size()))));
    EXPECT_EQ(a.hidden.size() + a.kept.size(), all.size());
    std::set<std::uint64_t> seen;
    for (const auto& p : a.hidden) seen.insert(candidate_tie(p.first, p.second));
    for (const auto& p : a.kept) seen.insert(candidate_tie(p.first, p.second));
    EXPECT_EQ(seen.size(), all.size());
    auto ties = [](const std::vector<pair_ids>& pairs) {
        std::vector<std::uint64_t> t;
        for (const auto& p : pairs) t.push_back(candidate_tie(p.first, p.second));
        return t;
    };
    EXPECT_EQ(ties(a.hidden), ties(b.hidden));
    EXPECT_NE(ties(a.hidden), ties(c.hidden));
}

TEST(evaluation, kept_network_equals_one_built_from_names) {
    const network net = random_network(5, 50, 200);
    const hold_out split = split_interactions(interaction_list(net), 0.3, 1);
    const network kept = network_with_interactions(net, split.kept);
    pair_list names;
    for (const auto& p : split.kept) names.emplace_back(std::string(net.name(p.first)), std::string(net.name(p.second)));
    const network built = build_network(names).net;
    ASSERT_EQ(kept.protein_count(), net.protein_count());
    EXPECT_EQ(kept.interaction_count(), built.interaction_count());
    for (std::uint32_t u = 0; u < kept.protein_count(); ++u) {
        const auto id = built.find(kept.name(u));
        if (!id) {
            EXPECT_EQ(kept.degree(u), 0u);
            continue;
        }
        std::vector<std::string_view> ours, theirs;
        for (const auto v : kept.partners(u)) ours.push_back(kept.name(v));
        for (const auto v : built.partners(*id)) theirs.push_back(built.name(v));
        EXPECT_EQ(ours, theirs) << kept.name(u);
    }
}

TEST(evaluation, planted_pairs_are_new_distinct_and_follow_degree) {
    const network net = random_network(9, 300, 600);
    const auto all = interaction_list(net);
    const auto planted = plant_by_degree(net, all, 0.25, 11);
    EXPECT_EQ(planted.size(), static_cast<std::size_t>(std::llround(0.25 * double(all.size()))));
    std::set<std::uint64_t> seen;
    std::uint64_t hub_ends = 0;
    for (const auto& p : planted) {
        EXPECT_LT(p.first, p.second);
        EXPECT_FALSE(net.interacts(p.first, p.second));
        EXPECT_TRUE(net.degree(p.first) > 0 && net.degree(p.second) > 0);
        EXPECT_TRUE(seen.insert(candidate_tie(p.first, p.second)).second);
        hub_ends += (net.name(p.first) == name_of(0)) + (net.name(p.second) == name_of(0));
    }
    // Protein 0 is an end of a fifth of the interactions: its share of the planted ends is far
    // above the 1/300 of a uniform draw.
    EXPECT_GT(double(hub_ends) / double(2 * planted.size()), 0.03);
    // A complete network has nothing to plant: the draw gives up instead of looping.
    const network full = cliques(1, 6);
    EXPECT_TRUE(plant_by_degree(full, interaction_list(full), 0.25, 1).empty());
}

TEST(evaluation, cliques_are_recovered_perfectly_by_shared_partners) {
    const network net = cliques(12, 8);
    evaluation_settings settings;
    settings.methods = {"cn", "ra", "l3"};
    settings.repeats = 2;
    settings.top_k = {5, 20};
    settings.threads = 2;
    const evaluation_result result = evaluate_methods(net, settings, [](const std::string&) {});
    ASSERT_EQ(result.proposal.size(), 3u);
    EXPECT_EQ(result.hidden, static_cast<std::uint64_t>(std::llround(0.1 * 12 * 28)));
    const double n = 96;
    EXPECT_DOUBLE_EQ(result.random_precision, double(result.hidden) / (n * 95 / 2 - double(12 * 28 - result.hidden)));
    // Only pairs inside a clique share partners, and every such non-interacting pair is hidden.
    for (int m = 0; m < 2; ++m) {
        EXPECT_DOUBLE_EQ(result.proposal[m].average_precision.mean, 1.0) << result.proposal[m].method;
        EXPECT_DOUBLE_EQ(result.proposal[m].precision[1].mean, 1.0);
        EXPECT_DOUBLE_EQ(result.proposal[m].recall[1].mean, 20.0 / double(result.hidden));
    }
    // Real interactions share six partners, planted ones across cliques almost none.
    ASSERT_EQ(result.filtering.size(), 3u);
    EXPECT_GT(result.filtering[0].auc.mean, 0.95);
    EXPECT_GT(result.filtering[0].low_share.mean, 0.9);
    EXPECT_EQ(best_filter(result), "cn");
    const std::string report = evaluation_report(result, settings, "net.tsv");
    EXPECT_NE(report.find("| cn | 1.000 ± 0.000 |"), std::string::npos) << report;
    EXPECT_NE(report.find("Recommendation for proposing: cn"), std::string::npos);
    EXPECT_NE(report.find("    ppi-refine net.tsv 2 cn 269 cn 20 refined.tsv\n"), std::string::npos) << report;
}

TEST(evaluation, figures_do_not_depend_on_the_thread_count) {
    const network net = random_network(13, 150, 900);
    evaluation_settings settings;
    for (const method_entry& entry : all_methods()) {
        if (!entry.weighted) settings.methods.emplace_back(entry.name);
    }
    settings.repeats = 2;
    settings.seed = 99;
    std::string first;
    for (const unsigned threads : {1u, 2u, 5u}) {
        settings.threads = threads;
        const auto result = evaluate_methods(net, settings, [](const std::string&) {});
        const std::string report = evaluation_report(result, settings, "x") + precision_plot_script(result);
        if (first.empty()) {
            first = report;
        } else {
            EXPECT_EQ(report, first) << threads << " threads";
        }
    }
}

TEST(evaluation, command_line_is_checked_and_runs_end_to_end) {
    test_support::scoped_temp_dir dir;
    std::string text;
    const network net = cliques(6, 6);
    for (const auto& p : interaction_list(net)) {
        text += std::string(net.name(p.first)) + "\t" + std::string(net.name(p.second)) + "\n";
    }
    test_support::write_file("net.tsv", text);
    const auto run = test_support::run_vornel({"evaluate", "--methods", "cn,l3", "--repeats=2", "--top", "5,10",
                                               "-t", "2", "net.tsv"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("# Evaluation of net.tsv\n", 0), 0u);
    EXPECT_NE(run.out.find("| method | P@5 | P@10 | AP | R@5 | R@10 |"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n    ppi-refine net.tsv 2 "), std::string::npos);
    EXPECT_NE(run.err.find("vornel evaluate: "), std::string::npos);
    const auto half = test_support::run_vornel({"evaluate", "--methods", "cn", "--repeats=2", "--sample", "0.5",
                                                "net.tsv"});
    EXPECT_EQ(half.exit_code, 0) << half.err;
    EXPECT_NE(half.err.find("each repeat scores a hashed 50.0% of the rows"), std::string::npos) << half.err;
    EXPECT_NE(half.out.find("Sampled (--sample 0.5000)"), std::string::npos) << half.out;
    // One repeat has no spread: its sampling error is unknown, not zero.
    const auto once = test_support::run_vornel({"evaluate", "--methods", "cn", "--repeats=1", "--sample", "0.5",
                                                "net.tsv"});
    EXPECT_NE(once.out.find("With 1 repeat the sampling error cannot be measured"), std::string::npos) << once.out;
    EXPECT_NE(once.out.find("| unknown |"), std::string::npos) << once.out;
    EXPECT_EQ(once.out.find("± 0.0000"), std::string::npos) << once.out;

    const auto bad = test_support::run_vornel({"evaluate", "--methods", "cn,nope", "--hide", "1.5", "--repeats", "x",
                                               "--sample", "0", "--sample=1.01"});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_EQ(bad.out, "");
    for (const char* expected : {"unknown method 'nope'", "--hide '1.5'", "--repeats 'x'", "--sample '0'",
                                 "--sample '1.01'", "expected 1 argument",
                                 "Usage: vornel evaluate"}) {
        EXPECT_NE(bad.err.find(expected), std::string::npos) << expected << "\n" << bad.err;
    }
    const auto help = test_support::run_vornel({"evaluate", "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: vornel evaluate", 0), 0u);
    // Two interactions: nothing can be hidden and ranked back; neither figures nor advice.
    test_support::write_file("tiny.tsv", "A B\nB C\n");
    const auto tiny = test_support::run_vornel({"evaluate", "--methods", "l3,wcd", "tiny.tsv"});
    EXPECT_EQ(tiny.exit_code, 0) << tiny.err;
    EXPECT_NE(tiny.out.find("\nToo small to evaluate: 2 interactions leave none to hide (--hide 10%); no figures and "
                            "no recommendation.\n"), std::string::npos) << tiny.out;
    EXPECT_EQ(tiny.out.find("Recommendation"), std::string::npos) << tiny.out;
    EXPECT_EQ(tiny.out.find("ppi-refine"), std::string::npos) << tiny.out;
    const auto missing = test_support::run_vornel({"evaluate", "absent.tsv"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("vornel evaluate: "), std::string::npos);
}

// A sampled evaluation estimates the exact one: on the same hold-outs and planted pairs, every
// mean lies within its stated sampling error of the exact mean, and the report says
// what was sampled. (No hub: a hub of the first ids owns most of its pairs' row, and drawing
// that one row or not would swing the head of the ranking.)
TEST(evaluation, sampled_figures_lie_within_their_stated_error_of_the_exact_ones) {
    const network net = test_support::random_network(41, {500, 4000, 0, 0}, name_of);
    evaluation_settings settings;
    settings.methods = {"cn", "ra", "wcd", "l3"};
    settings.repeats = 6;
    settings.top_k = {100, 400};
    settings.threads = 2;
    const evaluation_result exact = evaluate_methods(net, settings, [](const std::string&) {});
    settings.row_share = 0.5;
    settings.listed_share = 0.5;
    const evaluation_result sampled = evaluate_methods(net, settings, [](const std::string&) {});
    // The stated error: the 95% half-width, Student's t for 5 degrees of freedom.
    const double stated = 2.571 / std::sqrt(double(settings.repeats));
    const auto expect_within = [&](const spread& estimate, const spread& truth, const std::string& what) {
        EXPECT_LE(std::abs(estimate.mean - truth.mean), stated * estimate.sd + 1e-9)
            << what << ": " << estimate.mean << " +- " << estimate.sd << " against " << truth.mean;
    };
    for (std::size_t m = 0; m < settings.methods.size(); ++m) {
        const std::string& method = settings.methods[m];
        expect_within(sampled.proposal[m].average_precision, exact.proposal[m].average_precision, method + " AP");
        for (std::size_t k = 0; k < settings.top_k.size(); ++k) {
            expect_within(sampled.proposal[m].precision[k], exact.proposal[m].precision[k], method + " P@k");
            expect_within(sampled.proposal[m].recall[k], exact.proposal[m].recall[k], method + " R@k");
        }
        expect_within(sampled.filtering[m].auc, exact.filtering[m].auc, method + " AUC");
    }
    EXPECT_GT(sampled.scored_pair_share, 0.4);
    EXPECT_LT(sampled.scored_pair_share, 0.6);
    EXPECT_GT(sampled.scored_listed, 0.4 * double(sampled.listed));
    EXPECT_LT(sampled.scored_listed, 0.6 * double(sampled.listed));
    EXPECT_EQ(sampled.hidden_in_all_rows, exact.hidden);
    EXPECT_EQ(best_proposer(sampled), best_proposer(exact));
    EXPECT_EQ(best_filter(sampled), best_filter(exact));
    const std::string report = evaluation_report(sampled, settings, "x");
    for (const char* expected : {"Sampled (--sample 0.5000): each repeat scored the rows of a hashed 50%",
                                 "| AP's sampling error |", "Sampled (--sample 0.5000): each repeat scored a hashed "
                                 "50% of the interactions and planted pairs", "| AUC's sampling error |"}) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
    }
    EXPECT_EQ(evaluation_report(exact, settings, "x").find("Sampled"), std::string::npos);
}

}  // namespace
