#pragma once

// Held-out evaluation of the scoring methods on a network: how well each method ranks back
// interactions hidden from it (proposing), and how well it scores real interactions above
// planted random pairs (filtering). Nothing here prints except through the progress callback.

#include "scorer/graph/network.hpp"
#include "scorer/evaluate/proposal_tally.hpp"
#include "scorer/graph/sampling.hpp"
#include "scorer/methods/method_entry.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vornel {

// The plain computation from stored records, which proposal_tally does without them.
// The 0-based positions of the hidden pairs in the ranking the records give (best first, ties
// broken as in the scorer's output), sorted; hidden pairs without a record are left out.
// `hidden` holds candidate_tie(smaller id, larger id) values.
std::vector<std::uint64_t> hidden_ranks(const record_runs& runs, std::vector<std::uint64_t> hidden);

// From sorted ranks (hidden_ranks) and the number of hidden pairs (>= ranks.size()).
proposal_figures figures_from_ranks(std::span<const std::uint64_t> ranks, std::uint64_t hidden_count,
                                    std::span<const std::uint64_t> top_k);

// The probability that a real item scores above a planted one (ties count one half).
double auc_with_ties(std::span<const double> real, std::span<const double> planted);

// The share of planted items among the lowest-scored `share` of all items; a tie group that
// straddles the cut counts in proportion, as a random order within ties would.
double planted_share_among_lowest(std::span<const double> scores, std::span<const std::uint8_t> is_planted, double share);

struct evaluation_settings {
    // The methods by name, as the command line gives them (evaluate_named_methods looks them up).
    std::vector<std::string> methods;
    double hide_share = 0.1;
    double plant_share = 0.25;
    double low_share = 0.2;
    int repeats = 5;
    std::uint64_t seed = 1;
    std::vector<std::uint64_t> top_k{100, 500, 1000};
    int rounds = 2;  // of iterative methods
    unsigned threads = 1;
    bool propose = true;
    bool filter = true;
    // Set by another thread to stop the evaluation: the scoring runs then throw scoring_cancelled.
    const std::atomic<bool>* cancel = nullptr;
};

// Mean and sample standard deviation over the repeats.
struct spread {
    double mean = 0;
    double sd = 0;
};
spread spread_of(std::span<const double> values);

struct proposal_row {
    std::string method;
    std::vector<spread> precision;  // by top_k
    std::vector<spread> recall;     // by top_k
    spread average_precision;
    std::vector<double> curve;      // mean precision at each curve_k
};

struct filter_row {
    std::string method;
    spread auc;
    spread low_share;       // planted share among the lowest-scored low_share
    spread auc_without_leaves;  // without interactions that have an end of degree 1
};

struct evaluation_result {
    std::uint32_t proteins = 0;
    bool weighted = false;             // the network's weights were used by the -w methods
    std::uint64_t interactions = 0;
    std::uint64_t hidden = 0;          // per repeat
    double random_precision = 0;       // hidden pairs over non-interacting pairs of the kept network
    std::vector<std::uint64_t> curve_k;
    std::vector<proposal_row> proposal;
    std::uint64_t planted = 0;         // per repeat
    double planted_base_share = 0;     // planted over all scored pairs
    std::vector<filter_row> filtering;
};

// Progress lines for standard error.
using progress_callback = std::function<void(const std::string&)>;

// Runs both evaluations for every method of `methods`, in that order. The figures depend on
// the settings and the network only, not on the thread count.
evaluation_result evaluate_methods(const network& net, std::span<const method_entry* const> methods,
                                   const evaluation_settings& settings, const progress_callback& progress);

// The k at which the precision curve is drawn: about 40 values from 1 to the largest top-k.
std::vector<std::uint64_t> curve_points(std::span<const std::uint64_t> top_k);

// The method that proposes best (highest mean average precision; mean precision at the first
// top-k breaks ties, then list order), and the one that filters best (highest mean AUC; the
// AUC without degree-1 ends breaks ties). Empty when nothing was evaluated.
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

}  // namespace vornel
