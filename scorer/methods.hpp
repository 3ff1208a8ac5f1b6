#pragma once

#include "scorer/row_engine.hpp"

#include <span>
#include <string_view>

namespace vornel {

// Scores the pairs of a job; returns the records with a positive score.
using score_function = record_runs (*)(const scoring_job& job);

struct method_entry {
    std::string_view name;
    std::string_view summary;  // one line for the help text
    bool iterative;            // uses the ITERATIONS argument
    bool weighted;             // uses the interaction weights (the network's third column)
    score_function score;
};

// All methods, in the order the help text lists them.
std::span<const method_entry> all_methods();

// Whether `vornel evaluate` compares the method when no --methods are given.
bool in_default_evaluation(const method_entry& entry);

// The method called `name`, or null.
const method_entry* find_method(std::string_view name);

record_runs score_cn(const scoring_job& job);
record_runs score_jaccard(const scoring_job& job);
record_runs score_dice(const scoring_job& job);
record_runs score_cd(const scoring_job& job);
record_runs score_aa(const scoring_job& job);
record_runs score_ra(const scoring_job& job);
record_runs score_pcd(const scoring_job& job);
record_runs score_wcd(const scoring_job& job);
record_runs score_l3(const scoring_job& job);
// Pair similarities along the paths x-u-v-y (partner_similarity_methods.cpp).
record_runs score_l3n(const scoring_job& job);
record_runs score_sim(const scoring_job& job);
record_runs score_mps(const scoring_job& job);
// Trained on the network itself at run time (learned_method.cpp); a listed pair's features are
// computed as if the pair did not interact.
record_runs score_learn(const scoring_job& job);
// Evaluates candidate methods on the network (choosing_method.cpp), says on job.note which it
// chose and why, and runs it.
record_runs score_auto(const scoring_job& job);

// Weighted forms: they use net.weights, or weight 1 for every interaction of a network
// without weights.
record_runs score_cn_w(const scoring_job& job);
record_runs score_aa_w(const scoring_job& job);
record_runs score_ra_w(const scoring_job& job);
record_runs score_pcd_w(const scoring_job& job);
record_runs score_wcd_w(const scoring_job& job);
record_runs score_l3_w(const scoring_job& job);

}  // namespace vornel
