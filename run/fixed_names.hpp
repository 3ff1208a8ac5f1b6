#pragma once

#include <array>
#include <string>

// The fixed names of a ppi-refine run: the scorer it starts, the keyword that asks it to propose
// pairs, and the files the run and the scorer keep in the working directory. Scripts around the
// program know these names, so they stay as they are.
namespace ppi {

// The scorer's program name, looked up as find_scorer describes.
inline const std::string scorer_name = "vornel";

// Directory prefix placed before the scorer's name in the echoed scorer command. Empty: the
// scorer is looked up (see find_scorer) rather than named by path.
inline const std::string scorer_dir_prefix;

// The pair-list argument that asks the scorer to propose new pairs.
inline const std::string proposed_pairs = "NULL";

// The scored-pair file the scorer writes and each phase selects from.
inline const std::string scored_pair_file = "ppi.temp.txt";

// The scorer's scratch files, deleted at the start of a run.
inline const std::string scorer_scratch_ids = "prtn.temp.ids";
inline const std::string scorer_scratch_pairs = "ppi.fatemp.txt";

// Every file the run owns in the working directory: none of them may be an input or the output.
inline const std::array<const std::string*, 3> run_files = {&scored_pair_file, &scorer_scratch_ids,
                                                            &scorer_scratch_pairs};

}  // namespace ppi
