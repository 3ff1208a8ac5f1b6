// `vornel evaluate` on the inputs a careless run gives it: weighted methods measured with their
// weights, reading options that ppi-refine cannot pass on, plot names that are no plain file
// names or point at an input or the report, and networks too small or left empty.
#include "test_support.hpp"

#include "scorer/evaluate/evaluation.hpp"
#include "scorer/output/gnuplot_png.hpp"
#include "scorer/learn/learn.hpp"
#include "scorer/cli/method_registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace {

using namespace vornel;
using test_support::read_file;
using test_support::run_vornel;
using test_support::write_file;

// "P<number>", appended piecewise (g++ 12 warns falsely of overlapping copies otherwise).
void add_name(std::string& text, int number, char after) {
    text += 'P';
    text += std::to_string(number);
    text += after;
}

// Cliques of 8 whose inner pairs weigh 0.9, joined by many random light pairs (0.05): the
// weights tell real structure from noise, the topology alone less well.
std::string weighted_lines(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> any(0, 159);
    std::string text;
    for (int c = 0; c < 20; ++c) {
        for (int i = 0; i < 8; ++i) {
            for (int j = i + 1; j < 8; ++j) {
                if (rng() % 4 == 0) continue;
                add_name(text, c * 8 + i, '\t');
                add_name(text, c * 8 + j, '\t');
                text += "0.9\n";
            }
        }
    }
    for (int i = 0; i < 300; ++i) {
        add_name(text, any(rng), '\t');
        add_name(text, any(rng), '\t');
        text += "0.05\n";
    }
    return text;
}

network read_weighted(const std::string& text) {
    write_file("weighted.tsv", text);
    network_result read = read_network("weighted.tsv", {}, true);
    EXPECT_TRUE(read.error.empty()) << read.error;
    return std::move(read.net);
}

