#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <string>
#include <vector>

#include "gzip_text.hpp"
#include "process.hpp"
#include "temp_files.hpp"

namespace ppi {
namespace {

namespace fs = std::filesystem;
using test_support::program_result;
using test_support::read_file;
using test_support::run_program;
using test_support::scoped_temp_dir;
using test_support::write_file;
using test_support::write_script;

// Logs its arguments one bracketed argument after another, says one line on standard output,
// and writes the scored pairs prepared for the method, if any.
const std::string stand_in_scorer = R"(#!/bin/sh
printf '[%s]' "$@" >> vornel.log
echo >> vornel.log
echo "stand-in scorer: $3"
if [ -f "scores.$3.txt" ]; then cp "scores.$3.txt" "$5"; fi
)";

const std::string filter_scores = "P1 P2 0.9\nP3 P4 0.4\nP5 P6 0.7\n";
const std::string add_scores = "P1 P3 0.8\nP2 P5 0.6\nP4 P6 0.3\n";

// Runs a private copy of ppi-refine in a temporary working directory. The copy lives in bin/,
// so "beside the program" is a place each test controls (the build tree may hold a real
// scorer); PATH holds path/ and the system directories the stand-in needs.
class end_to_end : public testing::Test {
protected:
    end_to_end()
    {
        fs::create_directory("bin");
        fs::create_directory("path");
        fs::copy_file(PPI_REFINE_PATH, "bin/ppi-refine");
        write_file("net.txt", "A B\nC D\nE F\n");
        write_file("scores.m1.txt", filter_scores);
        write_file("scores.m2.txt", add_scores);
    }

    program_result run(const std::vector<std::string>& arguments) const
    {
        return run_program(program(), arguments, options());
    }

    std::string program() const { return (dir_.path() / "bin/ppi-refine").string(); }

    // One transcript of both streams, as the user sees it; PATH holds path/ and the system's.
    test_support::run_options options() const
    {
        test_support::run_options result;
        result.merge_streams = true;
        result.path_variable = (dir_.path() / "path").string() + ":/usr/bin:/bin";
        return result;
    }

