#include "process.hpp"

#include "temp_files.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace test_support {

namespace {

// The child's environment: ours, with PATH replaced when the options say so.
std::vector<std::string> child_environment(const run_options& options) {
    std::vector<std::string> entries;
    if (options.path_variable) entries.push_back("PATH=" + *options.path_variable);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!options.path_variable || std::string_view(*entry).substr(0, 5) != "PATH=") entries.emplace_back(*entry);
    }
    return entries;
}

std::vector<char*> null_terminated(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Waits for `child`; its exit status, or -1 when it did not exit normally or was never made.
int exit_code_of(pid_t child) {
    if (child < 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A new empty file in the system's temporary directory, open for writing.
struct temporary_output {
    std::string path = (std::filesystem::temp_directory_path() / "test-program-output-XXXXXX").string();
    int fd = ::mkstemp(path.data());

    temporary_output() {
        if (fd < 0) throw std::runtime_error("cannot make a temporary file in " + path);
    }
    ~temporary_output() {
        ::close(fd);
        ::unlink(path.c_str());
    }
    temporary_output(const temporary_output&) = delete;
    temporary_output& operator=(const temporary_output&) = delete;
};

} // namespace

pid_t start_program(const std::string& program, const std::vector<std::string>& arguments, const run_options& options,
                    int out_fd, int err_fd) {
    // Everything the child needs is made before the fork: the child only redirects and starts.
    std::vector<std::string> argument_strings{program};
    argument_strings.insert(argument_strings.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = child_environment(options);
    const std::vector<char*> argv = null_terminated(argument_strings);
    const std::vector<char*> envp = null_terminated(environment);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::dup2(out_fd, STDOUT_FILENO) < 0 || ::dup2(err_fd, STDERR_FILENO) < 0) ::_exit(126);
        if (options.in_child) options.in_child();
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return child;
}

program_result run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const run_options& options) {
    temporary_output out;
    if (options.merge_streams) {
        const int exit_code = exit_code_of(start_program(program, arguments, options, out.fd, out.fd));
        return {exit_code, read_file(out.path), ""};
    }
    temporary_output err;
    const int exit_code = exit_code_of(start_program(program, arguments, options, out.fd, err.fd));
    return {exit_code, read_file(out.path), read_file(err.path)};
}

int run_program_into_broken_pipe(const std::string& program, const std::vector<std::string>& arguments,
                                 const run_options& options) {
    int ends[2];
    if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
    ::close(ends[0]);
    // The test process itself must survive writing nothing into it; only the child writes.
    const int exit_code = exit_code_of(start_program(program, arguments, options, ends[1], ends[1]));
    ::close(ends[1]);
    return exit_code;
}

} // namespace test_support
