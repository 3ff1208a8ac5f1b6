// The scorer under unfriendly conditions: inputs named as outputs, a closed standard error,
// nohup, memory limits, restricted processors, and iteration counts far beyond convergence.
#include "fixtures.hpp"
#include "test_support.hpp"

#include "scorer/options.hpp"
#include "scorer/output.hpp"
#include "scorer/processors.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_vornel;
using test_support::scoped_temp_dir;
using test_support::write_file;

const std::string small_network = "A B\nA C\nA D\nB C\nC D\nD E\n";

std::size_t entries_in(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Used only by the memory-limit test, which the sanitizer builds leave out.
[[maybe_unused]] std::string listing(const fs::path& dir) {
    std::string names;
    for (const auto& entry : fs::directory_iterator(dir)) names += entry.path().filename().string() + " ";
    return names;
}

std::size_t count_lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A sparse random network of `proteins` proteins (fixed seed).
std::string random_network(int proteins, int lines) {
    return test_support::random_network_text(7, {proteins, lines, 0, 0});
}

TEST(strict_numbers, a_sign_may_not_follow_a_sign) {
    scoped_temp_dir dir;
    write_file("net.txt", small_network);
    for (const char* iterations : {"+-5", "++5", "+", "+ 5"}) {
        const auto result = run_vornel({"net.txt", "NULL", "wcd", iterations, "out.txt"});
        EXPECT_EQ(result.exit_code, 2) << iterations;
        EXPECT_NE(result.err.find("ITERATIONS '" + std::string(iterations) + "' is not an integer"), std::string::npos)
            << result.err;
        EXPECT_FALSE(fs::exists("out.txt"));
    }
    for (const char* iterations : {"-+5", "--5"}) {  // taken for options, and refused too
        EXPECT_EQ(run_vornel({"net.txt", "NULL", "wcd", iterations, "out.txt"}).exit_code, 2) << iterations;
    }
    EXPECT_EQ(run_vornel({"--threads", "+-2", "net.txt", "NULL", "cn", "1", "out.txt"}).exit_code, 2);
    EXPECT_EQ(run_vornel({"net.txt", "NULL", "wcd", "+5", "out.txt"}).exit_code, 0);
}

TEST(option_lookalikes, names_after_a_double_dash_are_files) {
    scoped_temp_dir dir;
    write_file("-net.txt", small_network);
    write_file("NULL", small_network);
    const auto result = run_vornel({"--", "-net.txt", "./NULL", "cn", "1", "-out.txt"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("vornel: pairs ./NULL: 6 pairs to score"), std::string::npos) << result.err;
    EXPECT_EQ(count_lines(read_file("-out.txt")), 5u);
}

TEST(output_is_no_input, an_output_naming_the_network_or_pair_list_is_refused) {
    scoped_temp_dir dir;
    write_file("net.txt", small_network);
    write_file("pairs.txt", "A E\nB D\n");
    fs::create_symlink("net.txt", "link.txt");
    fs::create_hard_link("pairs.txt", "hard.txt");
    const std::vector<std::vector<std::string>> runs = {
        {"net.txt", "NULL", "l3", "1", "net.txt"},
        {"net.txt", "NULL", "l3", "1", "./net.txt"},
        {"net.txt", "NULL", "l3", "1", "link.txt"},
        {"net.txt", "net.txt", "cn", "1", "net.txt"},
        {"net.txt", "pairs.txt", "cn", "1", "pairs.txt"},
        {"net.txt", "pairs.txt", "cn", "1", "hard.txt"},
        {"link.txt", "pairs.txt", "cn", "1", "../" + dir.path().filename().string() + "/net.txt"},
    };
    for (const auto& args : runs) {
        const auto result = run_vornel(args);
        EXPECT_EQ(result.exit_code, 1) << args[4];
        EXPECT_EQ(count_lines(result.err), 1u) << result.err;
        EXPECT_NE(result.err.find("is the same file as"), std::string::npos) << result.err;
    }
    EXPECT_EQ(read_file("net.txt"), small_network);
    EXPECT_EQ(read_file("pairs.txt"), "A E\nB D\n");
    EXPECT_EQ(entries_in("."), 4u);
}

TEST(closed_stderr, progress_lines_nobody_reads_do_not_stop_the_run) {
    scoped_temp_dir dir;
    write_file("net.txt", small_network);
    const auto result = run_vornel({"net.txt", "NULL", "l3", "1", "out.txt"}, [] {
        int ends[2];
        if (::pipe(ends) != 0) ::_exit(125);
        ::close(ends[0]);
        ::dup2(ends[1], STDERR_FILENO);
        std::signal(SIGPIPE, SIG_DFL);
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(count_lines(read_file("out.txt")), 4u);
    EXPECT_EQ(entries_in("."), 2u) << "a temporary file was left";
}

TEST(signals, an_ignored_hangup_or_interrupt_stays_ignored_while_writing) {
    scoped_temp_dir dir;
    struct sigaction saved[2] {};
    ::sigaction(SIGHUP, nullptr, &saved[0]);
    ::sigaction(SIGTERM, nullptr, &saved[1]);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGTERM, SIG_DFL);
    {
        vornel::output_file out("out.txt");
        ASSERT_EQ(out.error(), "");
        struct sigaction hup {}, term {};
        ::sigaction(SIGHUP, nullptr, &hup);
        ::sigaction(SIGTERM, nullptr, &term);
        EXPECT_EQ(hup.sa_handler, SIG_IGN);
        EXPECT_NE(term.sa_handler, SIG_DFL);  // clean-up armed where the signal would kill
    }
    ::sigaction(SIGHUP, &saved[0], nullptr);
    ::sigaction(SIGTERM, &saved[1], nullptr);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(memory_limit, running_out_gives_one_error_line_and_leaves_no_file) {
    scoped_temp_dir dir;
    write_file("net.txt", random_network(6000, 30000));
    for (const char* threads : {"16", "64", "1024"}) {
        write_file("out.txt", "earlier\n");
        const auto result = run_vornel({"--threads", threads, "net.txt", "NULL", "l3", "1", "out.txt"}, [] {
            const rlimit limit{std::size_t{1} << 30, std::size_t{1} << 30};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        if (result.exit_code == 0) continue;  // enough memory after all: nothing to check
        EXPECT_EQ(result.exit_code, 1) << threads << " threads:\n" << result.err;
        EXPECT_NE(result.err.find("vornel: out of memory"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.back(), '\n');
        EXPECT_TRUE(read_file("out.txt") == "earlier\n");
        EXPECT_EQ(entries_in("."), 2u) << "a temporary file was left: " << listing(".") << "\n" << result.err;
    }
}
#endif

TEST(threads, a_count_beyond_the_work_is_capped_and_said) {
    scoped_temp_dir dir;
    write_file("net.txt", small_network);
    const auto result = run_vornel({"--threads", "1024", "net.txt", "NULL", "l3", "1", "out.txt"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("vornel: 1024 threads requested; starting 1: 5 proteins give work for no more\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("on 1 thread\n"), std::string::npos) << result.err;
}

// Writes each file, making the directories it lies in.
void write_files(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, contents] : files) {
        fs::create_directories(fs::path(path).parent_path());
        write_file(path, contents);
    }
}

TEST(threads, cgroup_quotas_are_read_up_the_tree_and_the_smallest_wins) {
    scoped_temp_dir dir;
    write_files({{"v2/cpu.max", "max 100000\n"},
                 {"v2/job/cpu.max", "250000 100000\n"},
                 {"v2/job/step/cpu.max", "max 100000\n"}});
    const std::string root = (dir.path() / "v2").string();
    EXPECT_EQ(vornel::cgroup_cpu_limit("0::/job/step\n", root), 3u);
    EXPECT_EQ(vornel::cgroup_cpu_limit("0::/\n", root), std::nullopt);
    write_file("v2/job/step/cpu.max", "50000 100000\n");
    EXPECT_EQ(vornel::cgroup_cpu_limit("0::/job/step\n", root), 1u);

    write_files({{"v1/cpu,cpuacct/cpu.cfs_quota_us", "-1\n"},
                 {"v1/cpu,cpuacct/cpu.cfs_period_us", "100000\n"},
                 {"v1/cpu,cpuacct/box/cpu.cfs_quota_us", "200000\n"},
                 {"v1/cpu,cpuacct/box/cpu.cfs_period_us", "100000\n"}});
    const std::string v1 = (dir.path() / "v1").string();
    EXPECT_EQ(vornel::cgroup_cpu_limit("4:memory:/box\n3:cpu,cpuacct:/box\n0::/\n", v1), 2u);
    EXPECT_EQ(vornel::cgroup_cpu_limit("3:cpuacct:/box\n", v1), std::nullopt);
    EXPECT_GE(vornel::usable_processors(), 1u);
}

// Reads "<text><number>" from the progress lines; -1 when absent.
long long number_after(const std::string& err, const std::string& text) {
    const auto at = err.find(text);
    return at == std::string::npos ? -1 : std::stoll(err.substr(at + text.size()));
}

TEST(iterations, repeating_weights_skip_rounds_without_changing_the_result) {
    scoped_temp_dir dir;
    write_file("net.txt", random_network(1000, 4000));
    const auto far = run_vornel({"net.txt", "NULL", "wcd", "1000000000", "far.txt"});
    ASSERT_EQ(far.exit_code, 0) << far.err;
    const long long period = number_after(far.err, "weights repeat every ");
    const long long found_at = number_after(far.err, "rounds from round ");
    ASSERT_GT(period, 1) << far.err;
    ASSERT_GT(found_at, period) << far.err;
    // After round found_at - period the weights are on the cycle, and no run up to found_at
    // skips anything; runs a whole number of periods longer skip, and must agree with them.
    for (long long extra = 0; extra < 2; ++extra) {
        const long long plain_rounds = found_at - period + 1 + extra;
        const long long skipping_rounds = plain_rounds + 1000 * period;
        ASSERT_EQ(run_vornel({"net.txt", "NULL", "wcd", std::to_string(plain_rounds), "plain.txt"}).exit_code, 0);
        const auto skipping = run_vornel({"net.txt", "NULL", "wcd", std::to_string(skipping_rounds), "skip.txt"});
        ASSERT_EQ(skipping.exit_code, 0);
        EXPECT_NE(skipping.err.find("weights repeat every"), std::string::npos);
        EXPECT_EQ(read_file("plain.txt"), read_file("skip.txt")) << plain_rounds << " and " << skipping_rounds;
    }
    // 10^9 rounds differ from the last plain run by some rounds that are not a whole period.
    const long long same_phase = found_at - period + 1 + (1000000000LL - (found_at - period + 1)) % period;
    ASSERT_EQ(run_vornel({"net.txt", "NULL", "wcd", std::to_string(same_phase), "plain.txt"}).exit_code, 0);
    EXPECT_EQ(read_file("plain.txt"), read_file("far.txt"));
}

TEST(iterations, a_fixed_point_ends_the_rounds) {
    scoped_temp_dir dir;
    write_file("net.txt", "A B\nC D\n");  // every weight settles at once
    const auto result = run_vornel({"net.txt", "net.txt", "wcd", "1000000000", "out.txt"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("changed no weight"), std::string::npos) << result.err;
}

}  // namespace
