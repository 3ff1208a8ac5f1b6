#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ppi::test {

// A fresh directory under the system's temporary directory that the test works in: the
// constructor makes it the working directory, the destructor restores the previous one and
// removes the directory with everything in it, also when an assertion failed.
class scoped_temp_dir {
public:
    scoped_temp_dir();
    ~scoped_temp_dir();
    scoped_temp_dir(const scoped_temp_dir&) = delete;
    scoped_temp_dir& operator=(const scoped_temp_dir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

void write_file(const std::filesystem::path& path, const std::string& contents);
std::string read_file(const std::filesystem::path& path);

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
