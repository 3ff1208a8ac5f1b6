// The choosing method: it measures candidates on the input network itself and runs the best.
//
// Proposing: l3, learn, l3n, sim and mps rank back the interactions hidden in seeded hold-outs
// of the input (10% each), and a challenger runs instead of l3 only when it leads l3 clearly
// (choose_proposer, with the constants below). On a large network only a hashed sample of the
// rows is scored in each hold-out, which makes l3, l3n, sim and mps cheap there; learn's training
// is the same whatever the rows, and is most of the choice's cost.
// Filtering: one planting of degree-proportional random pairs (25%) is scored by wcd and learn;
// learn runs only when its AUC beats wcd's by at least 0.02, because planted pairs are the noise
// learn is trained against, and on co-complex data (where wcd is at the ceiling) the two come
// out close. Every constant here was fixed on networks that share nothing with the evidence
// tests (evidence/results/learn_study.md).
#include "scorer/evaluate/auto.hpp"

#include "scorer/evaluate/evaluation.hpp"
#include "scorer/evaluate/report.hpp"
#include "scorer/learn/learn.hpp"
#include "scorer/methods/scorers.hpp"

#include <algorithm>
#include <cmath>

namespace vornel {

namespace {

// The proposing choice. A challenger c leads l3 clearly when, over the hold-outs r, the mean
// dbar of d_r = AP(c, r) - AP(l3, r) is at least min_gain times l3's mean AP, and either dbar is
// at least margin_sd sample standard deviations of the d_r or c beats l3 on at least
// wins_needed hold-outs. Fixed on selection networks before any evidence test was scored
// (evidence/results/auto_study.md): every setting of the study's grid was as safe there, and
// of the most conservative ones, three hold-outs cost 3/5 of five for the same picks.
constexpr int choice_repeats = 3;
constexpr double margin_sd = 3.0;
constexpr int wins_needed = 3;
constexpr double min_gain = 0.05;
// Networks of up to this many interactions have every row scored: their whole choice takes
// seconds (measured, processor time: 2 s on 9,074 yeast interactions, 10 s on a denser 14,317).
// Above it, each hold-out scores a share of the rows of all_rows_up_to over the interactions, so
// the rows scored hold about as many pairs as such a network's. learn's training and its pass for
// every protein's best l3 do not shrink with the rows (measured on 338,636 human interactions, 2
// threads, 5.9% of the rows, per hold-out: l3 0.5 s, l3n 1.0 s, sim 1.1 s, mps 0.8 s, learn 42 s).
constexpr std::uint64_t all_rows_up_to = 20000;

constexpr std::uint64_t choice_seed = 20260802;
constexpr double learn_margin = 0.02;

// The candidates, named as the registry names them (the names appear in the notes), l3 first
// and the others in registry order, which breaks ties.
constexpr method_entry l3_entry{"l3", "", false, false, score_l3};
constexpr method_entry l3n_entry{"l3n", "", false, false, score_l3n};
constexpr method_entry sim_entry{"sim", "", false, false, score_sim};
constexpr method_entry mps_entry{"mps", "", false, false, score_mps};
constexpr method_entry learn_entry{"learn", "", false, false, score_learn};
constexpr method_entry wcd_entry{"wcd", "", true, false, score_wcd};

std::string three_digits(double value) { return fixed(value, 3); }

std::string one_digit(double value) { return fixed(value, 1); }

// 19600 as "19,600".
std::string with_thousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

double row_share_for(const network& net) {
    const std::uint64_t interactions = net.interaction_count();
    return interactions <= all_rows_up_to ? 1.0 : double(all_rows_up_to) / double(interactions);
}

evaluation_settings choice_settings(const scoring_job& job, bool propose) {
    evaluation_settings settings;
    settings.repeats = propose ? choice_repeats : 1;
    settings.seed = choice_seed;
    settings.top_k = {500};
    settings.rounds = job.rounds;
    settings.threads = std::max(1u, job.threads);
    settings.propose = propose;
    settings.filter = !propose;
    settings.row_share = propose ? row_share_for(*job.net) : 1.0;
    settings.cancel = job.cancel;
    return settings;
}

void say(const scoring_job& job, const std::string& line) {
    if (job.note) job.note(line);
}

std::string figures_line(const evaluation_result& result, const evaluation_settings& settings) {
    const std::string rows = settings.row_share >= 1.0
                                 ? "every row"
                                 : "rows of about " + with_thousands(std::uint64_t(std::llround(result.scored_rows))) +
                                       " of " + with_thousands(result.proteins) + " proteins";
    std::string line = "auto: on " + std::to_string(settings.repeats) + " hold-outs of " +
                       std::to_string(int(std::lround(settings.hide_share * 100))) + "% of the network (" + rows +
                       "), average precision:";
    for (std::size_t m = 0; m < result.proposal.size(); ++m) {
        const spread& ap = result.proposal[m].average_precision;
        line += (m == 0 ? " " : ", ") + result.proposal[m].method + " " + three_digits(ap.mean) + " +- " +
                three_digits(ap.sd);
    }
    return line;
}

std::string choice_line(const proposer_choice& choice, std::span<const candidate_figures> candidates) {
    const std::string repeats = std::to_string(candidates[0].by_hold_out.size());
    if (choice.chosen == 0) {
        return "auto: proposing with l3: no candidate leads it clearly (a lead needs at least " +
               std::to_string(int(std::lround(min_gain * 100))) + "% of l3's figure and either " +
               one_digit(margin_sd) + " standard deviations of the differences or wins on " +
               std::to_string(wins_needed) + " of " + repeats + " hold-outs)";
    }
    const lead_over_l3& lead = choice.lead;
    const std::string wins = "wins on " + std::to_string(lead.wins) + " of " + repeats + " hold-outs";
    const std::string sds = one_digit(margin_sd) + " standard deviations";
    return "auto: proposing with " + candidates[choice.chosen].name + ": it leads l3 by " + three_digits(lead.mean) +
           " +- " + three_digits(lead.sd) + " on average, " +
           (lead.by_margin ? "at least " + sds + ", and " + wins : "less than " + sds + ", but " + wins);
}

record_runs run_named(const std::string& name, const scoring_job& job) {
    for (const method_entry* entry : {&learn_entry, &l3n_entry, &sim_entry, &mps_entry}) {
        if (entry->name == name) return entry->score(job);
    }
    return score_l3(job);
}

record_runs propose_with_the_best(const scoring_job& job) {
    const method_entry* const candidates[] = {&l3_entry, &l3n_entry, &sim_entry, &mps_entry, &learn_entry};
    const evaluation_settings settings = choice_settings(job, true);
    const auto quiet = [](const std::string&) {};
    const evaluation_result result = evaluate_methods(*job.net, candidates, settings, quiet);
    std::vector<candidate_figures> figures;
    for (const proposal_row& row : result.proposal) figures.push_back({row.method, row.average_precision_by_repeat});
    const proposer_choice choice = choose_proposer(figures, {min_gain, margin_sd, wins_needed});
    say(job, figures_line(result, settings));
    say(job, choice_line(choice, figures));
    return run_named(figures[choice.chosen].name, job);
}

record_runs filter_with_the_best(const scoring_job& job) {
    const method_entry* const candidates[] = {&wcd_entry, &learn_entry};
    const auto quiet = [](const std::string&) {};
    const evaluation_result result = evaluate_methods(*job.net, candidates, choice_settings(job, false), quiet);
    const double wcd_auc = result.filtering[0].auc.mean;
    const double learn_auc = result.filtering[1].auc.mean;
    const bool learn_leads = learn_auc >= wcd_auc + learn_margin;
    const std::string chosen = learn_leads ? "learn" : "wcd";
    say(job, "auto: against 25% planted degree-proportional pairs, AUC wcd " + three_digits(wcd_auc) + ", learn " +
                 three_digits(learn_auc) + " (learn needs a lead of " + three_digits(learn_margin) +
                 "): filtering with " + chosen);
    return learn_leads ? score_learn(job) : score_wcd(job);
}

double mean_of(std::span<const double> values) {
    double sum = 0;
    for (const double v : values) sum += v;
    return values.empty() ? 0.0 : sum / double(values.size());
}

} // namespace

lead_over_l3 lead_of(const candidate_figures& challenger, const candidate_figures& l3, const lead_rule& rule) {
    const std::size_t count = std::min(challenger.by_hold_out.size(), l3.by_hold_out.size());
    std::vector<double> difference(count);
    lead_over_l3 lead;
    for (std::size_t r = 0; r < count; ++r) {
        difference[r] = challenger.by_hold_out[r] - l3.by_hold_out[r];
        if (difference[r] > 0) ++lead.wins;
    }
    lead.mean = mean_of(difference);
    double squares = 0;
    for (const double d : difference) squares += (d - lead.mean) * (d - lead.mean);
    lead.sd = count > 1 ? std::sqrt(squares / double(count - 1)) : 0.0;
    // A lead of nothing is no lead, even over an l3 that found nothing.
    lead.enough_gain = lead.mean > 0 && lead.mean >= rule.min_gain * mean_of(l3.by_hold_out);
    lead.by_margin = lead.mean >= rule.margin_sd * lead.sd;
    lead.by_wins = lead.wins >= rule.wins_needed;
    return lead;
}

proposer_choice choose_proposer(std::span<const candidate_figures> candidates, const lead_rule& rule) {
    proposer_choice choice;
    double best_mean = 0;
    for (std::size_t c = 1; c < candidates.size(); ++c) {
        const lead_over_l3 lead = lead_of(candidates[c], candidates[0], rule);
        const double mean = mean_of(candidates[c].by_hold_out);
        if (lead.clear() && (choice.chosen == 0 || mean > best_mean)) {
            choice = {c, lead};
            best_mean = mean;
        }
    }
    return choice;
}

record_runs score_auto(const scoring_job& job) {
    return job.listed ? filter_with_the_best(job) : propose_with_the_best(job);
}

} // namespace vornel
