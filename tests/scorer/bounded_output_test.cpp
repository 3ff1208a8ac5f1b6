// Bounded and encoded OUTPUT of the built program: --top and --min-score against the full
// output for every method, gzip output against the plain file, GraphML's escaping and refusals;
// and the record selection itself on records with many ties.
#include "test_support.hpp"

#include "scorer/cli/method_registry.hpp"
#include "scorer/cli/progress_meter.hpp"
#include "scorer/methods/record_selection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

using test_support::read_file;
using test_support::run_vornel;
using test_support::scoped_temp_dir;
using test_support::write_file;

// A weighted random network with a few hubs: 800 proteins (room for 3 threads), many tied
// scores for the counting methods.
std::string weighted_network_text() {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> any(0, 799);
    std::uniform_int_distribution<int> hub(0, 9);
    std::uniform_int_distribution<int> weight(1, 999);
    std::string text;
    for (int i = 0; i < 3200; ++i) {
        const int a = i % 4 == 0 ? hub(rng) : any(rng);
        // Appended piece by piece: g++ 12 warns, wrongly, about "P" + std::to_string(...).
        text.append("P").append(std::to_string(a)).append(" P").append(std::to_string(any(rng)));
        text.append(" 0.").append(std::to_string(weight(rng))).append("\n");
    }
    return text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end + 1 - at));
        at = end + 1;
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min(count, lines.size()); ++i) text += lines[i];
    return text;
}

// The score field of an output line, as written.
std::string score_text(const std::string& line) {
    return line.substr(line.rfind('\t') + 1, line.size() - line.rfind('\t') - 2);
}

std::string run_to_text(std::vector<std::string> args, const std::string& output) {
    args.push_back(output);
    const auto result = run_vornel(args);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return read_file(output);
}

std::string gunzip(const std::string& path) {
    std::FILE* pipe = ::popen(("gzip -dc '" + path + "'").c_str(), "r");
    std::string text;
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
    EXPECT_EQ(::pclose(pipe), 0) << path;
    return text;
}

// A cut inside a run of tied scores when there is one: the first line whose score equals the
// next line's, past the first tenth.
std::size_t cut_inside_ties(const std::vector<std::string>& lines) {
    for (std::size_t i = lines.size() / 10; i + 1 < lines.size(); ++i) {
        if (score_text(lines[i]) == score_text(lines[i + 1])) return i + 1;
    }
    return lines.size() / 2;
}

// For every method, proposing and scoring listed pairs, on 1 and 3 threads: --top K is the
// first K lines of the full output (K cutting through tied scores),
// --min-score S the lines scoring at least S (S a tied score, given as written), both together
// the first K of those.
TEST(bounded_output, top_and_min_score_are_the_full_output_cut_for_every_method) {
    scoped_temp_dir dir;
    write_file("net.txt", weighted_network_text());
    for (const vornel::method_entry& method : vornel::all_methods()) {
        for (const std::string pairs : {"NULL", "net.txt"}) {
            for (const std::string threads : {"1", "3"}) {
                const std::vector<std::string> common = {"-t", threads, "net.txt", pairs, std::string(method.name), "2"};
                const std::string where = std::string(method.name) + " " + pairs + " threads " + threads;
                const std::string full = run_to_text(common, "full.txt");
                const std::vector<std::string> lines = lines_of(full);
                ASSERT_GT(lines.size(), 20u) << where;
                const std::size_t k = cut_inside_ties(lines);
                auto with = [&](std::vector<std::string> options) {
                    options.insert(options.end(), common.begin(), common.end());
                    return options;
                };
                EXPECT_EQ(run_to_text(with({"--top", std::to_string(k)}), "top.txt"), joined(lines, k)) << where;
                const std::string s = score_text(lines[k]);
                std::size_t at_least = 0;
                while (at_least < lines.size() && std::stod(score_text(lines[at_least])) >= std::stod(s)) ++at_least;
                EXPECT_GT(at_least, k) << where;
                EXPECT_EQ(run_to_text(with({"--min-score", s}), "min.txt"), joined(lines, at_least)) << where;
                EXPECT_EQ(run_to_text(with({"--min-score=" + s, "--top=7"}), "both.txt"), joined(lines, 7)) << where;
            }
        }
    }
}

