#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "temp_files.hpp"

namespace ppi::test {

using test_files::read_file;
using test_files::scoped_temp_dir;
using test_files::write_file;

// Writes an executable file.
void write_script(const std::filesystem::path& path, const std::string& contents);

struct program_run {
    std::string transcript;  // standard output and standard error, interleaved as written
    int exit_status = -1;    // -1 when it did not exit normally
};

// Runs `program` with `arguments` in the working directory, with PATH set to `path_variable`,
// and waits for it.
program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& path_variable);

// The same with standard output and standard error on a pipe that nobody reads (its reading
// end is closed), as when the output goes into `head`; returns the exit status as run_program.
int run_program_into_broken_pipe(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& path_variable);

}  // namespace ppi::test