    std::vector<std::string> listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    scoped_temp_dir dir_;
};

const std::vector<std::string> full_run_arguments{"net.txt", "10", "m1", "0.5", "m2", "2", "out.txt"};

// The first lines of every run that writes out.txt.
const std::string deletions = "del prtn.temp.ids\ndel ppi.fatemp.txt\ndel out.txt\n";

// The report of a filter phase over the three pairs of filter_scores at 0.5.
const std::string filter_report = "\n#PPIs with non-zero score: 3\n#PPIs selected with score>=0.50: 2\n\n";

std::string count_lines(int original, int filtered, int final_count)
{
    return "#PPIs in the original file: " + std::to_string(original) + "\n#PPIs after filtering: " +
           std::to_string(filtered) + "\n#PPIs after adding new PPIs: " + std::to_string(final_count) + "\n";
}

const std::string full_run_transcript =
    "del prtn.temp.ids\n"
    "del ppi.fatemp.txt\n"
    "del out.txt\n"
    "vornel net.txt net.txt m1 10 ppi.temp.txt\n"
    "stand-in scorer: m1\n"
    "\n"
    "#PPIs with non-zero score: 3\n"
    "#PPIs selected with score>=0.50: 2\n"
    "\n"
    "vornel net.txt NULL m2 10 ppi.temp.txt\n"
    "stand-in scorer: m2\n"
    "\n"
    "#PPIs with non-zero score: 2\n"
    "Minimum score of top 2 PPIs: 0.6000\n"
    "\n"
    "#PPIs in the original file: 3\n"
    "#PPIs after filtering: 2\n"
    "#PPIs after adding new PPIs: 4\n";

TEST_F(end_to_end, full_run_prints_the_documented_transcript_and_writes_the_kept_pairs)
{
    write_script("vornel", stand_in_scorer);
    write_file("prtn.temp.ids", "old");
    write_file("ppi.fatemp.txt", "old");
    write_file("out.txt", "old output\n");

    const program_result result = run(full_run_arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, full_run_transcript);
    EXPECT_EQ(read_file("out.txt"),
              "P1\tP2\t9.00E-01\nP5\tP6\t7.00E-01\nP1\tP3\t8.00E-01\nP2\tP5\t6.00E-01\n");
    EXPECT_EQ(read_file("vornel.log"),
              "[net.txt][net.txt][m1][10][ppi.temp.txt]\n[net.txt][NULL][m2][10][ppi.temp.txt]\n");
    EXPECT_FALSE(fs::exists("prtn.temp.ids"));
    EXPECT_FALSE(fs::exists("ppi.fatemp.txt"));
    EXPECT_EQ(read_file("ppi.temp.txt"), add_scores);  // the last phase's scored pairs
}

TEST_F(end_to_end, a_gzip_network_counts_its_decompressed_lines)
{
    write_script("vornel", stand_in_scorer);
    write_file("net.txt.gz", test_support::gzip_member("A B\nC D\n") + test_support::gzip_member("E F\nG H"));
    std::vector<std::string> arguments = full_run_arguments;
    arguments[0] = "net.txt.gz";
    const program_result packed = run(arguments);
    EXPECT_EQ(packed.exit_code, 0);
    EXPECT_NE(packed.out.find(count_lines(4, 2, 4)), std::string::npos) << packed.out;

    // A damaged file is reported as a failed read, and counts as nothing.
    const std::string whole = test_support::gzip_member("A B\nC D\n");
    write_file("cut.txt.gz", whole.substr(0, whole.size() - 3));
    arguments[0] = "cut.txt.gz";
    const program_result cut = run(arguments);
    EXPECT_EQ(cut.out.rfind("del prtn.temp.ids\ndel ppi.fatemp.txt\n"
                                   "Error: cannot read file cut.txt.gz: truncated gzip stream", 0), 0u)
        << cut.out;
    EXPECT_NE(cut.out.find(count_lines(0, 2, 4)), std::string::npos) << cut.out;
}

TEST_F(end_to_end, wrong_argument_counts_print_the_usage_and_touch_nothing)
{
    write_script("vornel", stand_in_scorer);
    const std::vector<std::string> before = listing();
    const std::string program = (dir_.path() / "bin/ppi-refine").string();
    for (const auto& arguments : {std::vector<std::string>{},
                                  std::vector<std::string>{"net.txt", "10", "m1", "0.5", "m2", "2"},
                                  std::vector<std::string>{"net.txt", "10", "m1", "0.5", "m2", "2", "out.txt", "x"}}) {
        const program_result result = run(arguments);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out,
                  "Usage:\n\t" + program +
                      " ppi_filename #iterations filter_method filter_min_score add_method "
                      "add_min_score output_file\n");
    }
    EXPECT_EQ(listing(), before);
}

TEST_F(end_to_end, add_phase_runs_only_for_a_positive_add_min_score)
{
    write_script("vornel", stand_in_scorer);
    for (const std::string add_min_score : {"0", "-1", "word"}) {
        const program_result result = run({"net.txt", "abc", "m1", "0.5", "m2", add_min_score, "out.txt"});
        EXPECT_EQ(result.out, deletions + "vornel net.txt net.txt m1 0 ppi.temp.txt\nstand-in scorer: m1\n" +
                                         filter_report + count_lines(3, 2, 2))
            << add_min_score;
    }
}

