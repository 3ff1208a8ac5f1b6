// Sorting and writing records: order, number form, merging of runs, atomic replacement.
#include "test_support.hpp"

#include "scorer/output.hpp"
#include "scorer/output_sort.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>

namespace {

using test_support::pair_list;
using test_support::parse_output;
using test_support::read_file;
using test_support::scoped_temp_dir;

std::vector<std::string> directory_entries() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(record_order, larger_scores_first_then_tie_position) {
    const std::vector<double> ascending = {5e-324, 1e-300, 1e-17, 0.1, 0.30000000000000004, 1, 2, 1e300};
    for (std::size_t i = 1; i < ascending.size(); ++i) {
        const vornel::score_record better{vornel::descending_key(ascending[i]), 9};
        const vornel::score_record worse{vornel::descending_key(ascending[i - 1]), 0};
        EXPECT_TRUE(better < worse) << ascending[i];
        EXPECT_EQ(vornel::score_of(better), ascending[i]);
    }
    EXPECT_TRUE((vornel::score_record{vornel::descending_key(0.5), vornel::candidate_tie(1, 7)}) <
                (vornel::score_record{vornel::descending_key(0.5), vornel::candidate_tie(2, 3)}));
}

TEST(write_sorted_records, merges_runs_in_order_and_prints_scores_that_read_back_exactly) {
    scoped_temp_dir dir;
    pair_list interactions;
    auto name = [](int i) {
        std::string text(1, 'p');
        text += std::to_string(i);
        return text;
    };
    for (int i = 0; i < 30; ++i) interactions.emplace_back(name(i), name(i + 1));
    const auto net = vornel::build_network(interactions).net;
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> exponent(-300, 300);
    std::map<std::pair<std::uint32_t, std::uint32_t>, double> expected;
    vornel::record_runs runs(6);  // more runs than the merge scans linearly
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        for (std::uint32_t v = u + 1; v < net.protein_count(); ++v) {
            // Many exact ties (every fifth pair scores 0.25) and scores over the whole range.
            const double score = (u + v) % 5 == 0 ? 0.25 : std::pow(10.0, exponent(rng)) * (1 + double(rng() % 1000) / 7);
            expected[{u, v}] = score;
            runs[rng() % 6].push_back({vornel::descending_key(score), vornel::candidate_tie(u, v)});
        }
    }
    vornel::output_file out("scores.txt");
    ASSERT_TRUE(vornel::write_sorted_records(runs, {&net, nullptr}, 2, out, 60));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(directory_entries(), std::vector<std::string>{"scores.txt"});

    const auto lines = parse_output(read_file("scores.txt"));
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto u = *net.find(lines[i].a);
        const auto v = *net.find(lines[i].b);
        EXPECT_EQ(lines[i].score, expected.at({u, v}));
        if (i > 0) {
            const auto pu = *net.find(lines[i - 1].a);
            const auto pv = *net.find(lines[i - 1].b);
            EXPECT_TRUE(lines[i - 1].score > lines[i].score ||
                        (lines[i - 1].score == lines[i].score && std::pair(pu, pv) < std::pair(u, v)));
        }
    }
}

// Runs of random records with few distinct scores (many ties, some big single-score buckets).
vornel::record_runs random_runs(std::size_t runs, std::size_t per_run, unsigned seed) {
    std::mt19937_64 random(seed);
    vornel::record_runs made(runs);
    for (auto& run : made) {
        for (std::size_t i = 0; i < per_run; ++i) {
            const double score = 1.0 + double(random() % 7) / 3.0 + (random() % 4 == 0 ? 1e-9 * double(random() % 50) : 0);
            run.push_back({vornel::descending_key(score), random() % 100000});
        }
    }
    return made;
}

std::vector<vornel::score_record> all_sorted(const vornel::record_runs& runs) {
    std::vector<vornel::score_record> all;
    for (const auto& run : runs) all.insert(all.end(), run.begin(), run.end());
    std::sort(all.begin(), all.end());
    return all;
}

bool same_records(const vornel::score_record& x, const vornel::score_record& y) { return x.key == y.key && x.tie == y.tie; }

