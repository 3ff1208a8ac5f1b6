// The learned method: a logistic regression over path features (features.hpp), trained at run
// time on the network itself, never on anything else.
//
// Proposing: each of a few rounds hides a share of the interactions, lists the candidates of
// the rest between a hashed sample of the proteins, and takes the hidden ones as positives and a
// fixed-size sample of the others as negatives (the sample keeps the candidates with the
// smallest hash of their pair, so it does not depend on threads). Besides the path features the
// model sees each endpoint's best l3, from one more pass over the rows before scoring.
// A second model, on the same inputs, then reorders the first's best candidates (a shortlist of
// fixed size): the first is fitted against candidates of every kind, the second only against
// the best of them, which is where the top of the ranking is decided. It is trained on each
// round's own shortlist of sampled pairs.
// Filtering: the interactions, with features as if each were absent, are the positives; as
// many non-interacting pairs drawn in proportion to degree (as planted noise is) are the
// negatives. The score is the fitted probability.
#include "scorer/learn/learn.hpp"

#include "scorer/graph/sampling.hpp"
#include "scorer/learn/features.hpp"
#include "scorer/learn/logistic_model.hpp"
#include "scorer/methods/row_engine.hpp"

#include <algorithm>
#include <cmath>
#include <queue>
#include <string>

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
// The second model is used only when its training found at least this many hidden pairs among
// the first model's best candidates.
constexpr std::size_t reranking_min_positives = 20;

// Mixed into a round's seed for its sample of negative pairs, so that the sample does not
// follow the protein sample drawn with the round's seed itself.
constexpr std::uint64_t negative_pair_salt = 0x5bd1e9955bd1e995ULL;

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

// One proposal round: the network without a hidden share, a hashed sample of its proteins, the
// hidden pairs between sampled proteins, and the sampled rows' best l3 (log(1 + x)).
struct proposal_round {
    network kept;
    std::vector<std::uint32_t> sample;
    std::vector<unsigned char> in_sample;
    std::vector<std::uint64_t> hidden; // candidate_tie of each, sorted
    std::vector<double> best;
    double share = 1; // of the proteins sampled
    std::uint64_t seed = 0;

    bool is_hidden(std::uint64_t tie) const { return std::binary_search(hidden.begin(), hidden.end(), tie); }
};

proposal_round make_proposal_round(const network& net, std::span<const pair_ids> interactions, int round) {
    proposal_round r;
    r.seed = learn_seed + std::uint64_t(round) * 7919;
    const hold_out split = split_interactions(interactions, hidden_share, r.seed);
    r.kept = network_with_interactions(net, split.kept);
    r.share = split.hidden.empty() ? 1.0 : std::min(1.0, std::sqrt(sampled_positives / double(split.hidden.size())));
    r.sample = hashed_sample(r.kept.protein_count(), r.share, r.seed);
    r.in_sample.assign(r.kept.protein_count(), 0);
    for (const std::uint32_t x : r.sample) r.in_sample[x] = 1;
    for (const auto& p : split.hidden) {
        if (r.in_sample[p.first] && r.in_sample[p.second]) r.hidden.push_back(candidate_tie(p.first, p.second));
    }
    std::sort(r.hidden.begin(), r.hidden.end());
    return r;
}

// The first stage's training from one round: the pairs between sampled proteins that are
// candidates of the rest, labelled (the hidden ones positive, a hash-picked sample of the others
// negative). Each sampled protein's whole row is visited, which gives its best l3 as well, so the
// pairs' relative features are exact on the sample without a pass over every row.
void add_proposal_round(proposal_round& r, unsigned threads, training_set& training, const std::atomic<bool>* cancel) {
    const std::size_t negatives = std::max<std::size_t>(100, negatives_per_positive * r.hidden.size());
    const unsigned count = std::max(1u, threads);
    r.best.assign(r.kept.protein_count(), 0.0); // row u's entry is written by row u only
    std::vector<std::vector<sampled_pair>> positives(count);
    std::vector<std::priority_queue<sampled_pair>> samples(count); // the smallest hashes; top is the largest
    visit_sampled_pairs(
        r.kept, r.sample, r.in_sample, count,
        [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            const std::uint64_t tie = candidate_tie(u, v);
            if (r.is_hidden(tie)) {
                positives[t].push_back({0, tie, c});
                return;
            }
            const sampled_pair candidate{pair_hash(tie, r.seed ^ negative_pair_salt), tie, c};
            auto& drawn = samples[t];
            if (drawn.size() < negatives || candidate < drawn.top()) {
                if (drawn.size() == negatives) drawn.pop();
                drawn.push(candidate);
            }
        },
        &r.best, cancel);
    std::vector<sampled_pair> found, drawn;
    for (auto& list : positives) found.insert(found.end(), list.begin(), list.end());
    for (auto& list : samples) {
        for (; !list.empty(); list.pop()) drawn.push_back(list.top());
    }
    std::sort(found.begin(), found.end());
    std::sort(drawn.begin(), drawn.end());
    if (drawn.size() > negatives) drawn.resize(negatives);
    log_best_l3(r.best);
    auto features = [&](const sampled_pair& p) {
        const pair_ids uv = pair_of(p.tie);
        return proposal_features_of(p.counts, r.best[uv.first], r.best[uv.second]);
    };
    for (const auto& p : found) training.add(features(p), true);
    for (const auto& p : drawn) training.add(features(p), false);
}