TEST_F(end_to_end, protected_files_stop_the_run_before_anything_happens)
{
    write_script("vornel", stand_in_scorer);
    write_file("prtn.temp.ids", "scratch");
    write_file("ppi.temp.txt", "P1 P2 0.9\n");
    fs::create_symlink("net.txt", "link.txt");
    const std::vector<std::string> before = listing();
    const std::pair<std::pair<std::string, std::string>, std::string> cases[] = {
        {{"net.txt", "net.txt"}, "Error: output_file net.txt is the same file as ppi_filename net.txt; nothing done\n"},
        {{"net.txt", "./net.txt"}, "Error: output_file ./net.txt is the same file as ppi_filename net.txt; nothing done\n"},
        {{"net.txt", "link.txt"}, "Error: output_file link.txt is the same file as ppi_filename net.txt; nothing done\n"},
        {{"net.txt", "ppi.temp.txt"}, "Error: output_file ppi.temp.txt is the run's own file ppi.temp.txt; nothing done\n"},
        {{"./prtn.temp.ids", "out.txt"}, "Error: ppi_filename ./prtn.temp.ids is the run's own file prtn.temp.ids; nothing done\n"},
        {{"net.txt", "path/../ppi.fatemp.txt"}, "Error: output_file path/../ppi.fatemp.txt is the run's own file ppi.fatemp.txt; nothing done\n"},
    };
    for (const auto& [names, expected] : cases) {
        const program_result result = run({names.first, "10", "m1", "0.5", "m2", "2", names.second});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, expected);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(read_file("net.txt"), "A B\nC D\nE F\n");
    EXPECT_EQ(read_file("ppi.temp.txt"), "P1 P2 0.9\n");
}

TEST_F(end_to_end, names_with_blanks_and_shell_metacharacters_reach_the_scorer_whole)
{
    write_script("vornel", stand_in_scorer);
    const std::string network = "my net;touch hacked1 $(touch hacked2) `touch hacked3` | touch hacked4 &";
    const std::string method = "m1;touch hacked5";
    const std::string output = "out file>hacked6.txt";
    fs::copy_file("net.txt", network);
    write_file("scores." + method + ".txt", filter_scores);

    const program_result result = run({network, "10", method, "0.5", "m2", "0", output});
    EXPECT_EQ(result.out, "del prtn.temp.ids\ndel ppi.fatemp.txt\ndel " + output + "\nvornel " + network +
                                     " " + network + " " + method + " 10 ppi.temp.txt\nstand-in scorer: " + method +
                                     "\n" + filter_report + count_lines(3, 2, 2));
    EXPECT_EQ(read_file("vornel.log"), "[" + network + "][" + network + "][" + method + "][10][ppi.temp.txt]\n");
    EXPECT_EQ(read_file(output), "P1\tP2\t9.00E-01\nP5\tP6\t7.00E-01\n");
    for (const char* trace : {"hacked1", "hacked2", "hacked3", "hacked4", "hacked5", "hacked6.txt"}) {
        EXPECT_FALSE(fs::exists(trace)) << trace;
    }
}

TEST_F(end_to_end, scorer_that_cannot_be_started_gives_one_error_line_and_the_run_goes_on)
{
    const std::string not_found =
        "Error: cannot run scorer vornel: not found in the working directory, in PATH or beside ppi-refine\n";
    const auto transcript_with = [](const std::string& scorer_error) {
        const std::string no_pairs =
            "Error: cannot open file ppi.temp.txt for read\nError: cannot open file out.txt for read\n";
        return deletions + "vornel net.txt net.txt m1 10 ppi.temp.txt\n" + scorer_error + no_pairs +
               "vornel net.txt NULL m2 10 ppi.temp.txt\n" + scorer_error + no_pairs + count_lines(3, 0, 0);
    };
    program_result result = run(full_run_arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, transcript_with(not_found));

    // Without a "#!" line a command processor would run it as a script; we do not.
    write_script("vornel", "touch hacked\n");
    result = run(full_run_arguments);
    EXPECT_EQ(result.out, transcript_with("Error: cannot run scorer vornel: ./vornel: Exec format error\n"));
    EXPECT_FALSE(fs::exists("hacked"));
}

TEST_F(end_to_end, scorer_is_found_in_path_and_beside_the_program)
{
    write_script("bin/vornel", stand_in_scorer);
    EXPECT_EQ(run(full_run_arguments).out, full_run_transcript);

    write_script("path/vornel", "#!/bin/sh\necho path scorer >> vornel.log\n");
    run(full_run_arguments);
    EXPECT_EQ(read_file("vornel.log").substr(read_file("vornel.log").size() - 24),
              "path scorer\npath scorer\n");
}

