#pragma once

// `vornel evaluate [OPTIONS] NETWORK`: the held-out evaluation of the methods on one network,
// as a Markdown report on standard output.

#include "io/table_format.hpp"
#include "scorer/evaluate/evaluation.hpp"

#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace vornel {

struct evaluate_options {
    bool help = false;
    std::string network_path;
    std::string plot_path;  // empty: no plot
    evaluation_settings settings;  // threads 0: one per core
    // --sample: the share of rows and listed pairs scored per repeat; 0: chosen from the
    // network's size (sampled_share_for).
    double sample_share = 0;
    ppi::io::format_options formats;
    // The reading options as given, one word each ("--taxon", "9606", "--genetic"): ppi-refine
    // cannot pass them on, so its line refines a plain cut that vornel writes with them.
    std::vector<std::string> reading_options;
};

struct parsed_evaluate_options {
    evaluate_options values;
    std::vector<std::string> errors;  // one line each; empty when the command line is usable
};

// Parses the arguments after "evaluate". Numbers are checked strictly, method names against
// the registry; every problem is reported. Without --methods every unweighted method but auto is used.
parsed_evaluate_options parse_evaluate_options(std::span<const char* const> args);

std::string evaluate_help_text();

// Networks up to this many interactions are evaluated on every row and pair by default.
constexpr double unsampled_interactions = 2'000'000;

// The share scored per repeat when --sample is not given: 1 up to unsampled_interactions,
// then so much that about that many interactions' worth is scored.
double sampled_share_for(std::uint64_t interactions);

// Reads the network, evaluates, writes the report to `out` and the plot (through gnuplot)
// when asked; progress goes to `log`. Returns an error text, empty on success. A plot that
// cannot be written (onto the network or the report, into a missing directory, without
// gnuplot) and a network without interactions are refused before any evaluation.
std::string run_evaluate(const evaluate_options& opts, std::FILE* out, std::FILE* log);

}  // namespace vornel
