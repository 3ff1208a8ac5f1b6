#include "scorer/evaluate/evaluation.hpp"


#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <numeric>
#include <unordered_set>

namespace vornel {

std::vector<std::uint64_t> hidden_ranks(const record_runs& runs, std::vector<std::uint64_t> hidden) {
    std::sort(hidden.begin(), hidden.end());
    // First pass: the records of the hidden pairs.
    std::vector<score_record> found;
    for (const auto& run : runs) {
        for (const score_record& record : run) {
            if (std::binary_search(hidden.begin(), hidden.end(), record.tie)) found.push_back(record);
        }
    }
    std::sort(found.begin(), found.end());
    if (found.empty()) return {};
    // Second pass: every record counted in the gap between hidden records it falls into;
    // the rank of found[i] is the number of records before it.
    std::vector<std::uint64_t> before(found.size() + 1, 0);
    const score_record last = found.back();
    for (const auto& run : runs) {
        for (const score_record& record : run) {
            if (last < record) continue;
            ++before[static_cast<std::size_t>(std::upper_bound(found.begin(), found.end(), record) - found.begin())];
        }
    }
    std::vector<std::uint64_t> ranks(found.size());
    std::uint64_t running = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        running += before[i];
        ranks[i] = running;
    }
    return ranks;
}

proposal_figures figures_from_ranks(std::span<const std::uint64_t> ranks, std::uint64_t hidden_count,
                                    std::span<const std::uint64_t> top_k) {
    proposal_figures figures;
    for (const std::uint64_t k : top_k) {
        const auto within = static_cast<std::uint64_t>(std::lower_bound(ranks.begin(), ranks.end(), k) - ranks.begin());
        figures.precision.push_back(k == 0 ? 0.0 : double(within) / double(k));
        figures.recall.push_back(hidden_count == 0 ? 0.0 : double(within) / double(hidden_count));
    }
    double sum = 0;
    for (std::size_t i = 0; i < ranks.size(); ++i) sum += double(i + 1) / double(ranks[i] + 1);
    figures.average_precision = hidden_count == 0 ? 0.0 : sum / double(hidden_count);
    return figures;
}

double auc_with_ties(std::span<const double> real, std::span<const double> planted) {
    if (real.empty() || planted.empty()) return 0.5;
    std::vector<double> low(planted.begin(), planted.end());
    std::sort(low.begin(), low.end());
    double wins = 0;
    for (const double score : real) {
        const auto below = std::lower_bound(low.begin(), low.end(), score) - low.begin();
        const auto equal = std::upper_bound(low.begin(), low.end(), score) - low.begin() - below;
        wins += double(below) + 0.5 * double(equal);
    }
    return wins / (double(real.size()) * double(low.size()));
}

double planted_share_among_lowest(std::span<const double> scores, std::span<const std::uint8_t> is_planted, double share) {
    std::vector<std::pair<double, bool>> ordered(scores.size());
    for (std::size_t i = 0; i < scores.size(); ++i) ordered[i] = {scores[i], is_planted[i] != 0};
    std::sort(ordered.begin(), ordered.end());
    const double budget = share * double(ordered.size());
    double taken = 0, marked = 0;
    for (std::size_t i = 0; i < ordered.size() && taken < budget;) {
        std::size_t j = i;
        std::size_t planted = 0;
        while (j < ordered.size() && ordered[j].first == ordered[i].first) planted += ordered[j++].second;
        const double group = double(j - i);
        const double fraction = std::min(1.0, (budget - taken) / group);
        taken += fraction * group;
        marked += fraction * double(planted);
        i = j;
    }
    return taken > 0 ? marked / taken : 0.0;
}

spread spread_of(std::span<const double> values) {
    spread s;
    if (values.empty()) return s;
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    if (values.size() > 1) {
        double squares = 0;
        for (const double v : values) squares += (v - s.mean) * (v - s.mean);
        s.sd = std::sqrt(squares / double(values.size() - 1));
    }
    return s;
}

std::vector<std::uint64_t> curve_points(std::span<const std::uint64_t> top_k) {
    const std::uint64_t largest = top_k.empty() ? 1000 : std::max<std::uint64_t>(1, *std::max_element(top_k.begin(), top_k.end()));
    std::vector<std::uint64_t> points;
    constexpr int steps = 40;
    for (int i = 0; i <= steps; ++i) {
        const auto k = static_cast<std::uint64_t>(std::llround(std::pow(double(largest), double(i) / steps)));
        if (points.empty() || k > points.back()) points.push_back(k);
    }
    return points;
}

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

