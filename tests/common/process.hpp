#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct program_result {
    int exit_code = -1; // -1 when it did not exit normally
    std::string out;    // standard output; with merged streams, both streams as written
    std::string err;    // standard error; empty with merged streams
};

struct run_options {
    // Standard error into the same file as standard output, so `out` is the transcript in
    // the order the program wrote it.
    bool merge_streams = false;
    // Replaces PATH in the child's environment; the rest of the environment (sanitizer options,
    // for one) is passed on. Unset: the environment as it is.
    std::optional<std::string> path_variable;
    // Called in the child just before the program starts (to set limits, signal dispositions or
    // other standard streams).
    std::function<void()> in_child;
};

// Starts `program` with `arguments` in the current directory without waiting, its standard
// output on `out_fd` and its standard error on `err_fd` (merge_streams is not consulted);
// returns the child's process id, or -1 when it could not be made.
pid_t start_program(const std::string& program, const std::vector<std::string>& arguments, const run_options& options,
                    int out_fd, int err_fd);

// Runs `program` with `arguments` in the current directory and waits for it. The streams go to
// files in the system's temporary directory, so the program's standard output is fully
// buffered, as in a script that redirects it.
program_result run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const run_options& options = {});

// The same with standard output and standard error on a pipe that nobody reads (its reading
// end is closed), as when the output goes into `head`; returns the exit status as run_program.
int run_program_into_broken_pipe(const std::string& program, const std::vector<std::string>& arguments,
                                 const run_options& options = {});

} // namespace test_support
