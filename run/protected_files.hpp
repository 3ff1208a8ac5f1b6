#pragma once

#include <string>

#include "run/command_line.hpp"

namespace ppi {

// The scratch files of the scorer and the scored-pair file, all in the working directory.
inline const std::string scored_pair_file = "ppi.temp.txt";
inline const std::string scorer_scratch_ids = "prtn.temp.ids";
inline const std::string scorer_scratch_pairs = "ppi.fatemp.txt";

// True when the two names denote the same file: the same device and inode when both exist
// (so hard and symbolic links count), otherwise the same absolute path once "." and ".." and
// the links of existing directories are resolved.
bool same_file(const std::string& first, const std::string& second);

// One "Error: " line (without newline) when the run must not start because it would destroy
// one of its own inputs: output_file is ppi_filename, or either of them is one of the run's
// fixed files. Empty when the run may go on.
std::string check_protected_files(const run_parameters& parameters);

}  // namespace ppi