// One proposal run of `method` on the kept network, its records counted as they are made
// instead of being kept.
std::unique_ptr<proposal_tally> tally_proposals(const method_entry& method, const network& kept, const pair_set& hidden,
                                                std::uint64_t hidden_count, std::uint64_t best_count,
                                                const evaluation_settings& settings) {
    scoring_job job = make_job(kept, nullptr, settings);
    auto tally = std::make_unique<proposal_tally>(hidden, hidden_count, best_count, job.threads);
    job.consume = [&counts = *tally](unsigned thread, std::span<const score_record> block) { counts.take(thread, block); };
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
    const double n = net.protein_count();
    // The precision curve reaches the largest top-k: that many best records are kept.
    std::uint64_t best_count = 0;
    for (const std::uint64_t k : settings.top_k) best_count = std::max(best_count, k);
    for (const std::uint64_t k : result.curve_k) best_count = std::max(best_count, k);
    for (std::size_t r = 0; r < repeats; ++r) {
        const hold_out split = split_interactions(interactions, settings.hide_share, repeat_seed(settings.seed, int(r), 1));
        const network kept = network_with_interactions(net, split.kept, weights_of_pairs(net, split.kept, 0));
        std::vector<std::uint64_t> hidden;
        for (const auto& p : split.hidden) hidden.push_back(candidate_tie(p.first, p.second));
        result.hidden = split.hidden.size();
        const pair_set hidden_set(hidden);
        const double non_edges = n * (n - 1) / 2 - double(split.kept.size());
        result.random_precision = non_edges > 0 ? double(split.hidden.size()) / non_edges : 0.0;
        for (std::size_t m = 0; m < methods.size(); ++m) {
            progress("proposal repeat " + std::to_string(r + 1) + "/" + std::to_string(repeats) + ": " +
                     std::string(methods[m]->name));
            const auto tally = tally_proposals(*methods[m], kept, hidden_set, hidden.size(), best_count, settings);
            figures[m].push_back(tally->figures(settings.top_k));
            curves[m].push_back(tally->figures(result.curve_k));
        }
    }
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
        for (std::size_t k = 0; k < result.curve_k.size(); ++k) {
            for (std::size_t r = 0; r < repeats; ++r) values[r] = curves[m][r].precision[k];
            row.curve.push_back(spread_of(values).mean);
        }
        result.proposal.push_back(std::move(row));
    }
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
        const std::vector<pair_ids> planted =
            plant_by_degree(net, interactions, settings.plant_share, repeat_seed(settings.seed, int(r), 2), settings.cancel);
        listed_pairs listed;
        listed.pairs.assign(interactions.begin(), interactions.end());
        listed.pairs.insert(listed.pairs.end(), planted.begin(), planted.end());
        // Planted pairs weigh what a drawn interaction weighs, so weights do not give them away.
        const network noisy = network_with_interactions(
            net, listed.pairs, weights_of_pairs(net, listed.pairs, repeat_seed(settings.seed, int(r), 3)));
        result.planted = planted.size();
        result.planted_base_share = listed.pairs.empty() ? 0.0 : double(planted.size()) / double(listed.pairs.size());
        std::vector<std::uint8_t> is_planted(listed.pairs.size(), 0);
        std::fill(is_planted.begin() + static_cast<std::ptrdiff_t>(interactions.size()), is_planted.end(), 1);
        for (std::size_t m = 0; m < methods.size(); ++m) {
            progress("filtering repeat " + std::to_string(r + 1) + "/" + std::to_string(repeats) + ": " +
                     std::string(methods[m]->name));
            const record_runs runs = methods[m]->score(make_job(noisy, &listed, settings));
            const std::vector<double> scores = scores_by_index(runs, listed.pairs.size());
            std::vector<double> real, fake, real_inner, fake_inner;
            for (std::size_t i = 0; i < scores.size(); ++i) {
                const pair_ids p = listed.pairs[i];
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
        result.filtering.push_back({std::string(methods[m]->name), spread_of(auc[m]), spread_of(low[m]), spread_of(auc_inner[m])});
    }
}