TEST_F(end_to_end, stale_scored_pairs_are_never_selected_again)
{
    write_script("vornel", stand_in_scorer);
    write_file("ppi.temp.txt", "OLD1 OLD2 0.99\n");
    // The add-phase scorer (method m3) writes nothing: the filter phase's pairs must not be
    // appended a second time.
    program_result result = run({"net.txt", "10", "m1", "0.5", "m3", "2", "out.txt"});
    EXPECT_EQ(result.out, deletions + "vornel net.txt net.txt m1 10 ppi.temp.txt\nstand-in scorer: m1\n" +
                                     filter_report +
                                     "vornel net.txt NULL m3 10 ppi.temp.txt\nstand-in scorer: m3\n"
                                     "Error: cannot open file ppi.temp.txt for read\n" +
                                     count_lines(3, 2, 2));
    EXPECT_EQ(read_file("out.txt"), "P1\tP2\t9.00E-01\nP5\tP6\t7.00E-01\n");

    // A leftover from an earlier run is not read when the filter-phase scorer writes nothing.
    write_file("ppi.temp.txt", "OLD1 OLD2 0.99\n");
    result = run({"net.txt", "10", "m3", "0.5", "m2", "0", "out.txt"});
    EXPECT_NE(result.out.find("stand-in scorer: m3\nError: cannot open file ppi.temp.txt for read\n"
                                     "Error: cannot open file out.txt for read\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("out.txt"));
}

TEST_F(end_to_end, malformed_scored_pairs_are_skipped_and_reported)
{
    write_script("vornel", stand_in_scorer);
    write_file("scores.m1.txt", "P1 P2 0.9\nP3 P4 high\nP5 P6 0.7\nP7");
    const program_result result = run({"net.txt", "10", "m1", "0.5", "m2", "0", "out.txt"});
    EXPECT_EQ(result.out, deletions + "vornel net.txt net.txt m1 10 ppi.temp.txt\nstand-in scorer: m1\n"
                                     "Error: 2 malformed scored pair(s) skipped in ppi.temp.txt\n"
                                     "\n#PPIs with non-zero score: 2\n#PPIs selected with score>=0.50: 2\n\n" +
                                     count_lines(3, 2, 2));
    EXPECT_EQ(read_file("out.txt"), "P1\tP2\t9.00E-01\nP5\tP6\t7.00E-01\n");
}

TEST_F(end_to_end, run_completes_when_nobody_reads_its_output)
{
    write_script("vornel", "#!/bin/sh\ncp \"scores.$3.txt\" \"$5\"\n");
    const int exit_status = test_support::run_program_into_broken_pipe(program(), full_run_arguments, options());
    EXPECT_EQ(exit_status, 0);
    EXPECT_EQ(read_file("out.txt"),
              "P1\tP2\t9.00E-01\nP5\tP6\t7.00E-01\nP1\tP3\t8.00E-01\nP2\tP5\t6.00E-01\n");
}

TEST_F(end_to_end, names_and_identifiers_of_any_length_work)
{
    write_script("vornel", stand_in_scorer);
    // A network path of more than 600 characters, and identifiers far beyond 199 characters.
    fs::path deep;
    for (int level = 0; level < 5; ++level) deep /= std::string(120, static_cast<char>('a' + level));
    fs::create_directories(deep);
    const std::string network = (deep / "net.txt").string();
    fs::copy_file("net.txt", network);
    const std::string long_a(5000, 'A');
    const std::string long_b(300, 'B');
    write_file("scores.m1.txt", long_a + " " + long_b + " 0.75\n");

    const program_result result = run({network, "10", "m1", "0.5", "m2", "0", "out.txt"});
    EXPECT_NE(result.out.find("vornel " + network + " " + network + " m1 10 ppi.temp.txt\n"),
              std::string::npos);
    EXPECT_EQ(read_file("vornel.log"), "[" + network + "][" + network + "][m1][10][ppi.temp.txt]\n");
    EXPECT_EQ(read_file("out.txt"), long_a + "\t" + long_b + "\t7.50E-01\n");
}

}  // namespace
}  // namespace ppi

