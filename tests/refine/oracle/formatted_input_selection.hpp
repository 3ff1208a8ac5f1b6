#pragma once

#include <cstdio>

namespace ppi::oracle {

// Reference selection pass written with the C library's formatted input and output, as plainly
// as the documented behaviour reads: tokens with fscanf "%s" (into a 64 KiB buffer, so tokens
// must be shorter), scores with "%lf", lines with fprintf "%s\t%s\t%.2E\n", reports with
// printf-style formats. Appends to `output_file` (mode "a+"), closes `scored`, and writes the
// report (or the open error) to `console`. Only meaningful for well-formed scored-pair files.
void select_scored_ppis(double threshold, const char* output_file, std::FILE* scored,
                        std::FILE* console);

}  // namespace ppi::oracle