std::string fixed(double value, int digits) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits).ptr;
    return std::string(buffer, end);
}

std::string with_sd(const spread& s) { return fixed(s.mean, 3) + " ± " + fixed(s.sd, 3); }

// Appends " value |" (appending piecewise also avoids a false -Wrestrict of g++ 12 on
// string concatenations).
void add_cell(std::string& text, const std::string& value) {
    text += ' ';
    text += value;
    text += " |";
}

std::string percent(double share) { return fixed(100.0 * share, 0) + "%"; }

void add_proposal_table(std::string& text, const evaluation_result& result, const evaluation_settings& settings) {
    text += "\n## Proposing: " + std::to_string(result.hidden) + " interactions hidden (" +
            percent(settings.hide_share) + ") and ranked back\n\n| method |";
    for (const auto k : settings.top_k) text += " P@" + std::to_string(k) + " |";
    text += " AP |";
    for (const auto k : settings.top_k) text += " R@" + std::to_string(k) + " |";
    text += "\n|---|";
    for (std::size_t i = 0; i < 2 * settings.top_k.size() + 1; ++i) text += "---|";
    text += "\n";
    for (const auto& row : result.proposal) {
        text += "| " + row.method + " |";
        for (const auto& s : row.precision) add_cell(text, with_sd(s));
        add_cell(text, with_sd(row.average_precision));
        for (const auto& s : row.recall) add_cell(text, with_sd(s));
        text += "\n";
    }
    text += "| random |";
    for (std::size_t i = 0; i < settings.top_k.size(); ++i) add_cell(text, fixed(result.random_precision, 5));
    add_cell(text, fixed(result.random_precision, 5));
    const double non_edges = result.random_precision > 0 ? double(result.hidden) / result.random_precision : 0.0;
    for (const auto k : settings.top_k) {
        add_cell(text, fixed(non_edges > 0 ? std::min(1.0, double(k) / non_edges) : 0.0, 5));
    }
    text += "\n";
}

void add_filter_table(std::string& text, const evaluation_result& result, const evaluation_settings& settings) {
    text += "\n## Filtering: " + std::to_string(result.planted) + " degree-proportional random pairs planted (" +
            percent(settings.plant_share) + ")\n\n| method | AUC | planted among lowest " +
            percent(settings.low_share) + " | AUC without degree-1 ends |\n|---|---|---|---|\n";
    for (const auto& row : result.filtering) {
        text += "| " + row.method + " | " + with_sd(row.auc) + " | " + with_sd(row.low_share) + " | " +
                with_sd(row.auc_without_leaves) + " |\n";
    }
    text += "| random | 0.500 | " + fixed(result.planted_base_share, 3) + " | 0.500 |\n";
}

// The interactions the recommended filter phase keeps: the best four fifths.
std::uint64_t filter_keep_count(const evaluation_result& result, const evaluation_settings& settings) {
    return static_cast<std::uint64_t>(std::llround((1.0 - settings.low_share) * double(result.interactions)));
}

}  // namespace

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

std::string best_proposer(const evaluation_result& result) {
    const proposal_row* best = nullptr;
    for (const auto& row : result.proposal) {
        if (!best || row.average_precision.mean > best->average_precision.mean ||
            (row.average_precision.mean == best->average_precision.mean && !row.precision.empty() &&
             row.precision[0].mean > best->precision[0].mean)) {
            best = &row;
        }
    }
    return best ? best->method : std::string();
}

std::string best_filter(const evaluation_result& result) {
    const filter_row* best = nullptr;
    for (const auto& row : result.filtering) {
        if (!best || row.auc.mean > best->auc.mean ||
            (row.auc.mean == best->auc.mean && row.auc_without_leaves.mean > best->auc_without_leaves.mean)) {
            best = &row;
        }
    }
    return best ? best->method : std::string();
}

std::string too_small_to_evaluate(const evaluation_result& result, const evaluation_settings& settings) {
    const std::string interactions = std::to_string(result.interactions) +
                                     (result.interactions == 1 ? " interaction leaves" : " interactions leave");
    if (settings.propose && result.hidden == 0) {
        return interactions + " none to hide (--hide " + percent(settings.hide_share) + ")";
    }
    if (settings.filter && result.planted == 0) return interactions + " no pair to plant";
    if (filter_keep_count(result, settings) <= 1) return interactions + " too few to keep a count of them";
    return {};
}