// A candidate held for the second stage: its first-stage record and what its features need.
struct shortlisted {
    score_record record;
    pair_counts counts;
    friend bool operator<(const shortlisted& x, const shortlisted& y) { return x.record < y.record; }
};

// Keeps the best `limit` candidates of each thread (by record: best score, then pair order);
// hands each candidate it lets go to `let_go`.
class shortlist_keeper {
public:
    shortlist_keeper(unsigned threads, std::size_t limit) : heaps_(std::max(1u, threads)), limit_(limit) {}

    template <class LetGo>
    void offer(unsigned t, const shortlisted& candidate, LetGo let_go) {
        auto& heap = heaps_[t]; // top: the worst kept
        if (limit_ == 0) {
            let_go(candidate.record);
        } else if (heap.size() < limit_) {
            heap.push(candidate);
        } else if (candidate < heap.top()) {
            let_go(heap.top().record);
            heap.pop();
            heap.push(candidate);
        } else {
            let_go(candidate.record);
        }
    }

    // The best `limit` over all threads, best first; the others kept go to `let_go`.
    template <class LetGo>
    std::vector<shortlisted> best(LetGo let_go) {
        std::vector<shortlisted> all;
        for (auto& heap : heaps_) {
            for (; !heap.empty(); heap.pop()) all.push_back(heap.top());
        }
        std::sort(all.begin(), all.end());
        for (std::size_t i = std::min(limit_, all.size()); i < all.size(); ++i) let_go(all[i].record);
        if (all.size() > limit_) all.resize(limit_);
        return all;
    }

private:
    std::vector<std::priority_queue<shortlisted>> heaps_;
    std::size_t limit_;
};

// The second stage's training from one round: the first stage's best candidates between sampled
// proteins (as many as the shortlist holds in the whole network, scaled to the sampled share of
// pairs), labelled by the hidden pairs.
void add_reranking_round(const proposal_round& r, const logistic_model& first, unsigned threads, training_set& training,
                         const std::atomic<bool>* cancel) {
    const auto limit = std::max<std::size_t>(1, std::size_t(std::llround(double(shortlist_size) * r.share * r.share)));
    shortlist_keeper keeper(threads, limit);
    visit_sampled_pairs(
        r.kept, r.sample, r.in_sample, threads,
        [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            const double score = first.probability(proposal_features_of(c, r.best[u], r.best[v]));
            if (score > 0)
                keeper.offer(t, {{descending_key(score), candidate_tie(u, v)}, c}, [](const score_record&) {});
        },
        nullptr, cancel);
    const std::vector<shortlisted> best = keeper.best([](const score_record&) {});
    for (const shortlisted& s : best) {
        const auto [u, v] = pair_of(s.record.tie);
        training.add(proposal_features_of(s.counts, r.best[u], r.best[v]), r.is_hidden(s.record.tie));
    }
}

logistic_model train_for_filtering(const network& net, unsigned threads, const std::atomic<bool>* cancel) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    std::vector<pair_ids> pairs = interactions;
    const std::vector<pair_ids> drawn = plant_by_degree(net, interactions, 1.0, learn_seed, cancel);
    pairs.insert(pairs.end(), drawn.begin(), drawn.end());
    const std::vector<pair_counts> counts = listed_pair_counts(net, pairs, threads, cancel);
    training_set training;
    for (std::size_t i = 0; i < counts.size(); ++i) training.add(features_of(counts[i]), i < interactions.size());
    logistic_model model =
        fit_logistic(training.rows, feature_count, training.labels, default_ridge, default_fit_iterations, cancel);
    stop_if_cancelled(cancel);
    return model;
}