TEST(bounded_output, edge_values_and_what_the_log_says) {
    scoped_temp_dir dir;
    write_file("net.txt", weighted_network_text());
    const auto zero = run_vornel({"--top", "0", "net.txt", "NULL", "cn", "1", "none.txt"});
    ASSERT_EQ(zero.exit_code, 0) << zero.err;
    EXPECT_EQ(read_file("none.txt"), "");
    EXPECT_NE(zero.err.find("; 0 kept (the best 0); sorting and writing none.txt"), std::string::npos) << zero.err;
    const auto all = run_vornel({"--min-score", "-1", "net.txt", "NULL", "cn", "1", "all.txt"});
    ASSERT_EQ(all.exit_code, 0);
    EXPECT_EQ(read_file("all.txt"), run_to_text({"net.txt", "NULL", "cn", "1"}, "full.txt"));
    EXPECT_NE(all.err.find("kept (those scoring at least -1)"), std::string::npos) << all.err;
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--top", "-1"}, {"--top", "1.5"}, {"--top", ""}, {"--min-score", "nan"}, {"--min-score", "inf"},
             {"--min-score", "0.5x"}, {"--top"}}) {
        std::vector<std::string> args = bad;
        for (const char* arg : {"net.txt", "NULL", "cn", "1", "bad.txt"}) args.push_back(arg);
        const auto result = run_vornel(args);
        EXPECT_EQ(result.exit_code, 2) << bad[0];
        EXPECT_NE(result.err.find("vornel: " + bad[0]), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists("bad.txt"));
    }
}

// Several megabytes of text (many chunks compressed on several threads, one member): gzip
// gives back the plain file exactly, on 1 and 3 threads, with --top too; the file reads back as
// PAIRS like the plain one.
TEST(bounded_output, gzip_output_decompresses_to_the_plain_output) {
    scoped_temp_dir dir;
    write_file("net.txt", weighted_network_text());
    for (const std::string threads : {"1", "3"}) {
        const std::string plain = run_to_text({"-t", threads, "net.txt", "NULL", "l3", "1"}, "out.txt");
        ASSERT_GT(plain.size(), std::size_t{4} << 20);
        run_to_text({"-t", threads, "net.txt", "NULL", "l3", "1"}, "out.txt.GZ");
        const std::string packed = read_file("out.txt.GZ");
        EXPECT_LT(packed.size(), plain.size() / 2);
        EXPECT_EQ(packed.substr(0, 3), "\x1f\x8b\x08");
        EXPECT_EQ(gunzip("out.txt.GZ"), plain) << threads;
        run_to_text({"-t", threads, "--top", "10", "net.txt", "NULL", "l3", "1"}, "top.gz");
        EXPECT_EQ(gunzip("top.gz"), joined(lines_of(plain), 10));
    }
    run_to_text({"net.txt", "net.txt", "cn", "1"}, "own.gz");
    run_to_text({"net.txt", "net.txt", "cn", "1"}, "own.txt");
    EXPECT_EQ(run_to_text({"net.txt", "own.gz", "jaccard", "1"}, "again.txt"),
              run_to_text({"net.txt", "own.txt", "jaccard", "1"}, "plain.txt"));
    run_to_text({"--top", "0", "net.txt", "NULL", "cn", "1"}, "empty.gz");
    EXPECT_EQ(gunzip("empty.gz"), "");
}

