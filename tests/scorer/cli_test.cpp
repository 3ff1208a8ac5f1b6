// The built program: help, version, whole runs and every error exit.
#include "test_support.hpp"

#include "gzip_text.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using test_support::read_file;
using test_support::run_vornel;
using test_support::scoped_temp_dir;
using test_support::write_file;

// A-B, A-C, A-D, B-C, C-D, D-E with a comment, a self-pair, a repeat and CRLF line ends.
const std::string network_text = "# test network\r\nA B\r\nA\tC\r\nA D\r\nB C\r\nC D 0.7\r\nD E\r\nE E\r\nB A\r\n";

bool exists(const std::string& path) { return std::filesystem::exists(path); }

std::size_t count_lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(cli, help_and_version_go_to_stdout_and_succeed) {
    scoped_temp_dir dir;
    for (const char* flag : {"-h", "--help"}) {
        const auto result = run_vornel({flag});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.rfind("Usage: vornel", 0), 0u);
        for (const char* method : {"cn", "jaccard", "dice", "cd", "aa", "ra", "pcd", "wcd", "l3"}) {
            EXPECT_NE(result.out.find(std::string("\n  ") + method + " "), std::string::npos) << method;
        }
    }
    const auto version = run_vornel({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("vornel ", 0), 0u);
    EXPECT_EQ(count_lines(version.out), 1u);
}

