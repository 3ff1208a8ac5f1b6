#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run/command_line.hpp"
#include "run/protected_files.hpp"
#include "run/shell_commands.hpp"
#include "temp_files.hpp"

namespace ppi {
namespace {

namespace fs = std::filesystem;
using test_support::scoped_temp_dir;
using test_support::write_file;
using test_support::write_script;

TEST(compose_commands, echo_the_texts_as_typed)
{
    EXPECT_EQ(compose_scorer_command("net.txt", "net.txt", "m1", 10, "ppi.temp.txt"),
              "vornel net.txt net.txt m1 10 ppi.temp.txt\n");
    EXPECT_EQ(compose_scorer_command("net.txt", "NULL", "m2", 10, "ppi.temp.txt"),
              "vornel net.txt NULL m2 10 ppi.temp.txt\n");
    EXPECT_EQ(compose_scorer_command("a b.txt", "a b.txt", "m%d", 0, "ppi.temp.txt"),
              "vornel a b.txt a b.txt m%d 0 ppi.temp.txt\n");
    EXPECT_EQ(compose_delete_command("ppi.fatemp.txt"), "del ppi.fatemp.txt\n");
    EXPECT_EQ(compose_delete_command("100%s.txt"), "del 100%s.txt\n");

    const std::string long_name(5000, 'n');
    EXPECT_EQ(compose_scorer_command(long_name, "NULL", "m", -3, "s"),
              "vornel " + long_name + " NULL m -3 s\n");
}

TEST(parse_run_parameters, reads_numbers_leniently)
{
    const char* argv[] = {"ppi-refine", "net.txt", " -7.9x", "m1", "0x1p-1", "m2", "word", "out.txt"};
    const std::optional<run_parameters> parameters = parse_run_parameters(8, argv);
    ASSERT_TRUE(parameters.has_value());
    EXPECT_EQ(parameters->ppi_filename, "net.txt");
    EXPECT_EQ(parameters->iterations, -7);
    EXPECT_EQ(parameters->filter_method, "m1");
    EXPECT_EQ(parameters->filter_min_score, 0.5);
    EXPECT_EQ(parameters->add_method, "m2");
    EXPECT_EQ(parameters->add_min_score, 0.0);
    EXPECT_EQ(parameters->output_file, "out.txt");

    EXPECT_EQ(parse_iterations("abc"), 0);
    EXPECT_EQ(parse_iterations("7.9"), 7);
    EXPECT_EQ(parse_iterations("+12"), 12);
    EXPECT_EQ(parse_iterations("99999999999999999999"), INT_MAX);
    EXPECT_EQ(parse_iterations("-99999999999"), INT_MIN);
}

run_parameters parameters_for(const std::string& network, const std::string& output)
{
    run_parameters parameters;
    parameters.ppi_filename = network;
    parameters.output_file = output;
    return parameters;
}

TEST(check_protected_files, refuses_an_output_that_is_the_network)
{
    scoped_temp_dir dir;
    fs::create_directory("sub");
    // Not yet existing: compared by normalised path.
    EXPECT_TRUE(same_file("net.txt", "./sub/../net.txt"));
    EXPECT_FALSE(same_file("net.txt", "sub/net.txt"));

    write_file("net.txt", "A B\n");
    fs::create_hard_link("net.txt", "hard.txt");
    fs::create_symlink("net.txt", "sub/../soft.txt");
    fs::create_directory_symlink(".", "here");
    for (const std::string& output : std::vector<std::string>{"net.txt", "./net.txt", "hard.txt", "soft.txt",
                                     "here/net.txt", (fs::current_path() / "net.txt").string()}) {
        EXPECT_EQ(check_protected_files(parameters_for("net.txt", output)),
                  "Error: output_file " + output + " is the same file as ppi_filename net.txt; nothing done");
    }
    EXPECT_EQ(check_protected_files(parameters_for("net.txt", "out.txt")), "");
}

TEST(check_protected_files, refuses_the_runs_own_files_in_any_spelling)
{
    scoped_temp_dir dir;
    EXPECT_EQ(check_protected_files(parameters_for("net.txt", "./ppi.temp.txt")),
              "Error: output_file ./ppi.temp.txt is the run's own file ppi.temp.txt; nothing done");
    EXPECT_EQ(check_protected_files(parameters_for("prtn.temp.ids", "out.txt")),
              "Error: ppi_filename prtn.temp.ids is the run's own file prtn.temp.ids; nothing done");
    write_file("ppi.fatemp.txt", "");
    fs::create_symlink("ppi.fatemp.txt", "link.txt");
    EXPECT_EQ(check_protected_files(parameters_for("link.txt", "out.txt")),
              "Error: ppi_filename link.txt is the run's own file ppi.fatemp.txt; nothing done");
    // The same names elsewhere are ordinary files.
    fs::create_directory("sub");
    EXPECT_EQ(check_protected_files(parameters_for("sub/ppi.temp.txt", "sub/prtn.temp.ids")), "");
}

TEST(delete_file, removes_files_and_links_but_never_directories)
{
    scoped_temp_dir dir;
    EXPECT_EQ(delete_file("missing.txt"), "");

    write_file("target.txt", "x");
    fs::create_symlink("target.txt", "link.txt");
    EXPECT_EQ(delete_file("link.txt"), "");
    EXPECT_FALSE(fs::is_symlink("link.txt"));
    EXPECT_TRUE(fs::exists("target.txt"));
    EXPECT_EQ(delete_file("target.txt"), "");
    EXPECT_FALSE(fs::exists("target.txt"));

    fs::create_directory("folder");
    EXPECT_EQ(delete_file("folder"), "Error: cannot delete file folder: Is a directory");
    EXPECT_TRUE(fs::is_directory("folder"));
}

TEST(find_scorer, looks_in_the_working_directory_then_path_then_beside_the_program)
{
    scoped_temp_dir dir;
    for (const char* sub : {"first", "second", "program"}) fs::create_directory(sub);
    const std::string path_variable = "first:second";

    EXPECT_EQ(find_scorer("vornel", path_variable.c_str(), "program").error,
              "not found in the working directory, in PATH or beside ppi-refine");
    EXPECT_EQ(find_scorer("vornel", nullptr, "").error,
              "not found in the working directory, in PATH or beside ppi-refine");

    write_script("program/vornel", "#!/bin/sh\n");
    EXPECT_EQ(find_scorer("vornel", path_variable.c_str(), "program").path, "program/vornel");
    write_script("second/vornel", "#!/bin/sh\n");
    EXPECT_EQ(find_scorer("vornel", path_variable.c_str(), "program").path, "second/vornel");
    write_script("first/vornel", "#!/bin/sh\n");
    EXPECT_EQ(find_scorer("vornel", path_variable.c_str(), "program").path, "first/vornel");
    write_script("vornel", "#!/bin/sh\n");
    EXPECT_EQ(find_scorer("vornel", path_variable.c_str(), "program").path, "./vornel");
}

TEST(find_scorer, skips_what_cannot_be_executed_and_says_so)
{
    scoped_temp_dir dir;
    write_file("vornel", "#!/bin/sh\n");  // not executable
    fs::create_directory("bin");
    fs::create_directory("bin/vornel");   // a directory
    EXPECT_EQ(find_scorer("vornel", "bin", "").error, "./vornel is not an executable file");

    fs::create_directory("other");
    write_script("other/vornel", "#!/bin/sh\n");
    EXPECT_EQ(find_scorer("vornel", "bin:other", "").path, "other/vornel");
}

TEST(run_and_wait, reports_a_program_that_cannot_be_executed_without_a_shell)
{
    scoped_temp_dir dir;
    // No "#!" line: a command processor would run it as a shell script; we must not.
    write_script("vornel", "touch hacked\n");
    EXPECT_EQ(run_and_wait("./vornel", {}).start_error, "./vornel: Exec format error");
    EXPECT_FALSE(fs::exists("hacked"));

    write_script("ok", "#!/bin/sh\ntouch \"$1\"\nexit 3\n");
    const child_outcome outcome = run_and_wait("./ok", {"made by child"});
    EXPECT_EQ(outcome.start_error, "");
    EXPECT_EQ(outcome.failure, "exit status 3");
    EXPECT_TRUE(fs::exists("made by child"));
}

TEST(run_and_wait, tells_how_a_child_failed)
{
    scoped_temp_dir dir;
    write_script("fine", "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(run_and_wait("./fine", {}).failure, "");
    write_script("piped", "#!/bin/sh\nkill -PIPE $$\n");
    EXPECT_EQ(run_and_wait("./piped", {}).failure, "killed by signal 13 (Broken pipe)");
}

TEST(delete_file, leaves_devices_and_pipes_alone)
{
    scoped_temp_dir dir;
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    EXPECT_EQ(delete_file("pipe"), "Error: cannot delete file pipe: not a regular file");
    EXPECT_TRUE(fs::is_fifo("pipe"));
    // A device node of our own, like /dev/null (needs root): a faulty build then harms only it.
    if (::mknod("null.dev", S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(delete_file("null.dev"), "Error: cannot delete file null.dev: not a regular file");
        EXPECT_TRUE(fs::is_character_file("null.dev"));
        fs::create_symlink("null.dev", "null-link");
        EXPECT_EQ(delete_file("null-link"), "");  // the link itself goes; its target is untouched
        EXPECT_TRUE(fs::is_character_file("null.dev"));
    }
}

TEST(scorer_file_argument, keeps_keyword_and_option_lookalikes_file_names)
{
    EXPECT_EQ(scorer_file_argument("NULL"), "./NULL");
    EXPECT_EQ(scorer_file_argument("-x"), "./-x");
    EXPECT_EQ(scorer_file_argument("--help"), "./--help");
    EXPECT_EQ(scorer_file_argument("null"), "null");
    EXPECT_EQ(scorer_file_argument("net.txt"), "net.txt");
    EXPECT_EQ(scorer_file_argument("dir/NULL"), "dir/NULL");
}

}  // namespace
}  // namespace ppi
