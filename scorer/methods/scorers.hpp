#pragma once

// The scorers of the methods that read the network alone: shared partners (shared_partners.cpp),
// paths of length three (l3.cpp), wcd (wcd.cpp) and partner similarity (partner_similarity.cpp).
// Each scores the pairs of a job and returns the records with a positive score.

#include "scorer/methods/scoring_job.hpp"

namespace vornel {

record_runs score_cn(const scoring_job& job);
record_runs score_jaccard(const scoring_job& job);
record_runs score_dice(const scoring_job& job);
record_runs score_cd(const scoring_job& job);
record_runs score_aa(const scoring_job& job);
record_runs score_ra(const scoring_job& job);
record_runs score_pcd(const scoring_job& job);
record_runs score_wcd(const scoring_job& job);
record_runs score_l3(const scoring_job& job);
// Pair similarities along the paths x-u-v-y (partner_similarity.cpp).
record_runs score_l3n(const scoring_job& job);
record_runs score_sim(const scoring_job& job);
record_runs score_mps(const scoring_job& job);
// Weighted forms: they use net.weights, or weight 1 for every interaction of a network
// without weights.
record_runs score_cn_w(const scoring_job& job);
record_runs score_aa_w(const scoring_job& job);
record_runs score_ra_w(const scoring_job& job);
record_runs score_pcd_w(const scoring_job& job);
record_runs score_wcd_w(const scoring_job& job);
record_runs score_l3_w(const scoring_job& job);

} // namespace vornel
