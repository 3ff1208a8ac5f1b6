#pragma once

// Drawing a PNG with gnuplot without ever handing it a file name: the script sets no output,
// so gnuplot writes the image to its standard output, which is read into an output_file. A file
// name is then data only (no quoting to get wrong), and a name gnuplot could not open never
// sends the image anywhere else.

#include "scorer/output/output_file.hpp"

#include <string>

namespace vornel {

// Whether an executable `gnuplot` is on PATH (where the drawing will look for it).
bool gnuplot_on_path();

// Runs gnuplot on `script` and writes what it prints into `out` (not committed). Returns an
// error text, empty on success.
std::string draw_with_gnuplot(const std::string& script, output_file& out);

}  // namespace vornel
