#pragma once

#include "scorer/methods/scoring_job.hpp"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace vornel {

// Evaluates candidate methods on the network (auto.cpp), says on job.note which it
// chose and why, and runs it.
record_runs score_auto(const scoring_job& job);

// How clearly a challenger must lead l3 on the hold-outs to propose instead of it.
struct lead_rule {
    double min_gain = 0;  // the mean lead, at least this share of l3's mean figure
    double margin_sd = 0; // and either at least this many sample standard deviations of the leads
    int wins_needed = 0;  // or a lead on at least this many hold-outs
};

// One candidate's figure on each hold-out (the same hold-outs, in the same order, for all).
struct candidate_figures {
    std::string name;
    std::vector<double> by_hold_out;
};

// A challenger's lead over l3: the per-hold-out differences' mean and sample standard deviation
// (n - 1; 0 for fewer than two hold-outs), the hold-outs it wins (a strictly higher figure), and
// which parts of the rule it meets.
struct lead_over_l3 {
    double mean = 0;
    double sd = 0;
    int wins = 0;
    bool enough_gain = false;
    bool by_margin = false;
    bool by_wins = false;
    bool clear() const { return enough_gain && (by_margin || by_wins); }
};

lead_over_l3 lead_of(const candidate_figures& challenger, const candidate_figures& l3, const lead_rule& rule);

struct proposer_choice {
    std::size_t chosen = 0; // index of the candidate that runs; 0 (l3) when none leads clearly
    lead_over_l3 lead;      // the chosen one's lead (nothing when l3 runs)
};

// candidates[0] is l3. Among the challengers that lead it clearly the one with the highest mean
// figure is chosen (the first listed on a tie); without one, l3.
proposer_choice choose_proposer(std::span<const candidate_figures> candidates, const lead_rule& rule);

} // namespace vornel
