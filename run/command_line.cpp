#include "command_line.hpp"

#include <climits>
#include <cstdlib>

namespace ppi {

int parse_iterations(const char* text)
{
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

std::optional<run_parameters> parse_run_parameters(int argc, const char* const* argv)
{
    if (argc != 8) return std::nullopt;
    run_parameters parameters;
    parameters.ppi_filename = argv[1];
    parameters.iterations = parse_iterations(argv[2]);
    parameters.filter_method = argv[3];
    parameters.filter_min_score = std::atof(argv[4]);
    parameters.add_method = argv[5];
    parameters.add_min_score = std::atof(argv[6]);
    parameters.output_file = argv[7];
    return parameters;
}

std::string usage_text(const std::string& program_name)
{
    return "Usage:\n\t" + program_name +
           " ppi_filename #iterations filter_method filter_min_score add_method add_min_score"
           " output_file\n";
}

}  // namespace ppi