TEST(cli, filter_run_scores_the_network_and_reports_on_stderr) {
    scoped_temp_dir dir;
    write_file("net.txt", network_text);
    const auto result = run_vornel({"net.txt", "net.txt", "jaccard", "10", "ppi.temp.txt"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file("ppi.temp.txt"), "A\tC\t0.5\nA\tB\t0.25\nB\tC\t0.25\nA\tD\t0.2\nC\tD\t0.2\n");
    EXPECT_NE(result.err.find("vornel: network net.txt: 5 proteins, 6 interactions (1 self-pairs dropped, "
                              "1 repeated pairs merged)"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("vornel: done: 5 proteins, 6 interactions, 6 pairs scored, 5 written"), std::string::npos)
        << result.err;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_TRUE(entry.path().filename() == "net.txt" || entry.path().filename() == "ppi.temp.txt")
            << "left behind: " << entry.path();
    }
}

TEST(cli, add_run_gives_the_same_file_for_any_thread_count) {
    scoped_temp_dir dir;
    write_file("net.txt", network_text);
    ASSERT_EQ(run_vornel({"--threads", "1", "net.txt", "NULL", "l3", "1", "one.txt"}).exit_code, 0);
    ASSERT_EQ(run_vornel({"net.txt", "NULL", "l3", "1", "--threads=3", "three.txt"}).exit_code, 0);
    // Not interacting and joined by a path of length three: B-D (B-C-A-D, B-A-C-D),
    // B-E (B-A-D-E, B-C-D-E), A-E (A-C-D-E) and C-E (C-A-D-E).
    EXPECT_EQ(count_lines(read_file("one.txt")), 4u);
    EXPECT_EQ(read_file("one.txt"), read_file("three.txt"));
}

TEST(cli, iterations_below_one_mean_one_round) {
    scoped_temp_dir dir;
    write_file("net.txt", network_text);
    const auto zero = run_vornel({"net.txt", "NULL", "wcd", "0", "zero.txt"});
    ASSERT_EQ(zero.exit_code, 0);
    EXPECT_NE(zero.err.find("ITERATIONS 0 is below 1: running one round"), std::string::npos) << zero.err;
    ASSERT_EQ(run_vornel({"net.txt", "NULL", "wcd", "1", "one.txt"}).exit_code, 0);
    ASSERT_EQ(run_vornel({"net.txt", "NULL", "wcd", "-4", "minus.txt"}).exit_code, 0);
    ASSERT_EQ(run_vornel({"net.txt", "NULL", "wcd", "2", "two.txt"}).exit_code, 0);
    EXPECT_EQ(read_file("zero.txt"), read_file("one.txt"));
    EXPECT_EQ(read_file("minus.txt"), read_file("one.txt"));
    EXPECT_NE(read_file("two.txt"), read_file("one.txt"));
}

struct error_case {
    std::vector<std::string> args;
    std::string expected;  // part of the single stderr line
};

TEST(cli, errors_give_one_line_naming_the_problem_and_leave_no_output) {
    scoped_temp_dir dir;
    write_file("net.txt", network_text);
    write_file("bad.txt", "A B\nC\n");
    const std::vector<error_case> cases = {
        {{"net.txt", "net.txt", "magic", "1", "out.txt"}, "unknown method 'magic'"},
        {{"net.txt", "net.txt", "cn", "abc", "out.txt"}, "ITERATIONS 'abc' is not an integer"},
        {{"net.txt", "net.txt", "cn", "1.5", "out.txt"}, "ITERATIONS '1.5' is not an integer"},
        {{"net.txt", "net.txt", "cn", "", "out.txt"}, "ITERATIONS '' is not an integer"},
        {{"net.txt", "net.txt", "cn", "99999999999999999999", "out.txt"}, "ITERATIONS '99999999999999999999'"},
        {{"missing.txt", "NULL", "cn", "1", "out.txt"}, "missing.txt: cannot read"},
        {{"net.txt", "missing.txt", "cn", "1", "out.txt"}, "missing.txt: cannot read"},
        {{"bad.txt", "NULL", "cn", "1", "out.txt"}, "bad.txt:2: expected two identifiers"},
        {{"net.txt", "NULL", "cn", "1", "nodir/out.txt"}, "nodir/out.txt: cannot create"},
        {{"--threads", "0", "net.txt", "NULL", "cn", "1", "out.txt"}, "--threads '0'"},
        {{"--frobnicate", "net.txt", "NULL", "cn", "1", "out.txt"}, "unknown option '--frobnicate'"},
        {{"net.txt", "NULL", "cn", "1", "out.txt", "extra"}, "first extra: 'extra'"},
    };
    for (const auto& c : cases) {
        const auto result = run_vornel(c.args);
        EXPECT_NE(result.exit_code, 0) << c.expected;
        EXPECT_EQ(count_lines(result.err), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("vornel: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
        EXPECT_FALSE(exists("out.txt")) << c.expected;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), 2)
            << "temporary file left by: " << c.expected;
    }
}

TEST(cli, a_gzip_network_scores_like_the_plain_file) {
    scoped_temp_dir dir;
    std::string text = network_text;
    for (int i = 0; i < 3000; ++i) {
        // Both columns of the same proteins: columns that share none are refused as misread.
        text.append("P").append(std::to_string(i % 211)).append("\vP").append(std::to_string(i * 7 % 307)).append("\n");
    }
    write_file("net.txt", text);
    const std::size_t half = text.size() / 2;
    write_file("net.txt.gz", test_support::gzip_member(text.substr(0, half)) + test_support::gzip_member(text.substr(half)));
    for (const char* method : {"jaccard", "l3"}) {
        ASSERT_EQ(run_vornel({"net.txt", "net.txt", method, "1", "plain.out"}).exit_code, 0);
        const auto packed = run_vornel({"net.txt.gz", "net.txt.gz", method, "1", "packed.out"});
        ASSERT_EQ(packed.exit_code, 0) << packed.err;
        EXPECT_NE(read_file("plain.out"), "");
        EXPECT_EQ(read_file("plain.out"), read_file("packed.out")) << method;
    }
}

TEST(cli, binary_or_damaged_input_gives_one_error_line_naming_file_and_line) {
    scoped_temp_dir dir;
    std::string text;
    for (int i = 0; i < 50000; ++i) {
        text.append("A").append(std::to_string(i % 1000)).append(" B").append(std::to_string(i % 777)).append("\n");
    }
    const std::string packed = test_support::gzip_member(text);
    write_file("cut.gz", packed.substr(0, packed.size() - 100));
    std::string scrambled = packed;
    for (std::size_t i = 500; i < 700; ++i) scrambled[i] = static_cast<char>(i * 13);
    write_file("bad.gz", scrambled);
    write_file("nul.txt", std::string("A B\nA C\n\0\0\0\n", 11));
    write_file("net.txt", network_text);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"cut.gz", "NULL", "cn", "1", "out.txt"}, "cut.gz: cannot read: line "},
        {{"bad.gz", "NULL", "cn", "1", "out.txt"}, "bad.gz: cannot read: line "},
        {{"nul.txt", "NULL", "cn", "1", "out.txt"}, "nul.txt: cannot read: line 3: binary content"},
        {{"net.txt", "nul.txt", "cn", "1", "out.txt"}, "nul.txt: cannot read: line 3: binary content"},
    };
    for (const auto& [args, expected] : cases) {
        const auto result = run_vornel(args);
        EXPECT_EQ(result.exit_code, 1) << expected;
        EXPECT_EQ(count_lines(result.err), 1u) << result.err;
        EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
        EXPECT_FALSE(exists("out.txt")) << expected;
    }
    EXPECT_NE(run_vornel(cases[0].first).err.find("truncated gzip stream"), std::string::npos);
    EXPECT_NE(run_vornel(cases[1].first).err.find("corrupt gzip stream"), std::string::npos);
}

