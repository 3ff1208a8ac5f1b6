#include "test_support.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace ppi::test {

void write_script(const std::filesystem::path& path, const std::string& contents)
{
    write_file(path, contents);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

namespace {

// Runs `program` with PATH replaced, its standard output and error going to `output_fd`.
int run_with_output(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& path_variable, int output_fd)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Keep the rest of the environment (sanitizer options, for one); replace PATH.
    const std::string path_entry = "PATH=" + path_variable;
    std::vector<char*> envp{const_cast<char*>(path_entry.c_str())};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).substr(0, 5) != "PATH=") envp.push_back(*entry);
    }
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output_fd, STDOUT_FILENO);
        ::dup2(output_fd, STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& path_variable)
{
    // The transcript goes to a file, so the program's stdout is fully buffered, as in a script
    // that redirects it: the ordering of our lines and the scorer's is then really tested.
    // In the temporary directory the system names (TMPDIR), like every other test file.
    std::string transcript_name = (std::filesystem::temp_directory_path() / "ppi-refine-transcript-XXXXXX").string();
    const int transcript = ::mkstemp(transcript_name.data());
    if (transcript < 0) throw std::runtime_error("mkstemp failed");
    const int exit_status = run_with_output(program, arguments, path_variable, transcript);
    ::close(transcript);
    program_run run{read_file(transcript_name), exit_status};
    ::unlink(transcript_name.c_str());
    return run;
}

int run_program_into_broken_pipe(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& path_variable)
{
    int ends[2];
    if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
    ::close(ends[0]);
    // The test process itself must survive writing nothing into it; only the child writes.
    const int exit_status = run_with_output(program, arguments, path_variable, ends[1]);
    ::close(ends[1]);
    return exit_status;
}

}  // namespace ppi::test
