// The learned method: a logistic regression over path features (features.hpp), trained at run
// time on the network itself, never on anything else.
//
// Proposing: each of a few rounds hides a share of the interactions, lists the candidates of
// the rest, and takes the hidden ones as positives and a fixed-size sample of the others as
// negatives (the sample keeps the candidates with the smallest hash of their pair, so it does
// not depend on threads). Filtering: the interactions, with features as if each were absent,
// are the positives; as many non-interacting pairs drawn in proportion to degree (as planted
// noise is) are the negatives. The score is the fitted probability.
#include "scorer/evaluation.hpp"
#include "scorer/features.hpp"
#include "scorer/logistic_model.hpp"
#include "scorer/methods.hpp"

#include <algorithm>
#include <queue>

namespace vornel {

namespace {

constexpr std::uint64_t learn_seed = 20260801;
constexpr int proposal_rounds = 2;
constexpr double hidden_share = 0.1;
constexpr std::size_t negatives_per_positive = 20;

struct training_set {
    std::vector<double> rows;
    std::vector<unsigned char> labels;

    void add(const feature_row& features, bool positive) {
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
    feature_row features;
    friend bool operator<(const sampled_pair& x, const sampled_pair& y) {
        return x.hash != y.hash ? x.hash < y.hash : x.tie < y.tie;
    }
};

// One proposal round: the candidates of the network without a hidden share, labelled.
void add_proposal_round(const network& net, std::span<const pair_ids> interactions, unsigned threads, int round,
                        training_set& training) {
    const std::uint64_t seed = learn_seed + std::uint64_t(round) * 7919;
    const hold_out split = split_interactions(interactions, hidden_share, seed);
    const network kept = network_with_interactions(net, split.kept);
    std::vector<std::uint64_t> hidden;
    for (const auto& p : split.hidden) hidden.push_back(candidate_tie(p.first, p.second));
    std::sort(hidden.begin(), hidden.end());
    const std::size_t negatives = std::max<std::size_t>(100, negatives_per_positive * hidden.size());

    const unsigned count = std::max(1u, threads);
    std::vector<std::vector<sampled_pair>> positives(count);
    std::vector<std::priority_queue<sampled_pair>> samples(count);  // the smallest hashes; top is the largest
    visit_candidates(kept, count, [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
        const std::uint64_t tie = candidate_tie(u, v);
        if (std::binary_search(hidden.begin(), hidden.end(), tie)) {
            positives[t].push_back({0, tie, features_of(c)});
            return;
        }
        const sampled_pair candidate{pair_hash(tie, seed), tie, {}};
        auto& sample = samples[t];
        if (sample.size() < negatives || candidate < sample.top()) {
            if (sample.size() == negatives) sample.pop();
            sample.push({candidate.hash, tie, features_of(c)});
        }
    });
    std::vector<sampled_pair> found, drawn;
    for (auto& list : positives) found.insert(found.end(), list.begin(), list.end());
    for (auto& sample : samples) {
        for (; !sample.empty(); sample.pop()) drawn.push_back(sample.top());
    }
    std::sort(found.begin(), found.end());
    std::sort(drawn.begin(), drawn.end());
    if (drawn.size() > negatives) drawn.resize(negatives);
    for (const auto& p : found) training.add(p.features, true);
    for (const auto& p : drawn) training.add(p.features, false);
}

logistic_model train_for_proposing(const network& net, unsigned threads) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    training_set training;
    for (int round = 0; round < proposal_rounds; ++round) add_proposal_round(net, interactions, threads, round, training);
    return fit_logistic(training.rows, feature_count, training.labels);
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
    visit_candidates(net, threads, [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
        const double score = model.probability(features_of(c));
        if (score > 0) runs[t].push_back({descending_key(score), candidate_tie(u, v)});
    });
    return runs;
}

}  // namespace vornel