TEST(cli, missing_arguments_show_the_usage_and_fail) {
    scoped_temp_dir dir;
    const auto result = run_vornel({"net.txt", "NULL", "cn"});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("expected 5 arguments"), std::string::npos);
    EXPECT_NE(result.err.find("Usage: vornel"), std::string::npos);
}

TEST(cli, a_failed_run_keeps_an_earlier_output_untouched) {
    scoped_temp_dir dir;
    write_file("out.txt", "earlier\n");
    const auto result = run_vornel({"missing.txt", "NULL", "cn", "1", "out.txt"});
    EXPECT_NE(result.exit_code, 0);
    EXPECT_EQ(read_file("out.txt"), "earlier\n");
}

}  // namespace

namespace {

// Scoring and evaluate read numbers and format options through the same parser: what one takes,
// the other takes; what one refuses, the other refuses in the same words.
TEST(cli, scoring_and_evaluate_share_one_grammar_of_numbers_and_formats) {
    scoped_temp_dir dir;
    write_file("net.txt", "A B\nA C\nA D\nB C\nC D\nD E\n");
    EXPECT_EQ(run_vornel({"--threads", "+2", "net.txt", "NULL", "cn", "+1", "out.txt"}).exit_code, 0);
    EXPECT_EQ(run_vornel({"evaluate", "--threads", "+2", "--repeats=+1", "--methods", "cn", "net.txt"}).exit_code, 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--threads", "+-2"}, "--threads '+-2' is not a whole number from 1 to 1024"},
        {{"--threads", "1025"}, "--threads '1025' is not a whole number from 1 to 1024"},
        {{"--taxon", "abc"}, "--taxon 'abc' is not an NCBI taxon id (digits)"},
        {{"--taxon="}, "--taxon '' is not an NCBI taxon id (digits)"},
        {{"--format", "stringdb"}, "--format 'stringdb' is not one of plain, string"},
        {{"--columns", "1"}, "--columns '1' is not A,B or A,B,W"},
        {{"--ids", "gene"}, "--ids 'gene' is not one of entrez"},
        {{"--min-weight", "inf"}, "--min-weight 'inf' is not a number"},
    };
    for (const auto& [options, expected] : refused) {
        std::vector<std::string> scoring = options, evaluating = {"evaluate"};
        for (const char* word : {"net.txt", "NULL", "cn", "1", "out.txt"}) scoring.emplace_back(word);
        evaluating.insert(evaluating.end(), options.begin(), options.end());
        evaluating.emplace_back("net.txt");
        for (const auto& args : {scoring, evaluating}) {
            const auto result = run_vornel(args);
            EXPECT_EQ(result.exit_code, 2) << expected;
            EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
        }
    }
}

}  // namespace

namespace {

// An argument that cannot work is refused before the network is read or scored: the error is
// the only line, with no progress before it.
TEST(cli, arguments_that_cannot_work_are_refused_before_any_work) {
    scoped_temp_dir dir;
    write_file("net.txt", "A B\nA C\nA D\nB C\nC D\nD E\n");
    std::filesystem::create_directory("folder");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"net.txt", "NULL", "cn", "1", "folder"}, "folder: is a directory; give a file name"},
        {{"--write-network", "folder", "net.txt"}, "folder: is a directory; give a file name"},
        {{"--names", "missing.map", "net.txt", "NULL", "cn", "1", "out.txt"}, "missing.map: cannot read"},
        {{"net.txt", "missing.txt", "cn", "1", "out.txt"}, "missing.txt: cannot read"},
        {{"--top", "5", "--write-network", "cut.tsv", "net.txt"}, "--top applies to OUTPUT, not to --write-network"},
        {{"--min-score", "0.5", "--write-network", "cut.tsv", "net.txt"}, "--min-score applies to OUTPUT"},
    };
    for (const auto& [args, expected] : cases) {
        const auto result = run_vornel(args);
        EXPECT_NE(result.exit_code, 0) << expected;
        EXPECT_EQ(count_lines(result.err), 1u) << result.err;
        EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
        EXPECT_TRUE(std::filesystem::is_directory("folder"));
        EXPECT_FALSE(exists("out.txt") || exists("cut.tsv")) << expected;
    }
}

}  // namespace
