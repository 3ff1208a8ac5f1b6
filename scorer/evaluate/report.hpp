#pragma once

// What `vornel evaluate` says about an evaluation: the best methods, the Markdown report and
// the precision plot.

#include "scorer/evaluate/evaluation.hpp"

#include <string>

namespace vornel {

// The method that proposes best (highest mean average precision; mean precision at the first
// top-k breaks ties, then list order), and the one that filters best (highest mean AUC; the
// AUC without degree-1 ends breaks ties). Empty when nothing was evaluated.
// `value` with `digits` decimals, without locale ("0.123").
std::string fixed(double value, int digits);

std::string best_proposer(const evaluation_result& result);
std::string best_filter(const evaluation_result& result);

// Why a network cannot be evaluated with these settings: no interaction left to hide (when
// proposing) or no pair to plant (when filtering), or too few interactions for a filtering
// count that ppi-refine reads as a count (above 1). Empty when it can.
std::string too_small_to_evaluate(const evaluation_result& result, const evaluation_settings& settings);

// The Markdown report: settings, the two tables with their random baselines, one
// recommendation line per job and the ppi-refine command line that follows. A network too
// small to evaluate gets that reason instead of tables and advice. With `cut_command` (a
// vornel line that writes the network as read here to `cut_path`, for a network read with
// options ppi-refine cannot pass on), that line comes first and ppi-refine refines the cut.
std::string evaluation_report(const evaluation_result& result, const evaluation_settings& settings,
                              const std::string& network_path, const std::string& cut_command = {},
                              const std::string& cut_path = {});

// A gnuplot script that draws mean precision against k for every method, as PNG onto
// gnuplot's standard output, with the data inline. The file name is never part of the script.
std::string precision_plot_script(const evaluation_result& result);

} // namespace vornel