std::string evaluation_report(const evaluation_result& result, const evaluation_settings& settings,
                              const std::string& network_path, const std::string& cut_command,
                              const std::string& cut_path) {
    std::string text = "# Evaluation of " + network_path + "\n\n";
    text += std::to_string(result.proteins) + " proteins, " + std::to_string(result.interactions) +
            " interactions; " + std::to_string(std::max(1, settings.repeats)) + " repeats, seed " +
            std::to_string(settings.seed) + ", " + std::to_string(std::max(1, settings.rounds)) +
            " rounds for iterative methods.\n";
    if (const std::string reason = too_small_to_evaluate(result, settings); !reason.empty()) {
        return text + "\nToo small to evaluate: " + reason + "; no figures and no recommendation.\n";
    }
    if (settings.propose) add_proposal_table(text, result, settings);
    if (settings.filter) add_filter_table(text, result, settings);
    text += "\n";
    const std::string proposer = best_proposer(result);
    const std::string filter = best_filter(result);
    // A method that does no better than chance is not recommended as if it had been measured.
    const bool proposer_informative = !proposer.empty() && result.hidden > 0 &&
        std::any_of(result.proposal.begin(), result.proposal.end(), [&](const proposal_row& row) {
            return row.average_precision.mean > result.random_precision;
        });
    const bool filter_informative = !filter.empty() && result.planted > 0 &&
        std::any_of(result.filtering.begin(), result.filtering.end(), [](const filter_row& row) {
            return row.auc.mean > 0.5;
        });
    if (!proposer.empty()) {
        text += proposer_informative ? "Recommendation for proposing: " + proposer + " (highest average precision).\n"
                                     : std::string("Recommendation for proposing: none (no method beats random here).\n");
    }
    if (!filter.empty()) {
        text += filter_informative ? "Recommendation for filtering: " + filter + " (highest AUC).\n"
                                   : std::string("Recommendation for filtering: none (no method beats random here).\n");
    }
    // ppi-refine reads its network as a plain list: a network read with other options is cut
    // into one first, so that the line refines the network evaluated here.
    if (!cut_command.empty()) {
        text += "\nThe network was read with options that ppi-refine cannot pass on: write it as a plain "
                "edge list first, then refine that file.\n\n    " + cut_command + "\n";
    }
    const std::string& refined_path = cut_command.empty() ? network_path : cut_path;
    // Filtering keeps the best four fifths (the measure above looks at the lowest fifth); adding
    // takes the middle top-k of the list. Without a measured winner, the defaults wcd and l3.
    const std::uint64_t keep = filter_keep_count(result, settings);
    const std::uint64_t add = settings.top_k.empty() ? 500 : settings.top_k[settings.top_k.size() / 2];
    text += (cut_command.empty() ? "\n" : "") + std::string("    ppi-refine ") + refined_path + " " + std::to_string(std::max(1, settings.rounds)) + " " +
            (filter_informative ? filter : std::string("wcd")) + " " + std::to_string(keep) + " " +
            (proposer_informative ? proposer : std::string("l3")) + " " + std::to_string(add) + " refined.tsv\n";
    return text;
}

std::string precision_plot_script(const evaluation_result& result) {
    std::string script =
        "set terminal pngcairo size 900,600\n"
        "set logscale x\nset xlabel 'k (top-ranked candidates)'\nset ylabel 'precision at k (mean over repeats)'\n"
        "set key outside right\nset grid\n";
    if (result.proposal.empty()) return script + "plot 0 notitle\n";
    script += "plot ";
    for (std::size_t m = 0; m < result.proposal.size(); ++m) {
        if (m > 0) script += ", ";
        script += "'-' using 1:2 with linespoints title '" + result.proposal[m].method + "'";
    }
    script += "\n";
    for (const auto& row : result.proposal) {
        for (std::size_t k = 0; k < result.curve_k.size(); ++k) {
            script += std::to_string(result.curve_k[k]) + " " + fixed(row.curve[k], 6) + "\n";
        }
        script += "e\n";
    }
    return script;
}

}  // namespace vornel