TEST(sort_records, hands_over_every_record_at_its_place_in_write_order) {
    for (const std::size_t runs : {1u, 3u, 6u}) {
        auto made = random_runs(runs, 20000, 5 + unsigned(runs));
        const auto expected = all_sorted(made);
        std::vector<vornel::score_record> got(expected.size(), vornel::score_record{0, ~std::uint64_t{0}});
        std::vector<int> filled(expected.size(), 0);
        std::mutex mutex;
        vornel::sort_records(made, 3, [&](std::size_t first, std::span<const vornel::score_record> part) {
            std::lock_guard lock(mutex);
            for (std::size_t i = 0; i < part.size(); ++i) {
                got[first + i] = part[i];
                ++filled[first + i];
            }
        }, 1000);
        EXPECT_TRUE(std::all_of(filled.begin(), filled.end(), [](int n) { return n == 1; })) << runs;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), same_records)) << runs;
    }
}

// Runs as the row scorers make them: rows handed out to the runs in chunks, in increasing order,
// each row's records appended at once with v in no order. Scores come from `scores` values;
// every 50th row has a long stretch of one score.
vornel::record_runs runs_in_row_order(std::size_t runs, std::uint32_t rows, unsigned seed, std::uint64_t scores) {
    std::mt19937_64 random(seed);
    vornel::record_runs made(runs);
    for (std::uint32_t u = 0; u < rows; ++u) {
        auto& run = made[(u / 16) % runs];
        std::vector<std::uint32_t> partners(u % 50 == 7 ? 300 : random() % 40);
        for (auto& v : partners) v = u + 1 + std::uint32_t(random() % 5000);
        std::sort(partners.begin(), partners.end());
        partners.erase(std::unique(partners.begin(), partners.end()), partners.end());
        std::shuffle(partners.begin(), partners.end(), random);
        for (const std::uint32_t v : partners) {
            const double score = u % 50 == 7 ? 0.5 : 1.0 / double(1 + random() % scores);
            run.push_back({vornel::descending_key(score), vornel::candidate_tie(u, v)});
        }
    }
    return made;
}

std::vector<vornel::score_record> records_of(const vornel::record_runs& runs) {
    std::vector<vornel::score_record> all;
    for (const auto& run : runs) all.insert(all.end(), run.begin(), run.end());
    return all;
}

// Hands the records over as sort_by_counting sorts them, or returns nothing when it declines.
std::optional<std::vector<vornel::score_record>> counted_order(vornel::record_runs& runs, unsigned threads) {
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    std::vector<std::uint64_t> ties(total);
    std::vector<vornel::score_record> got(total, vornel::score_record{0, ~std::uint64_t{0}});
    std::vector<int> filled(total, 0);
    std::mutex mutex;
    const bool counted = vornel::sort_by_counting(runs, threads, ties,
        [&](std::size_t first, std::uint64_t key, std::span<const std::uint64_t> part) {
            std::lock_guard lock(mutex);
            for (std::size_t i = 0; i < part.size(); ++i) {
                got[first + i] = {key, part[i]};
                ++filled[first + i];
            }
        });
    if (!counted) {
        EXPECT_TRUE(std::all_of(filled.begin(), filled.end(), [](int n) { return n == 0; }));
        return std::nullopt;
    }
    EXPECT_TRUE(std::all_of(filled.begin(), filled.end(), [](int n) { return n == 1; }));
    return got;
}

TEST(sort_by_counting, sorts_rows_of_few_scores_into_write_order_on_any_thread_count) {
    for (const unsigned threads : {1u, 2u, 3u}) {
        for (const std::size_t runs : {1u, 3u}) {
            auto made = runs_in_row_order(runs, 3000, 11 + threads, 40);
            const auto expected = all_sorted(made);
            const auto got = counted_order(made, threads);
            ASSERT_TRUE(got) << threads << " " << runs;
            EXPECT_TRUE(std::equal(got->begin(), got->end(), expected.begin(), expected.end(), same_records))
                << threads << " " << runs;
        }
    }
    // Ties of listed pairs from one thread (positions, all in one "row", some repeated).
    auto listed = random_runs(1, 5000, 4);
    const auto expected = all_sorted(listed);
    const auto got = counted_order(listed, 1);
    ASSERT_TRUE(got);
    EXPECT_TRUE(std::equal(got->begin(), got->end(), expected.begin(), expected.end(), same_records));
}

