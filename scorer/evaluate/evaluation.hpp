#pragma once

// Held-out evaluation of the scoring methods on a network: how well each method ranks back
// interactions hidden from it (proposing), and how well it scores real interactions above
// planted random pairs (filtering). Nothing here prints except through the progress callback.

#include "scorer/evaluate/metrics.hpp"
#include "scorer/evaluate/proposal_tally.hpp"
#include "scorer/graph/network.hpp"
#include "scorer/graph/sampling.hpp"
#include "scorer/methods/method_entry.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vornel {

struct evaluation_settings {
    // The methods by name, as the command line gives them (the registry's evaluate_methods looks them up).
    std::vector<std::string> methods;
    double hide_share = 0.1;
    double plant_share = 0.25;
    double low_share = 0.2;
    int repeats = 5;
    std::uint64_t seed = 1;
    std::vector<std::uint64_t> top_k{100, 500, 1000};
    int rounds = 2; // of iterative methods
    unsigned threads = 1;
    bool propose = true;
    bool filter = true;
    // Proposing: the share of rows scored (scoring_job::rows), drawn afresh in each repeat by a
    // seeded hash of the protein, so the draw does not depend on threads; 1: every row, with
    // nothing drawn. A row emits only the pairs whose smaller protein it is, so the hidden pairs
    // counted are those whose smaller protein was drawn. Precision and recall at k are read at
    // the rank where the whole ranking's k-th pair falls among the drawn pairs on average (k
    // times their share of all pairs), so that they estimate the figures of every row; average
    // precision needs no such scaling.
    double row_share = 1.0;
    // Filtering: the share of the listed pairs (interactions and planted pairs alike) scored,
    // drawn afresh in each repeat by a seeded hash of the pair's place in the list; the network
    // scored still holds every pair. 1: every pair.
    double listed_share = 1.0;
    // Set by another thread to stop the evaluation: the scoring runs then throw scoring_cancelled.
    const std::atomic<bool>* cancel = nullptr;
};

struct proposal_row {
    std::string method;
    std::vector<spread> precision; // by top_k
    std::vector<spread> recall;    // by top_k
    spread average_precision;
    std::vector<double> average_precision_by_repeat;
    std::vector<double> curve; // mean precision at each curve_k
};

struct filter_row {
    std::string method;
    spread auc;
    spread low_share;          // planted share among the lowest-scored low_share
    spread auc_without_leaves; // without interactions that have an end of degree 1
};

struct evaluation_result {
    std::uint32_t proteins = 0;
    bool weighted = false; // the network's weights were used by the -w methods
    std::uint64_t interactions = 0;
    std::uint64_t hidden = 0;    // per repeat (the hidden pairs the scored rows can propose)
    std::uint64_t hidden_in_all_rows = 0; // per repeat, before the rows were drawn
    double scored_rows = 0;      // per repeat, on average (evaluation_settings::row_share)
    double scored_pair_share = 1; // per repeat, on average: the drawn rows' share of all pairs
    double random_precision = 0; // hidden pairs over non-interacting pairs of the kept network
    std::vector<std::uint64_t> curve_k;
    std::vector<proposal_row> proposal;
    std::uint64_t planted = 0;     // per repeat
    std::uint64_t listed = 0;      // per repeat: interactions and planted pairs
    double scored_listed = 0;      // per repeat, on average: those scored
    double planted_base_share = 0; // planted over all scored pairs
    std::vector<filter_row> filtering;
};

// Progress lines for standard error.
using progress_callback = std::function<void(const std::string&)>;

// Runs both evaluations for every method of `methods`, in that order. The figures depend on
// the settings and the network only, not on the thread count.
evaluation_result evaluate_methods(const network& net, std::span<const method_entry* const> methods,
                                   const evaluation_settings& settings, const progress_callback& progress);

} // namespace vornel