namespace ppi {
namespace {

// Runs made under unfriendly conditions: a second run in the same directory, file names that
// read like scorer keywords or options, pipes and devices, failing or killed scorers, scored
// pairs that cannot be removed, and signals.
class unfriendly_conditions : public end_to_end {
protected:
    // Starts ppi-refine with `arguments` without waiting; `in_child` runs just before it starts.
    pid_t start(const std::vector<std::string>& arguments, void (*in_child)())
    {
        const int sink = ::open("transcript.log", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        test_support::run_options start_options = options();
        start_options.in_child = in_child;
        const pid_t child = test_support::start_program(program(), arguments, start_options, sink, sink);
        if (sink >= 0) ::close(sink);
        return child;
    }
};

TEST_F(unfriendly_conditions, a_second_run_in_the_same_directory_is_refused)
{
    write_script("vornel", stand_in_scorer);
    const int directory = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(directory, LOCK_EX | LOCK_NB), 0);  // as a running ppi-refine holds it
    const std::vector<std::string> before = listing();
    const program_result refused = run(full_run_arguments);
    EXPECT_EQ(refused.out,
              "Error: another run is using the working directory's files ppi.temp.txt, prtn.temp.ids and "
              "ppi.fatemp.txt; nothing done\n");
    EXPECT_EQ(listing(), before);
    ::close(directory);
    EXPECT_EQ(run(full_run_arguments).out, full_run_transcript);

