#pragma once

#include "io/table_format.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vornel {

enum class requested_action { score, help, version };

// The command line, parsed: `vornel [OPTIONS] NETWORK PAIRS METHOD ITERATIONS OUTPUT`.
struct options {
    requested_action action = requested_action::score;
    std::string network_path;
    std::string pairs_path;  // "NULL": propose candidates
    std::string method;
    long long iterations = 1;
    unsigned threads = 0;  // 0: one per core
    std::string output_path;
    ppi::io::format_options formats;  // --format, --columns, --taxon, --ids, --genetic, --min-weight
    std::string names_path;           // --names: readable names for OUTPUT's fourth column
    std::string write_network_path;   // --write-network: write the network read, score nothing
    std::optional<std::uint64_t> top;  // --top K: only the best K pairs are written
    std::optional<double> min_score;   // --min-score S: only pairs scoring at least S

    bool proposes_candidates() const { return pairs_path == "NULL"; }
};

struct parsed_options {
    options values;
    std::vector<std::string> errors;  // one line each; empty when the command line is usable
    bool missing_arguments = false;   // too few positional arguments: show the usage
};

// Parses the arguments after the program name. Checks numbers strictly and the method name,
// and reports every problem found, not only the first.
parsed_options parse_options(std::span<const char* const> args);

// The help text: usage, options and the method list.
std::string help_text();

// One line: program name and version.
std::string version_line();

}  // namespace vornel