TEST(bounded_output, graphml_escapes_identifiers_and_refuses_what_xml_cannot_hold) {
    scoped_temp_dir dir;
    write_file("net.txt", "a&b <c>\n<c> \"d'\nx y\n");
    const std::string text = run_to_text({"net.txt", "NULL", "cn", "1"}, "out.graphml");
    EXPECT_NE(text.find("<node id=\"a&amp;b\"><data key=\"name\">a&amp;b</data></node>"), std::string::npos) << text;
    EXPECT_NE(text.find("<edge source=\"&quot;d&apos;\" target=\"a&amp;b\"><data key=\"score\">1</data></edge>"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("<node id=\"x\""), std::string::npos) << "a protein in no written pair is no node";
    EXPECT_EQ(text.substr(text.size() - 22), "  </graph>\n</graphml>\n");
    write_file("bad.txt", "a\x01 b\nb c\n\xff c\n");
    for (const char* output : {"bad.graphml", "bad.graphml.gz"}) {
        const auto result = run_vornel({"bad.txt", "NULL", "cn", "1", output});
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_NE(result.err.find(std::string(output) + ": cannot write GraphML: identifier"), std::string::npos)
            << result.err;
        EXPECT_FALSE(std::filesystem::exists(output));
    }
    // Readable names have no column in GraphML: refused before any work, not silently dropped.
    write_file("names.txt", "a&b first\n");
    const auto named = run_vornel({"--names", "names.txt", "net.txt", "NULL", "cn", "1", "named.graphml"});
    EXPECT_EQ(named.exit_code, 1);
    EXPECT_NE(named.err.find("--names adds a column to a tab-separated OUTPUT"), std::string::npos) << named.err;
    EXPECT_FALSE(std::filesystem::exists("named.graphml"));
}

// The selection against a plain sort, on records with few distinct scores cut into uneven
// blocks from several threads.
TEST(record_selection, keeps_what_a_full_sort_keeps_whatever_the_blocks) {
    std::mt19937_64 rng(5);
    std::vector<vornel::score_record> records;
    for (std::uint64_t i = 0; i < 50000; ++i) {
        records.push_back({vornel::descending_key(double(1 + rng() % 40) / 8), rng() % 1000000});
    }
    std::vector<vornel::score_record> sorted = records;
    std::sort(sorted.begin(), sorted.end());
    for (const auto& bound : {vornel::record_bound{1, {}}, vornel::record_bound{2500, {}}, vornel::record_bound{60000, {}},
                              vornel::record_bound{{}, 3.0}, vornel::record_bound{100, 4.5}, vornel::record_bound{0, {}}}) {
        vornel::record_selection selection(bound, 3);
        for (std::size_t at = 0, block = 0; at < records.size(); at += block) {
            block = std::min<std::size_t>(records.size() - at, 1 + rng() % 3000);
            selection.take(static_cast<unsigned>(rng() % 3), {records.data() + at, block});
        }
        EXPECT_EQ(selection.seen(), records.size());
        std::vector<vornel::score_record> kept;
        for (const auto& run : selection.release()) kept.insert(kept.end(), run.begin(), run.end());
        std::sort(kept.begin(), kept.end());
        std::vector<vornel::score_record> expected;
        for (const auto& record : sorted) {
            if (bound.min_score && vornel::score_of(record) < *bound.min_score) continue;
            if (bound.top && expected.size() == *bound.top) break;
            expected.push_back(record);
        }
        ASSERT_EQ(kept.size(), expected.size());
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), expected.begin(), [](const auto& x, const auto& y) {
            return x.key == y.key && x.tie == y.tie;
        }));
    }
}

}  // namespace

namespace {

TEST(progress_meter, says_the_share_done_and_the_time_left_and_nothing_for_short_steps) {
    using vornel::progress_meter;
    EXPECT_EQ(progress_meter::describe("scoring with l3", 25, 100, 30, false),
              "vornel: scoring with l3: 25% after 30 s, about 90 s left");
    EXPECT_EQ(progress_meter::describe("scoring with l3", 0, 0, 6, false), "vornel: scoring with l3: 0% after 6 s");
    EXPECT_EQ(progress_meter::describe("w", 3, 2, 200, true),
              "vornel: w: [##############################] 100% after 3m20s, about 0 s left");
    EXPECT_EQ(progress_meter::describe("w", 1, 2, 2, true).substr(0, 43), "vornel: w: [###############...............]");
    std::FILE* log = std::tmpfile();
    {
        vornel::work_progress progress;
        const progress_meter meter(log, "short", progress);
        progress.total = 10;
        progress.done = 10;
    }
    EXPECT_EQ(std::ftell(log), 0L);
    std::fclose(log);
}

}  // namespace