    // The lock is held while the scorer runs (a fresh lock attempt there fails).
    write_script("vornel", "#!/bin/sh\nif flock -n . true; then echo unlocked; else echo locked; fi\n");
    const program_result during = run({"net.txt", "10", "m1", "0.5", "m2", "0", "out.txt"});
    EXPECT_NE(during.out.find("ppi.temp.txt\nlocked\n"), std::string::npos) << during.out;
}

TEST_F(unfriendly_conditions, a_network_named_like_a_keyword_or_option_reaches_the_scorer_as_a_file)
{
    write_script("vornel", stand_in_scorer);
    for (const std::string network : {"NULL", "-x", "--help"}) {
        fs::copy_file("net.txt", network);
        fs::remove("vornel.log");
        const program_result result = run({network, "10", "m1", "0.5", "m2", "2", "out.txt"});
        EXPECT_NE(result.out.find("vornel ./" + network + " ./" + network + " m1 10 ppi.temp.txt\n"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("vornel ./" + network + " NULL m2 10 ppi.temp.txt\n"), std::string::npos);
        EXPECT_EQ(read_file("vornel.log"), "[./" + network + "][./" + network + "][m1][10][ppi.temp.txt]\n[./" +
                                               network + "][NULL][m2][10][ppi.temp.txt]\n");
        EXPECT_NE(result.out.find(count_lines(3, 2, 4)), std::string::npos) << result.out;
    }
}

TEST_F(unfriendly_conditions, a_network_or_output_that_is_no_regular_file_is_refused)
{
    write_script("vornel", stand_in_scorer);
    ASSERT_EQ(::mkfifo("net.fifo", 0600), 0);
    ASSERT_EQ(::mkfifo("out.fifo", 0600), 0);
    fs::create_directory("folder");
    // A device node of our own, like /dev/null (needs root): a faulty build then harms only it.
    const bool have_device = ::mknod("null.dev", S_IFCHR | 0666, makedev(1, 3)) == 0;
    const std::vector<std::string> before = listing();
    const std::pair<std::pair<std::string, std::string>, std::string> cases[] = {
        {{"net.fifo", "out.txt"},
         "Error: ppi_filename net.fifo is not a regular file (it is read three times; a pipe gives its lines only "
         "once); nothing done\n"},
        {{"folder", "out.txt"},
         "Error: ppi_filename folder is not a regular file (it is read three times; a pipe gives its lines only "
         "once); nothing done\n"},
        {{"net.txt", "out.fifo"}, "Error: output_file out.fifo is not a regular file; nothing done\n"},
        {{"net.txt", "null.dev"}, "Error: output_file null.dev is not a regular file; nothing done\n"},
    };
    for (const auto& [names, expected] : cases) {
        if (names.second == "null.dev" && !have_device) continue;
        EXPECT_EQ(run({names.first, "10", "m1", "0.5", "m2", "2", names.second}).out, expected);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_TRUE(fs::is_fifo("out.fifo"));
    if (have_device) {
        EXPECT_TRUE(fs::is_character_file("null.dev"));
    }
}

TEST_F(unfriendly_conditions, a_failing_or_killed_scorer_is_reported_and_its_phase_keeps_nothing)
{
    // The filter-phase scorer writes its pairs and then fails; the add phase's is killed.
    write_script("vornel", "#!/bin/sh\ncp \"scores.$3.txt\" \"$5\"\n"
                           "if [ \"$3\" = m1 ]; then exit 1; fi\nkill -PIPE $$\n");
    const program_result result = run(full_run_arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, deletions +
                                     "vornel net.txt net.txt m1 10 ppi.temp.txt\n"
                                     "Error: scorer vornel failed: exit status 1; this phase keeps nothing\n"
                                     "Error: cannot open file out.txt for read\n"
                                     "vornel net.txt NULL m2 10 ppi.temp.txt\n"
                                     "Error: scorer vornel failed: killed by signal 13 (Broken pipe); this phase "
                                     "keeps nothing\n"
                                     "Error: cannot open file out.txt for read\n" +
                                     count_lines(3, 0, 0));
    EXPECT_FALSE(fs::exists("out.txt"));
}

TEST_F(unfriendly_conditions, scored_pairs_that_cannot_be_removed_are_not_selected_again)
{
    write_script("vornel", stand_in_scorer);
    fs::create_directory("ppi.temp.txt");
    write_file("ppi.temp.txt/P1", "");
    const program_result result = run(full_run_arguments);
    const std::string skipped = "Error: cannot delete file ppi.temp.txt: Is a directory; this phase keeps nothing\n";
    EXPECT_EQ(result.out, deletions + skipped + "Error: cannot open file out.txt for read\n" + skipped +
                                     "Error: cannot open file out.txt for read\n" + count_lines(3, 0, 0));
    EXPECT_FALSE(fs::exists("vornel.log"));  // no scorer ran
}

void wait_for_file(const std::string& name)
{
    for (int tries = 0; tries < 1000 && read_file(name).empty(); ++tries) ::usleep(10000);
}

void ignore_hangups() { std::signal(SIGHUP, SIG_IGN); }
void keep_dispositions() {}

TEST_F(unfriendly_conditions, signals_reach_the_scorer_and_end_the_run_once_it_has_ended)
{
    // The scorer records its process id and sleeps until a signal ends it.
    write_script("vornel", "#!/bin/sh\necho $$ > scorer.pid\nexec sleep 30\n");
    const pid_t refine = start(full_run_arguments, keep_dispositions);
    wait_for_file("scorer.pid");
    const pid_t scorer = std::stoi(read_file("scorer.pid"));
    ASSERT_EQ(::kill(refine, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(refine, &status, 0), refine);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_NE(::kill(scorer, 0), 0) << "the scorer outlived the run";
    EXPECT_EQ(read_file("transcript.log"), deletions + "vornel net.txt net.txt m1 10 ppi.temp.txt\n");
}

TEST_F(unfriendly_conditions, an_ignored_hangup_stays_ignored_for_run_and_scorer)
{
    write_script("vornel", "#!/bin/sh\necho $$ > scorer.pid\nexec sleep 1\n");
    const pid_t refine = start({"net.txt", "10", "m1", "0.5", "m2", "0", "out.txt"}, ignore_hangups);
    wait_for_file("scorer.pid");
    ASSERT_EQ(::kill(refine, SIGHUP), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(refine, &status, 0), refine);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(read_file("transcript.log").find("#PPIs after adding new PPIs"), std::string::npos);
}

}  // namespace
}  // namespace ppi