// A stop flag set while the records are handed over (as Ctrl-C sets it from another thread)
// ends either sort at its next piece with scoring_cancelled; one set before ends it at once.
TEST(sorting_for_callers, stops_when_the_stop_flag_is_set) {
    for (const unsigned threads : {1u, 3u}) {
        auto made = random_runs(3, 20000, 9);
        std::atomic<bool> cancel{false};
        std::atomic<std::size_t> parts{0};
        const auto stop_at_first_part = [&](std::size_t, std::span<const vornel::score_record>) {
            ++parts;
            cancel = true;
        };
        EXPECT_THROW(vornel::sort_records(made, threads, stop_at_first_part, 1000, &cancel), vornel::scoring_cancelled);
        EXPECT_LE(parts.load(), threads) << "every thread stops at its next segment";

        auto rows = runs_in_row_order(2, 3000, 5, 40);
        std::vector<std::uint64_t> ties(records_of(rows).size());
        std::size_t taken = 0;
        EXPECT_THROW(vornel::sort_by_counting(rows, threads, ties,
                                              [&](std::size_t, std::uint64_t, std::span<const std::uint64_t>) { ++taken; },
                                              8, &cancel),
                     vornel::scoring_cancelled);
        EXPECT_EQ(taken, 0u);
    }
}

TEST(sort_by_counting, leaves_runs_out_of_row_order_or_of_many_scores_as_they_were) {
    auto out_of_order = runs_in_row_order(3, 3000, 4, 40);
    std::reverse(out_of_order[1].begin(), out_of_order[1].end());
    auto many_scores = runs_in_row_order(2, 3000, 8, std::uint64_t{1} << 40);
    auto one_row_in_two_runs = random_runs(2, 5000, 4);
    for (auto* runs : {&out_of_order, &many_scores, &one_row_in_two_runs}) {
        for (const unsigned threads : {1u, 2u}) {
            const auto before = records_of(*runs);
            EXPECT_FALSE(counted_order(*runs, threads)) << threads;
            const auto after = records_of(*runs);
            EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin(), before.end(), same_records)) << threads;
        }
    }
}

TEST(order_runs, the_best_records_merge_into_the_first_of_write_order) {
    for (const std::size_t top : {0u, 1u, 37u, 5000u, 60000u}) {
        auto made = random_runs(4, 10000, 17);
        const auto expected = all_sorted(made);
        vornel::order_runs(made, top);
        std::vector<vornel::score_record> got;
        vornel::merge_ordered_runs(made, top, [&](const vornel::score_record& r) { got.push_back(r); });
        ASSERT_EQ(got.size(), std::min<std::size_t>(top, expected.size()));
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), same_records)) << top;
    }
}

TEST(for_each_run_in_parallel, rethrows_what_a_helper_thread_throws_after_all_ended) {
    std::atomic<int> ended{0};
    EXPECT_THROW(vornel::for_each_run_in_parallel(4, [&](std::size_t r) {
        ++ended;
        if (r == 2) throw std::bad_alloc();
    }), std::bad_alloc);
    EXPECT_EQ(ended.load(), 4);
}

TEST(parallel_for_items, stops_and_throws_once_cancelled) {
    std::atomic<bool> cancel{false};
    std::atomic<std::uint32_t> done{0};
    EXPECT_THROW(vornel::parallel_for_items(1u << 20, 2, [&](unsigned, std::uint32_t) {
        if (++done == 1000) cancel = true;
    }, &cancel), vornel::scoring_cancelled);
    // The threads end the chunks they hold and stop soon after: long before the end. (How soon
    // the other thread sees the flag is up to the scheduler, so the bound is loose.)
    EXPECT_LT(done.load(), 1u << 16);
    std::atomic<std::uint32_t> all{0};
    cancel = false;
    vornel::parallel_for_items(5000, 2, [&](unsigned, std::uint32_t) { ++all; }, &cancel);
    EXPECT_EQ(all.load(), 5000u);
}

TEST(write_sorted_records, writes_an_empty_file_when_nothing_scored) {
    scoped_temp_dir dir;
    const auto net = vornel::build_network(pair_list{{"A", "B"}}).net;
    for (const std::size_t run_count : {0, 2}) {
        vornel::record_runs runs(run_count);
        vornel::output_file out("empty.txt");
        ASSERT_TRUE(vornel::write_sorted_records(runs, {&net, nullptr}, 2, out));
        ASSERT_TRUE(out.commit());
        EXPECT_EQ(read_file("empty.txt"), "");
    }
}

