#pragma once

#include "scorer/cli/options.hpp"

#include <cstdio>
#include <string>

namespace vornel {

// Runs one scoring job as described by `opts` (already checked by parse_options): reads the
// network and pair list, scores, and writes OUTPUT atomically. Progress and the closing summary
// go to `log`, each line prefixed "vornel: ". Returns "" on success, else the error line.
std::string run_scoring(const options& opts, std::FILE* log);

}  // namespace vornel
