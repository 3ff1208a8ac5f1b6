#pragma once

#include <optional>
#include <string>

namespace ppi {

// The seven command-line values, in command-line order.
struct run_parameters {
    std::string ppi_filename;
    int iterations = 0;
    std::string filter_method;
    double filter_min_score = 0.0;
    std::string add_method;
    double add_min_score = 0.0;
    std::string output_file;
};

// The run parameters when exactly seven arguments follow the program name (argc == 8),
// otherwise nothing. Numbers are read leniently, as atoi and atof read them: a text that is not
// a number gives 0.
std::optional<run_parameters> parse_run_parameters(int argc, const char* const* argv);

// "Usage:\n\t<program> ppi_filename #iterations ... output_file\n".
std::string usage_text(const std::string& program_name);

// atoi rules (leading blanks, a sign, decimal digits up to the first other character, 0 when
// there is none); values beyond int are clamped instead of being undefined.
int parse_iterations(const char* text);

}  // namespace ppi