TEST(output_file, leaves_nothing_behind_unless_committed) {
    scoped_temp_dir dir;
    test_support::write_file("result.txt", "old\n");
    {
        vornel::output_file out("result.txt");
        ASSERT_EQ(out.error(), "");
        ASSERT_TRUE(out.write("new\n", 4));
        EXPECT_EQ(directory_entries().size(), 2u);  // the old file and the temporary one
    }
    EXPECT_EQ(directory_entries(), std::vector<std::string>{"result.txt"});
    EXPECT_EQ(read_file("result.txt"), "old\n");
    {
        vornel::output_file out("result.txt");
        ASSERT_TRUE(out.write("new\n", 4));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(read_file("result.txt"), "new\n");
}

TEST(output_file, keeps_the_mode_of_the_file_it_replaces) {
    scoped_temp_dir dir;
    namespace fs = std::filesystem;
    test_support::write_file("private.txt", "old\n");
    fs::permissions("private.txt", fs::perms::owner_read | fs::perms::owner_write);
    {
        vornel::output_file out("private.txt");
        ASSERT_TRUE(out.write("new\n", 4));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(read_file("private.txt"), "new\n");
    EXPECT_EQ(fs::status("private.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(output_file, writes_through_a_symbolic_link) {
    scoped_temp_dir dir;
    namespace fs = std::filesystem;
    fs::create_directory("data");
    test_support::write_file("data/scores.txt", "old\n");
    fs::create_symlink("data/scores.txt", "current.txt");
    fs::create_symlink("missing.txt", "data/dangling.txt");  // relative to the link's directory
    for (const char* name : {"current.txt", "data/dangling.txt"}) {
        vornel::output_file out(name);
        ASSERT_EQ(out.error(), "");
        ASSERT_TRUE(out.write("new\n", 4));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_TRUE(fs::is_symlink("current.txt"));
    EXPECT_EQ(read_file("data/scores.txt"), "new\n");
    EXPECT_TRUE(fs::is_symlink("data/dangling.txt"));
    EXPECT_EQ(read_file("data/missing.txt"), "new\n");
    EXPECT_EQ(directory_entries(), (std::vector<std::string>{"current.txt", "data"}));
}

TEST(output_file, writes_straight_into_a_device_or_a_pipe_and_leaves_it_in_place) {
    scoped_temp_dir dir;
    namespace fs = std::filesystem;
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int fd = ::open("pipe", O_RDONLY);
        char buffer[16];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        ::_exit(got == 4 && std::string_view(buffer, 4) == "new\n" ? 0 : 1);
    }
    {
        vornel::output_file out("pipe");
        ASSERT_EQ(out.error(), "");
        ASSERT_TRUE(out.write("new\n", 4));
        ASSERT_TRUE(out.commit());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(fs::is_fifo("pipe"));
    // A device node of our own, like /dev/null (making one needs root).
    if (::mknod("null.dev", S_IFCHR | 0666, makedev(1, 3)) == 0) {
        vornel::output_file out("null.dev");
        ASSERT_TRUE(out.write("new\n", 4));
        ASSERT_TRUE(out.commit());
        EXPECT_TRUE(fs::is_character_file("null.dev"));
    }
    EXPECT_EQ(directory_entries().size(), fs::exists("null.dev") ? 2u : 1u);
}

TEST(output_file, a_failed_write_names_the_file_and_leaves_nothing_behind) {
    scoped_temp_dir dir;
    test_support::write_file("result.txt", "old\n");
    // A file size limit makes writes past it fail with EFBIG (the signal is ignored).
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    {
        vornel::output_file out("result.txt");
        const std::string text(5000, 'x');
        EXPECT_FALSE(out.write(text.data(), text.size()));
        EXPECT_EQ(out.error().rfind("result.txt: cannot write: ", 0), 0u) << out.error();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous_handler);
    EXPECT_EQ(directory_entries(), std::vector<std::string>{"result.txt"});
    EXPECT_EQ(read_file("result.txt"), "old\n");
}

TEST(output_file, an_interrupt_removes_the_temporary_file) {
    scoped_temp_dir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        vornel::output_file out("result.txt");
        out.write("partial\n", 8);
        std::raise(SIGTERM);
        ::_exit(0);  // not reached: the handler re-raises with the default action
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(directory_entries(), std::vector<std::string>{});
}

TEST(output_file, names_an_output_in_a_missing_directory) {
    scoped_temp_dir dir;
    vornel::output_file out("no/such/dir/out.txt");
    EXPECT_NE(out.error().find("no/such/dir/out.txt"), std::string::npos);
}

}  // namespace
