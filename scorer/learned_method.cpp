// The learned method: a logistic regression over path features (features.hpp), trained at run
// time on the network itself, never on anything else.
//
// Proposing: each of a few rounds hides a share of the interactions, lists the candidates of
// the rest between a hashed sample of the proteins, and takes the hidden ones as positives and a
// fixed-size sample of the others as negatives (the sample keeps the candidates with the
// smallest hash of their pair, so it does not depend on threads). Besides the path features the
// model sees each endpoint's best l3, from one more pass over the rows before scoring.
// Filtering: the interactions, with features as if each were absent, are the positives; as
// many non-interacting pairs drawn in proportion to degree (as planted noise is) are the
// negatives. The score is the fitted probability.
#include "scorer/evaluation.hpp"
#include "scorer/features.hpp"
#include "scorer/logistic_model.hpp"
#include "scorer/methods.hpp"

#include <algorithm>
#include <cmath>
#include <queue>

namespace vornel {

namespace {

constexpr std::uint64_t learn_seed = 20260801;
constexpr int proposal_rounds = 2;
constexpr double hidden_share = 0.1;
constexpr std::size_t negatives_per_positive = 20;
// Hidden interactions wanted, per round, among the pairs of the sampled proteins: the sampled
// share of proteins is sqrt(this / hidden), so large networks train on a small part of the rows.
// measured: human pathways network, -t 2: both rounds together 12.4 s, against 10.9 s for one
// pass over every row in the same run (each round used to be such a pass and more).
constexpr double sampled_positives = 2000;

struct training_set {
    std::vector<double> rows;
    std::vector<unsigned char> labels;

    template <class Row>
    void add(const Row& features, bool positive) {
        rows.insert(rows.end(), features.begin(), features.end());
        labels.push_back(positive ? 1 : 0);
    }
};

std::uint64_t pair_hash(std::uint64_t tie, std::uint64_t seed) {
    seeded_random mix(tie ^ seed);
    return mix.next();
}

struct sampled_pair {
    std::uint64_t hash;
    std::uint64_t tie;
    pair_counts counts;
    friend bool operator<(const sampled_pair& x, const sampled_pair& y) {
        return x.hash != y.hash ? x.hash < y.hash : x.tie < y.tie;
    }
};

// The proteins whose hash falls below `share` of the hash range, in increasing id order.
std::vector<std::uint32_t> sampled_proteins(std::uint32_t count, double share, std::uint64_t seed) {
    std::vector<std::uint32_t> sample;
    const double range = 18446744073709551616.0;  // 2^64
    for (std::uint32_t x = 0; x < count; ++x) {
        if (share >= 1.0 || double(pair_hash(x, seed)) < share * range) sample.push_back(x);
    }
    return sample;
}

// One proposal round: the network without a hidden share; the pairs between sampled proteins
// that are candidates of the rest, labelled (the hidden ones positive, a hash-picked sample of
// the others negative). Each sampled protein's whole row is visited, which gives its best l3 as
// well, so the pairs' relative features are exact on the sample without a pass over every row.
void add_proposal_round(const network& net, std::span<const pair_ids> interactions, unsigned threads, int round,
                        training_set& training) {
    const std::uint64_t seed = learn_seed + std::uint64_t(round) * 7919;
    const hold_out split = split_interactions(interactions, hidden_share, seed);
    const network kept = network_with_interactions(net, split.kept);
    const double share = split.hidden.empty() ? 1.0 : std::sqrt(sampled_positives / double(split.hidden.size()));
    const std::vector<std::uint32_t> sample = sampled_proteins(kept.protein_count(), share, seed);
    std::vector<unsigned char> in_sample(kept.protein_count(), 0);
    for (const std::uint32_t x : sample) in_sample[x] = 1;
    std::vector<std::uint64_t> hidden;
    for (const auto& p : split.hidden) {
        if (in_sample[p.first] && in_sample[p.second]) hidden.push_back(candidate_tie(p.first, p.second));
    }
    std::sort(hidden.begin(), hidden.end());
    const std::size_t negatives = std::max<std::size_t>(100, negatives_per_positive * hidden.size());

    const unsigned count = std::max(1u, threads);
    std::vector<double> best(kept.protein_count(), 0.0);  // row u's entry is written by row u only
    std::vector<std::vector<sampled_pair>> positives(count);
    std::vector<std::priority_queue<sampled_pair>> samples(count);  // the smallest hashes; top is the largest
    visit_whole_rows(kept, sample, count, [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
        best[u] = std::max(best[u], c.l3);
        if (v < u || !in_sample[v]) return;
        const std::uint64_t tie = candidate_tie(u, v);
        if (std::binary_search(hidden.begin(), hidden.end(), tie)) {
            positives[t].push_back({0, tie, c});
            return;
        }
        const sampled_pair candidate{pair_hash(tie, seed), tie, c};
        auto& drawn = samples[t];
        if (drawn.size() < negatives || candidate < drawn.top()) {
            if (drawn.size() == negatives) drawn.pop();
            drawn.push(candidate);
        }
    });
    std::vector<sampled_pair> found, drawn;
    for (auto& list : positives) found.insert(found.end(), list.begin(), list.end());
    for (auto& list : samples) {
        for (; !list.empty(); list.pop()) drawn.push_back(list.top());
    }
    std::sort(found.begin(), found.end());
    std::sort(drawn.begin(), drawn.end());
    if (drawn.size() > negatives) drawn.resize(negatives);
    log_best_l3(best);
    auto features = [&](const sampled_pair& p) {
        return proposal_features_of(p.counts, best[std::uint32_t(p.tie >> 32)], best[std::uint32_t(p.tie)]);
    };
    for (const auto& p : found) training.add(features(p), true);
    for (const auto& p : drawn) training.add(features(p), false);
}

logistic_model train_for_proposing(const network& net, unsigned threads) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    training_set training;
    for (int round = 0; round < proposal_rounds; ++round) add_proposal_round(net, interactions, threads, round, training);
    return fit_logistic(training.rows, proposal_feature_count, training.labels);
}

logistic_model train_for_filtering(const network& net, unsigned threads) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    std::vector<pair_ids> pairs = interactions;
    const std::vector<pair_ids> drawn = plant_by_degree(net, interactions, 1.0, learn_seed);
    pairs.insert(pairs.end(), drawn.begin(), drawn.end());
    const std::vector<pair_counts> counts = listed_pair_counts(net, pairs, threads);
    training_set training;
    for (std::size_t i = 0; i < counts.size(); ++i) training.add(features_of(counts[i]), i < interactions.size());
    return fit_logistic(training.rows, feature_count, training.labels);
}

}  // namespace

record_runs score_learn(const scoring_job& job) {
    const network& net = *job.net;
    const unsigned threads = std::max(1u, job.threads);
    record_runs runs = make_runs(job);
    if (job.listed) {
        const logistic_model model = train_for_filtering(net, threads);
        const std::vector<pair_counts> counts = listed_pair_counts(net, job.listed->pairs, threads);
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const double score = model.probability(features_of(counts[i]));
            if (score > 0) runs[0].push_back({descending_key(score), i});
        }
        return runs;
    }
    const logistic_model model = train_for_proposing(net, threads);
    std::vector<double> best = best_l3_per_protein(net, threads);
    log_best_l3(best);
    visit_candidates(net, threads, [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
        const double score = model.probability(proposal_features_of(c, best[u], best[v]));
        if (score > 0) runs[t].push_back({descending_key(score), candidate_tie(u, v)});
    });
    return runs;
}

}  // namespace vornel
