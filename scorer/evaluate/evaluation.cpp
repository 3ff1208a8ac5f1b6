#include "scorer/evaluate/evaluation.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>

namespace vornel {

namespace {

scoring_job make_job(const network& net, const listed_pairs* listed, const evaluation_settings& settings) {
    scoring_job job = make_scoring_job(net, listed, settings.rounds, std::max(1u, settings.threads));
    job.cancel = settings.cancel;
    return job;
}

std::uint64_t repeat_seed(std::uint64_t seed, int repeat, std::uint64_t job_salt) {
    seeded_random mix(seed ^ (job_salt * 0x9e3779b97f4a7c15ULL));
    for (int i = 0; i <= repeat; ++i) mix.next();
    return mix.next();
}

// The non-interacting pairs of the kept network whose smaller protein is drawn (`drawn` by id).
double drawn_non_edges(std::span<const std::uint32_t> rows, std::span<const pair_ids> kept,
                       const std::vector<std::uint8_t>& drawn) {
    const double n = double(drawn.size());
    double pairs = 0;
    for (const std::uint32_t u : rows) pairs += n - 1 - double(u);
    for (const pair_ids& p : kept) pairs -= drawn[std::min(p.first, p.second)];
    return pairs;
}

// The ranks at which the figures at `ks` are read when `share` of the pairs is scored: where
// the whole ranking's k-th pair falls among the scored pairs on average (at least the first).
std::vector<std::uint64_t> ranks_in_share(std::span<const std::uint64_t> ks, double share) {
    std::vector<std::uint64_t> ranks;
    for (const std::uint64_t k : ks) {
        ranks.push_back(share >= 1.0 ? k : std::max<std::uint64_t>(1, std::uint64_t(std::llround(double(k) * share))));
    }
    return ranks;
}

// One proposal run of `method` on the kept network over `rows` (empty: all), its records
// counted as they are made instead of being kept.
std::unique_ptr<proposal_tally> tally_proposals(const method_entry& method, const network& kept,
                                                std::span<const std::uint32_t> rows, const pair_set& hidden,
                                                std::uint64_t hidden_count, std::uint64_t best_count,
                                                const evaluation_settings& settings) {
    scoring_job job = make_job(kept, nullptr, settings);
    job.rows = rows;
    auto tally = std::make_unique<proposal_tally>(hidden, hidden_count, best_count, job.threads);
    job.consume = [&counts = *tally](unsigned thread, std::span<const score_record> block) {
        counts.take(thread, block);
    };
    record_runs rest = method.score(job);
    hand_over_rest(rest);
    tally->finish();
    return tally;
}

// Per method, per repeat: the figures of one proposal run.
void evaluate_proposing(const network& net, std::span<const method_entry* const> methods,
                        const evaluation_settings& settings, evaluation_result& result,
                        const progress_callback& progress) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    const auto repeats = static_cast<std::size_t>(std::max(1, settings.repeats));
    std::vector<std::vector<proposal_figures>> figures(methods.size());
    std::vector<std::vector<proposal_figures>> curves(methods.size());
    std::vector<double> pair_shares;
    const double n = net.protein_count();
    // The precision curve reaches the largest top-k: that many best records are kept.
    std::uint64_t best_count = 0;
    for (const std::uint64_t k : settings.top_k) best_count = std::max(best_count, k);
    for (const std::uint64_t k : result.curve_k) best_count = std::max(best_count, k);
    for (std::size_t r = 0; r < repeats; ++r) {
        const hold_out split =
            split_interactions(interactions, settings.hide_share, repeat_seed(settings.seed, int(r), 1));
        const network kept = network_with_interactions(net, split.kept, weights_of_pairs(net, split.kept, 0));
        // An empty draw (a share too small for the network) scores every row, as the job reads it.
        const std::vector<std::uint32_t> rows =
            settings.row_share >= 1.0
                ? std::vector<std::uint32_t>{}
                : hashed_sample(net.protein_count(), settings.row_share, repeat_seed(settings.seed, int(r), 4));
        const bool all_rows = rows.empty();
        std::vector<std::uint8_t> drawn(all_rows ? 0 : net.protein_count(), 0);
        for (const std::uint32_t x : rows) drawn[x] = 1;
        std::vector<std::uint64_t> hidden;
        for (const auto& p : split.hidden) {
            if (all_rows || drawn[std::min(p.first, p.second)]) hidden.push_back(candidate_tie(p.first, p.second));
        }
        result.hidden = hidden.size();
        result.hidden_in_all_rows = split.hidden.size();
        result.scored_rows += (all_rows ? n : double(rows.size())) / double(repeats);
        const pair_set hidden_set(hidden);
        const double all_non_edges = n * (n - 1) / 2 - double(split.kept.size());
        const double non_edges = all_rows ? all_non_edges : drawn_non_edges(rows, split.kept, drawn);
        result.random_precision = non_edges > 0 ? double(hidden.size()) / non_edges : 0.0;
        const double pair_share = all_rows || all_non_edges <= 0 ? 1.0 : non_edges / all_non_edges;
        pair_shares.push_back(pair_share);
        const std::vector<std::uint64_t> top_ranks = ranks_in_share(settings.top_k, pair_share);
        const std::vector<std::uint64_t> curve_ranks = ranks_in_share(result.curve_k, pair_share);
        for (std::size_t m = 0; m < methods.size(); ++m) {
            progress("proposal repeat " + std::to_string(r + 1) + "/" + std::to_string(repeats) + ": " +
                     std::string(methods[m]->name));
            const auto tally =
                tally_proposals(*methods[m], kept, rows, hidden_set, hidden.size(), best_count, settings);
            figures[m].push_back(tally->figures(top_ranks));
            curves[m].push_back(tally->figures(curve_ranks));
        }
    }
    result.scored_pair_share = spread_of(pair_shares).mean;
    for (std::size_t m = 0; m < methods.size(); ++m) {
        proposal_row row;
        row.method = methods[m]->name;
        std::vector<double> values(repeats);
        for (std::size_t k = 0; k < settings.top_k.size(); ++k) {
            for (std::size_t r = 0; r < repeats; ++r) values[r] = figures[m][r].precision[k];
            row.precision.push_back(spread_of(values));
            for (std::size_t r = 0; r < repeats; ++r) values[r] = figures[m][r].recall[k];
            row.recall.push_back(spread_of(values));
        }
        for (std::size_t r = 0; r < repeats; ++r) values[r] = figures[m][r].average_precision;
        row.average_precision = spread_of(values);
        row.average_precision_by_repeat = values;
        for (std::size_t k = 0; k < result.curve_k.size(); ++k) {
            for (std::size_t r = 0; r < repeats; ++r) values[r] = curves[m][r].precision[k];
            row.curve.push_back(spread_of(values).mean);
        }
        result.proposal.push_back(std::move(row));
    }
}

// The listed pairs a repeat scores, with which of them are planted (those from place
// `first_planted` on): a hashed `share` of the places, in list order, drawn by `seed`; every
// pair when share >= 1 or the draw comes out empty.
struct scored_list {
    listed_pairs pairs;
    std::vector<std::uint8_t> is_planted;
};

scored_list draw_scored(listed_pairs listed, std::size_t first_planted, double share, std::uint64_t seed) {
    scored_list scored;
    const std::vector<std::uint32_t> places =
        share >= 1.0 ? std::vector<std::uint32_t>{} : hashed_sample(std::uint32_t(listed.pairs.size()), share, seed);
    if (places.empty()) {
        scored.pairs = std::move(listed);
        scored.is_planted.assign(scored.pairs.pairs.size(), 0);
        std::fill(scored.is_planted.begin() + static_cast<std::ptrdiff_t>(first_planted), scored.is_planted.end(), 1);
        return scored;
    }
    for (const std::uint32_t i : places) {
        scored.pairs.pairs.push_back(listed.pairs[i]);
        scored.is_planted.push_back(i >= first_planted ? 1 : 0);
    }
    return scored;
}

// The scores of listed pairs by listing index (0 for pairs without a record).
std::vector<double> scores_by_index(const record_runs& runs, std::size_t count) {
    std::vector<double> scores(count, 0.0);
    for (const auto& run : runs) {
        for (const score_record& record : run) scores[record.tie] = score_of(record);
    }
    return scores;
}

void evaluate_filtering(const network& net, std::span<const method_entry* const> methods,
                        const evaluation_settings& settings, evaluation_result& result,
                        const progress_callback& progress) {
    const std::vector<pair_ids> interactions = interaction_list(net);
    const auto repeats = static_cast<std::size_t>(std::max(1, settings.repeats));
    std::vector<std::vector<double>> auc(methods.size()), low(methods.size()), auc_inner(methods.size());
    for (std::size_t r = 0; r < repeats; ++r) {
        const std::vector<pair_ids> planted = plant_by_degree(net, interactions, settings.plant_share,
                                                              repeat_seed(settings.seed, int(r), 2), settings.cancel);
        listed_pairs listed;
        listed.pairs.assign(interactions.begin(), interactions.end());
        listed.pairs.insert(listed.pairs.end(), planted.begin(), planted.end());
        // Planted pairs weigh what a drawn interaction weighs, so weights do not give them away.
        const network noisy = network_with_interactions(
            net, listed.pairs, weights_of_pairs(net, listed.pairs, repeat_seed(settings.seed, int(r), 3)));
        result.planted = planted.size();
        result.planted_base_share = listed.pairs.empty() ? 0.0 : double(planted.size()) / double(listed.pairs.size());
        // Only the drawn pairs are scored; the network keeps every pair.
        const scored_list drawn = draw_scored(std::move(listed), interactions.size(), settings.listed_share,
                                              repeat_seed(settings.seed, int(r), 5));
        const listed_pairs& scored = drawn.pairs;
        const std::vector<std::uint8_t>& is_planted = drawn.is_planted;
        result.listed = interactions.size() + planted.size();
        result.scored_listed += double(scored.pairs.size()) / double(repeats);
        for (std::size_t m = 0; m < methods.size(); ++m) {
            progress("filtering repeat " + std::to_string(r + 1) + "/" + std::to_string(repeats) + ": " +
                     std::string(methods[m]->name));
            const record_runs runs = methods[m]->score(make_job(noisy, &scored, settings));
            const std::vector<double> scores = scores_by_index(runs, scored.pairs.size());
            std::vector<double> real, fake, real_inner, fake_inner;
            for (std::size_t i = 0; i < scores.size(); ++i) {
                const pair_ids p = scored.pairs[i];
                const bool inner = noisy.degree(p.first) > 1 && noisy.degree(p.second) > 1;
                (is_planted[i] ? fake : real).push_back(scores[i]);
                if (inner) (is_planted[i] ? fake_inner : real_inner).push_back(scores[i]);
            }
            auc[m].push_back(auc_with_ties(real, fake));
            low[m].push_back(planted_share_among_lowest(scores, is_planted, settings.low_share));
            auc_inner[m].push_back(auc_with_ties(real_inner, fake_inner));
        }
    }
    for (std::size_t m = 0; m < methods.size(); ++m) {
        result.filtering.push_back(
            {std::string(methods[m]->name), spread_of(auc[m]), spread_of(low[m]), spread_of(auc_inner[m])});
    }
}

} // namespace

evaluation_result evaluate_methods(const network& net, std::span<const method_entry* const> methods,
                                   const evaluation_settings& settings, const progress_callback& progress) {
    evaluation_result result;
    result.proteins = net.protein_count();
    result.weighted = net.weighted();
    result.interactions = net.interaction_count();
    result.curve_k = curve_points(settings.top_k);
    if (settings.propose) evaluate_proposing(net, methods, settings, result, progress);
    if (settings.filter) evaluate_filtering(net, methods, settings, result, progress);
    return result;
}

} // namespace vornel