// Scores the shortlist (the first stage's best, best first) by the second stage. Its scores
// fill the band above the first stage's score of the last pair shortlisted, t + (1 - t) p, so
// the shortlist stays ahead of every other candidate and is reordered within itself.
void rerank(const proposal_models& models, const std::vector<double>& best, const std::vector<shortlisted>& shortlist,
            record_buffer& out) {
    if (shortlist.empty()) return;
    const double floor = score_of(shortlist.back().record);
    for (const shortlisted& s : shortlist) {
        const auto [u, v] = pair_of(s.record.tie);
        const double p = models.second.probability(proposal_features_of(s.counts, best[u], best[v]));
        out.push_back({descending_key(floor + (1.0 - floor) * p), s.record.tie});
    }
}

void say_how_ranked(const scoring_job& job, const proposal_models& models) {
    if (!job.note) return;
    const std::string found = std::to_string(models.second_rows.positives()) + " hidden among " +
                              std::to_string(models.second_rows.labels.size()) +
                              " of the first model's best candidates in the hold-outs";
    if (models.second.coefficients.empty()) {
        job.note("learn: " + found + ", fewer than " + std::to_string(reranking_min_positives) +
                 ": one model ranks every candidate");
    } else {
        job.note("learn: a second model, trained on " + found + ", reorders the best " +
                 std::to_string(shortlist_size) + " candidates");
    }
}

// The shortlist of a run over the job's rows: shortlist_size scaled to the share of rows
// scored, which is about the share of the whole network's best candidates those rows hold.
std::size_t rows_shortlist_size(const scoring_job& job) {
    if (job.rows.empty()) return shortlist_size;
    const double share = double(job.rows.size()) / double(std::max(1u, job.net->protein_count()));
    return std::max<std::size_t>(1, std::size_t(std::llround(double(shortlist_size) * share)));
}

} // namespace

std::size_t training_set::positives() const { return std::size_t(std::count(labels.begin(), labels.end(), 1)); }

proposal_models train_for_proposing(const network& net, unsigned threads, const std::atomic<bool>* cancel) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    std::vector<proposal_round> rounds;
    proposal_models models;
    for (int round = 0; round < proposal_rounds; ++round) {
        rounds.push_back(make_proposal_round(net, interactions, round));
        add_proposal_round(rounds.back(), threads, models.first_rows, cancel);
    }
    models.first = fit_logistic(models.first_rows.rows, proposal_feature_count, models.first_rows.labels, default_ridge,
                                default_fit_iterations, cancel);
    stop_if_cancelled(cancel);
    for (const proposal_round& r : rounds) add_reranking_round(r, models.first, threads, models.second_rows, cancel);
    if (models.second_rows.positives() >= reranking_min_positives) {
        models.second = fit_logistic(models.second_rows.rows, proposal_feature_count, models.second_rows.labels,
                                     default_ridge, default_fit_iterations, cancel);
        stop_if_cancelled(cancel);
    }
    return models;
}

record_runs score_learn(const scoring_job& job) {
    const network& net = *job.net;
    const unsigned threads = std::max(1u, job.threads);
    record_runs runs = make_runs(job);
    if (job.listed) {
        const logistic_model model = train_for_filtering(net, threads, job.cancel);
        const std::vector<pair_counts> counts = listed_pair_counts(net, job.listed->pairs, threads, job.cancel);
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const double score = model.probability(features_of(counts[i]));
            if (score > 0) runs[0].push_back({descending_key(score), i});
        }
        return runs;
    }
    const proposal_models models = train_for_proposing(net, threads, job.cancel);
    say_how_ranked(job, models);
    std::vector<double> best = best_l3_per_protein(net, threads, job.cancel);
    log_best_l3(best);
    // Without a second model nothing is kept back: every record goes straight to its run.
    shortlist_keeper keeper(threads, models.second.coefficients.empty() ? 0 : rows_shortlist_size(job));
    visit_candidates(
        net, threads,
        [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            const double score = models.first.probability(proposal_features_of(c, best[u], best[v]));
            if (score <= 0) return;
            keeper.offer(t, {{descending_key(score), candidate_tie(u, v)}, c},
                         [&](const score_record& record) { runs[t].push_back(record); });
        },
        job.cancel, job.rows);
    // The records the threads kept back go to a run of their own, handed over on this thread.
    runs.emplace_back();
    drain_for_thread(job, 0, runs.back());
    record_buffer& rest = runs.back();
    const std::vector<shortlisted> shortlist = keeper.best([&](const score_record& record) { rest.push_back(record); });
    rerank(models, best, shortlist, rest);
    return runs;
}

} // namespace vornel
