#pragma once

#include <string>

#include "io/unique_fd.hpp"
#include "run/command_line.hpp"
#include "run/fixed_names.hpp"

namespace ppi {

// True when the two names denote the same file: the same device and inode when both exist
// (so hard and symbolic links count), otherwise the same absolute path once "." and ".." and
// the links of existing directories are resolved.
bool same_file(const std::string& first, const std::string& second);

// One "Error: " line (without newline) when the run must not start because it would destroy
// one of its own inputs: output_file is ppi_filename, or either of them is one of the run's
// fixed files; or because a file is of a kind the run cannot use: a ppi_filename that is not a
// regular file (a pipe or device: it is read three times, by the count and by each scorer
// run), an output_file that is neither a regular file nor a symbolic link (it is deleted and
// rewritten). Empty when the run may go on.
std::string check_protected_files(const run_parameters& parameters);

// An exclusive lock on the working directory, held from acquire() until destruction, so that
// two runs never share the fixed files (one would select the other's scored pairs). It locks a
// descriptor of the directory itself (flock), which creates no file and ends with the process.
class working_directory_lock {
public:
    working_directory_lock() = default;
    working_directory_lock(const working_directory_lock&) = delete;
    working_directory_lock& operator=(const working_directory_lock&) = delete;

    // Empty when the lock is held, or when the file system offers no locks (the run then goes
    // on unprotected, as before); one "Error: ...; nothing done" line when another run holds it.
    std::string acquire();

private:
    io::unique_fd directory_;
};

}  // namespace ppi
