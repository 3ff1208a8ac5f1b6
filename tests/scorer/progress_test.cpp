// The progress of reading a file and of the runs of `vornel evaluate`.
#include "test_support.hpp"

#include "io/line_reader.hpp"
#include "scorer/cli/evaluation_progress.hpp"
#include "scorer/cli/progress_meter.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using vornel::evaluation_progress;

std::string log_text(std::FILE* log) {
    std::string text;
    std::rewind(log);
    for (int c = std::fgetc(log); c != EOF; c = std::fgetc(log)) text += char(c);
    return text;
}

TEST(evaluation_progress, counts_runs_and_foretells_the_rest_from_earlier_repeats) {
    // Two methods, two repeats, both evaluations: 8 runs. Nothing is foretold before a run ends.
    evaluation_progress p(2, 2, 2);
    p.note("proposal repeat 1/2: l3", 0);
    EXPECT_FALSE(p.seconds_left(1).has_value());
    EXPECT_EQ(p.describe(1, false), "run 1 of 8, 0%");
    p.note("proposal repeat 1/2: learn", 10);
    // learn has no time yet: it is expected to take what l3 took; so is every later run.
    EXPECT_DOUBLE_EQ(*p.seconds_left(10), 10 + 6 * 10);
    p.note("proposal repeat 2/2: l3", 40);
    // l3 10 s, learn 30 s: the running l3 has 4 s to go, then learn and both filtering runs.
    EXPECT_DOUBLE_EQ(*p.seconds_left(46), 4 + 30 + 2 * (10 + 30));
    EXPECT_EQ(p.current_line(), "proposal repeat 2/2: l3");
    p.note("proposal repeat 2/2: learn", 52);
    // A run past its expected time counts as about to end; l3's time is now the mean 11 s.
    EXPECT_DOUBLE_EQ(*p.seconds_left(90), 0 + 2 * (11 + 30));
    p.note("filtering repeat 1/2: l3", 90);
    p.note("filtering repeat 1/2: learn", 91);
    // Filtering's own times replace proposing's once measured: l3 1 s there.
    EXPECT_DOUBLE_EQ(*p.seconds_left(91), 34 + 1 + 34);
    EXPECT_EQ(p.describe(91, false), "run 6 of 8, 56%, about 69 s left");
    EXPECT_EQ(p.describe(91, true).substr(0, 19), "[" + std::string(17, '#') + ".");
}

TEST(evaluation_progress, ignores_other_lines_and_phases_beyond_the_announced) {
    evaluation_progress p(1, 1, 1);
    p.note("reading the network", 0);
    EXPECT_EQ(p.current_line(), "");
    EXPECT_EQ(p.describe(0, false), "run 0 of 1, 0%");
    p.note("proposal repeat x/1: l3", 0);
    p.note("proposal repeat 1/: l3", 0);
    EXPECT_EQ(p.current_line(), "");
    p.note("proposal repeat 1/1: l3", 1);
    p.note("filtering repeat 1/1: l3", 3); // not announced: not counted, but ends the l3 run
    p.note("done", 3);
    EXPECT_DOUBLE_EQ(*p.seconds_left(3), 0);
    EXPECT_EQ(p.describe(3, false), "run 1 of 1, 100%, about 0 s left");
}

TEST(evaluation_progress, each_run_line_of_evaluate_says_how_far_the_evaluation_is) {
    test_support::scoped_temp_dir dir;
    test_support::write_file("net.txt", "A B\nA C\nA D\nB C\nC D\nD E\nE F\nB F\n");
    const auto result = test_support::run_vornel({"evaluate", "--repeats", "2", "--methods", "cn,l3", "net.txt"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find(": proposal repeat 1/2: cn (run 1 of 8, 0%)\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(": proposal repeat 1/2: l3 (run 2 of 8, "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(": filtering repeat 2/2: l3 (run 8 of 8, "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(" left)\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(" s: done\n"), std::string::npos) << result.err;
}

TEST(reading_meter, logs_lines_while_a_file_is_read_and_nothing_for_a_device) {
    const auto dir = std::filesystem::temp_directory_path() / "vornel_reading_meter_test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "net.txt").string();
    {
        std::ofstream out(path);
        for (int i = 0; i < 400000; ++i) out << "P" << i << "\tQ" << i % 977 << "\n"; // several blocks
    }
    std::FILE* log = std::tmpfile();
    {
        const vornel::reading_meter meter(log, path, {0.01, 0.02});
        ppi::io::line_reader lines(path);
        ASSERT_TRUE(lines.error().empty());
        std::string_view line;
        for (int i = 0; lines.next_line(line); ++i) {
            // Slowed down, so the meter sees the reading part of the way through.
            if (i % 100000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }
    const std::string text = log_text(log);
    EXPECT_NE(text.find("vornel: reading " + path + ": "), std::string::npos) << text;
    // Some line between the first block and the last: the file's position was counted.
    bool part_way = false;
    for (std::size_t at = text.find("% after"); at != std::string::npos; at = text.find("% after", at + 1)) {
        const std::size_t start = text.rfind(' ', at) + 1;
        const int percent = std::stoi(text.substr(start, at - start));
        part_way = part_way || (percent > 0 && percent < 100);
    }
    EXPECT_TRUE(part_way) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos); // lines, not a bar: the log is no terminal
    std::FILE* quiet = std::tmpfile();
    {
        const vornel::reading_meter meter(quiet, "/dev/null", {0.001, 0.001});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(log_text(quiet), "");
    std::fclose(log);
    std::fclose(quiet);
    std::filesystem::remove_all(dir);
}

} // namespace
