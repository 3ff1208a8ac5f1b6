// The process runner the other suites start programs with: what it captures, in which order,
// the environment it hands on, how an ending is reported, and that it leaves no files behind.
#include "process.hpp"
#include "temp_files.hpp"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

using test_support::run_options;
using test_support::run_program;

const std::string shell = "/bin/sh";

run_options merged() {
    run_options options;
    options.merge_streams = true;
    return options;
}

TEST(run_program, captures_each_stream_or_one_transcript_in_writing_order) {
    const auto separate = run_program(shell, {"-c", "echo one; echo two >&2; echo three; exit 3"});
    EXPECT_EQ(separate.exit_code, 3);
    EXPECT_EQ(separate.out, "one\nthree\n");
    EXPECT_EQ(separate.err, "two\n");
    const auto transcript = run_program(shell, {"-c", "echo one; echo two >&2; echo three"}, merged());
    EXPECT_EQ(transcript.exit_code, 0);
    EXPECT_EQ(transcript.out, "one\ntwo\nthree\n");
    EXPECT_EQ(transcript.err, "");
}

TEST(run_program, replaces_path_only_and_runs_the_child_hook_in_the_child) {
    ::setenv("RUN_PROGRAM_KEPT", "kept", 1);
    run_options options;
    options.path_variable = "/nowhere";
    options.in_child = [] {
        if (::chdir("/") != 0) ::_exit(125);
    };
    const auto run = run_program(shell, {"-c", "echo \"$PATH $RUN_PROGRAM_KEPT\"; pwd"}, options);
    ::unsetenv("RUN_PROGRAM_KEPT");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "/nowhere kept\n/\n");
    EXPECT_NE(std::filesystem::current_path(), "/");
}

TEST(run_program, reports_a_signal_as_minus_one_and_a_missing_program_as_127) {
    EXPECT_EQ(run_program(shell, {"-c", "kill -KILL $$"}).exit_code, -1);
    EXPECT_EQ(run_program("/nonexistent/program", {}).exit_code, 127);
}

TEST(run_program, into_a_broken_pipe_the_child_alone_meets_the_closed_end) {
    // Killed by SIGPIPE unless it ignores the signal; then its write fails and it goes on.
    EXPECT_EQ(test_support::run_program_into_broken_pipe(shell, {"-c", "echo lost; exit 4"}), -1);
    EXPECT_EQ(test_support::run_program_into_broken_pipe(shell, {"-c", "trap '' PIPE; echo lost; exit 4"}), 4);
}

TEST(run_program, leaves_no_file_in_the_temporary_or_working_directory) {
    test_support::scoped_temp_dir dir;
    std::filesystem::create_directory("tmp");
    const char* saved = ::getenv("TMPDIR");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("TMPDIR", (dir.path() / "tmp").c_str(), 1);
    const auto run = run_program(shell, {"-c", "echo out; echo err >&2"});
    const auto merged_run = run_program(shell, {"-c", "echo both"}, merged());
    previous ? ::setenv("TMPDIR", previous->c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(run.out + run.err + merged_run.out, "out\nerr\nboth\n");
    EXPECT_TRUE(std::filesystem::is_empty("tmp"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), 1);
}

} // namespace