TEST(evaluate_safety, weighted_methods_are_measured_with_the_weights) {
    test_support::scoped_temp_dir dir;
    const network net = read_weighted(weighted_lines(3));
    ASSERT_TRUE(net.weighted());
    // The kept and noisy networks carry the weights: an interaction keeps its own, a planted
    // pair weighs what some interaction weighs.
    const auto all = interaction_list(net);
    const hold_out split = split_interactions(all, 0.3, 5);
    const network kept = network_with_interactions(net, split.kept, weights_of_pairs(net, split.kept, 0));
    ASSERT_TRUE(kept.weighted());
    for (const auto& p : split.kept) {
        const auto row = kept.partners(p.first);
        const auto slot = kept.row_starts[p.first] + std::uint64_t(std::lower_bound(row.begin(), row.end(), p.second) - row.begin());
        const auto own = net.partners(p.first);
        const auto own_slot = net.row_starts[p.first] + std::uint64_t(std::lower_bound(own.begin(), own.end(), p.second) - own.begin());
        ASSERT_EQ(kept.weights[slot], net.weights[own_slot]);
    }
    const auto planted = plant_by_degree(net, all, 0.25, 7);
    for (const double w : weights_of_pairs(net, planted, 11)) EXPECT_TRUE(w == 0.9 || w == 0.05) << w;

    evaluation_settings settings;
    settings.methods = {"cn", "cn-w", "l3", "l3-w"};
    settings.repeats = 2;
    settings.threads = 2;
    const evaluation_result weighted = evaluate_methods(net, settings, [](const std::string&) {});
    EXPECT_TRUE(weighted.weighted);
    for (const std::size_t m : {0u, 2u}) {
        EXPECT_NE(weighted.proposal[m].average_precision.mean, weighted.proposal[m + 1].average_precision.mean)
            << settings.methods[m];
        EXPECT_LT(weighted.filtering[m].auc.mean, weighted.filtering[m + 1].auc.mean) << settings.methods[m];
    }
    // Without weights the weighted forms weigh every interaction 1: the same figures.
    const network plain = network_with_interactions(net, all);
    ASSERT_FALSE(plain.weighted());
    const evaluation_result unweighted = evaluate_methods(plain, settings, [](const std::string&) {});
    for (const std::size_t m : {0u, 2u}) {
        EXPECT_EQ(unweighted.proposal[m].average_precision.mean, unweighted.proposal[m + 1].average_precision.mean);
        EXPECT_EQ(unweighted.filtering[m].auc.mean, unweighted.filtering[m + 1].auc.mean);
    }

    const auto run = run_vornel({"evaluate", "--methods", "cn,cn-w", "--repeats", "2", "weighted.tsv"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Recommendation for filtering: cn-w (highest AUC).\n"), std::string::npos) << run.out;
    write_file("unweighted.tsv", "A B\nB C\nC D\nD A\nA C\nB D\nD E\nE F\nF D\nE G\nG F\n");
    const auto note = run_vornel({"evaluate", "--methods", "cn-w", "--repeats", "1", "unweighted.tsv"});
    EXPECT_NE(note.err.find("has no weights"), std::string::npos) << note.err;
}

TEST(evaluate_safety, reading_options_lead_to_a_plain_cut_that_ppi_refine_refines) {
    test_support::scoped_temp_dir dir;
    // Column 1 and 2 are ids of another network than the genes of columns 3 and 4.
    std::string text = "id_a\tid_b\tgene_x\tgene_y\n";
    for (int c = 0; c < 12; ++c) {
        for (int i = 0; i < 6; ++i) {
            for (int j = i + 1; j < 6; ++j) {
                add_name(text, 1000 + c * 100 + i * 10 + j, '\t');
                add_name(text, 5000 + c, '\t');
                add_name(text, c * 6 + i, '\t');
                add_name(text, c * 6 + j, '\n');
            }
        }
    }
    write_file("genes.tsv", text);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--columns", "gene_x,gene_y"}, std::vector<std::string>{"--taxon", "0", "--columns", "3,4"},
          std::vector<std::string>{"--format", "plain", "--columns", "3,4"}}) {
        std::vector<std::string> args{"evaluate", "--methods", "cn", "--repeats", "1"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("genes.tsv");
        const auto run = run_vornel(args);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_NE(run.out.find("72 proteins, 180 interactions"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Recommendation for proposing: cn"), std::string::npos) << run.out;
        // The advice cuts the network as read into a plain list, then refines that list.
        std::string cut_line = "    vornel --write-network genes.plain.tsv";
        for (const auto& word : options) cut_line += " " + word;
        ASSERT_NE(run.out.find("\n" + cut_line + " genes.tsv\n    ppi-refine genes.plain.tsv 2 "), std::string::npos)
            << run.out;
        std::vector<std::string> cut{"--write-network", "genes.plain.tsv"};
        cut.insert(cut.end(), options.begin(), options.end());
        cut.push_back("genes.tsv");
        ASSERT_EQ(run_vornel(cut).exit_code, 0);
        const std::string plain = read_file("genes.plain.tsv");
        EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 180);
        EXPECT_EQ(plain.rfind("P0\tP1\n", 0), 0u) << plain.substr(0, 40);
        std::filesystem::remove("genes.plain.tsv");
    }
}

TEST(evaluate_safety, networks_left_empty_are_an_error_line) {
    test_support::scoped_temp_dir dir;
    write_file("links.txt", "protein1 protein2 combined_score\n9606.A 9606.B 900\n9606.B 9606.C 800\n");
    write_file("empty.tsv", "# no interactions\n\n");
    for (const bool evaluate : {true, false}) {
        for (const std::vector<std::string>& input :
             {std::vector<std::string>{"--taxon", "10090", "links.txt"}, std::vector<std::string>{"empty.tsv"}}) {
            std::vector<std::string> args;
            if (evaluate) args.push_back("evaluate");
            args.insert(args.end(), input.begin(), input.end());
            if (!evaluate) args.insert(args.end(), {"NULL", "cn", "1", "out.tsv"});
            const auto run = run_vornel(args);
            EXPECT_EQ(run.exit_code, 1) << run.err;
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err.find(input.back() + ": no interactions in the network"), std::string::npos) << run.err;
            if (input.size() > 1) {
                EXPECT_NE(run.err.find("(rows skipped: 2 of another taxon)"), std::string::npos) << run.err;
            }
            EXPECT_FALSE(std::filesystem::exists("out.tsv"));
        }
    }
    // One interaction: no figures, no advice (a filtering count of 1 would read as "score >= 1").
    write_file("one.tsv", "A B\n");
    const auto one = run_vornel({"evaluate", "--filter-only", "--methods", "wcd", "one.tsv"});
    EXPECT_EQ(one.exit_code, 0) << one.err;
    EXPECT_NE(one.out.find("Too small to evaluate: 1 interaction leaves no pair to plant"), std::string::npos) << one.out;
    EXPECT_EQ(one.out.find("wcd 1"), std::string::npos) << one.out;
    EXPECT_EQ(one.out.find("| method"), std::string::npos) << one.out;
}

TEST(evaluate_safety, bad_plot_files_are_refused_before_any_work) {
    test_support::scoped_temp_dir dir;
    write_file("net.tsv", weighted_lines(4));
    const std::string network_before = read_file("net.tsv");
    // --filter-only skips the figures the plot draws: a usage error, no evaluation.
    const auto filter_only = run_vornel({"evaluate", "--filter-only", "--plot", "p.png", "net.tsv"});
    EXPECT_EQ(filter_only.exit_code, 2);
    EXPECT_EQ(filter_only.out, "");
    EXPECT_EQ(filter_only.err.find("repeat"), std::string::npos) << filter_only.err;
    struct refused {
        std::string plot;
        std::string message;
    };
    std::filesystem::create_directory("plots");
    std::filesystem::create_hard_link("net.tsv", "same.tsv");
    for (const auto& [plot, message] : std::vector<refused>{
             {"net.tsv", "--plot 'net.tsv' is the same file as NETWORK; refusing to replace it"},
             {"./same.tsv", "is the same file as NETWORK"},
             {"plots", "--plot 'plots' is a directory"},
             {"missing/p.png", "--plot missing/p.png: cannot create a file in its directory: No such file or directory"}}) {
        const auto run = run_vornel({"evaluate", "--methods", "cn", "--plot", plot, "net.tsv"});
        EXPECT_EQ(run.exit_code, 1) << plot;
        EXPECT_EQ(run.out, "") << plot;  // no report, and no image in it
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("repeat"), std::string::npos) << run.err;
    }
    EXPECT_EQ(read_file("net.tsv"), network_before);
    // Standard output is the report: the plot may not go there either.
    const auto onto_report = run_vornel({"evaluate", "--methods", "cn", "--plot", "/dev/stdout", "net.tsv"},
                                        [] {});
    EXPECT_EQ(onto_report.exit_code, 1);
    EXPECT_NE(onto_report.err.find("is the report's own standard output"), std::string::npos) << onto_report.err;
}

