#pragma once

#include "run/command_line.hpp"

namespace ppi {

// The whole run, reported on standard output: refuse when a protected file is at stake;
// delete the scorer's scratch files; count ppi_filename; delete output_file; filter phase
// (score the network's own pairs, select by filter_min_score); count output_file; add phase
// when add_min_score > 0 (score proposed pairs, select by add_min_score); count output_file
// again; print the three count lines. Every failure is one "Error: " line and the run goes on.
void run_pipeline(const run_parameters& parameters);

}  // namespace ppi