TEST(evaluate_safety, plot_file_name_is_data_never_a_command) {
    if (!gnuplot_on_path()) GTEST_SKIP() << "gnuplot is not installed";
    test_support::scoped_temp_dir dir;
    write_file("net.tsv", weighted_lines(5));
    // Quotes, a newline and gnuplot commands in the name: one file of exactly that name.
    const std::string name = "it's\nset output 'evil.png'\nsystem(\"touch pwned\")\n.png";
    const auto run = run_vornel({"evaluate", "--methods", "cn,l3", "--repeats", "1", "--plot", name, "net.tsv"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(std::filesystem::exists("evil.png"));
    ASSERT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(read_file(name).substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(run.out.find("PNG"), std::string::npos);
    // The log names the file on one line.
    EXPECT_NE(run.err.find("plot written to it's\\nset output 'evil.png'\\nsystem(\"touch pwned\")\\n.png\n"),
              std::string::npos) << run.err;
    std::size_t temporaries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        temporaries += entry.path().filename().string().find(".vornel-") != std::string::npos;
    }
    EXPECT_EQ(temporaries, 0u);
}

// A set cancellation flag stops every long step of learn and auto: the draws of planted
// pairs, learn's training in both modes, and the evaluations auto runs.
TEST(evaluate_safety, cancelled_learn_and_auto_stop) {
    test_support::scoped_temp_dir dir;
    const network net = read_weighted(weighted_lines(6));
    const auto all = interaction_list(net);
    std::atomic<bool> cancel{true};
    EXPECT_THROW(plant_by_degree(net, all, 1.0, 3, &cancel), scoring_cancelled);
    EXPECT_THROW(train_for_proposing(net, 2, &cancel), scoring_cancelled);
    listed_pairs listed;
    listed.pairs.assign(all.begin(), all.end());
    for (const char* method : {"learn", "auto"}) {
        for (const listed_pairs* pairs : {static_cast<const listed_pairs*>(nullptr), static_cast<const listed_pairs*>(&listed)}) {
            scoring_job job;
            job.net = &net;
            job.listed = pairs;
            job.threads = 2;
            job.cancel = &cancel;
            EXPECT_THROW(find_method(method)->score(job), scoring_cancelled) << method;
        }
    }
    evaluation_settings settings;
    settings.methods = {"cn"};
    settings.propose = false;
    settings.cancel = &cancel;
    EXPECT_THROW(evaluate_methods(net, settings, [](const std::string&) {}), scoring_cancelled);
    cancel = false;
    const auto with_flag = plant_by_degree(net, all, 0.25, 3, &cancel);
    const auto without = plant_by_degree(net, all, 0.25, 3);
    ASSERT_EQ(with_flag.size(), without.size());
    for (std::size_t i = 0; i < without.size(); ++i) {
        EXPECT_EQ(candidate_tie(with_flag[i].first, with_flag[i].second), candidate_tie(without[i].first, without[i].second));
    }
}

}  // namespace
