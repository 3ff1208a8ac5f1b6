// The choosing method: it measures candidates on the input network itself and runs the best.
//
// Proposing: two 10% hold-outs of the input rank back their hidden interactions with l3 and
// learn; the one with the higher mean average precision runs (l3 on a tie). Filtering: one
// planting of degree-proportional random pairs (25%) is scored by wcd and learn; learn runs only
// when its AUC beats wcd's by at least 0.02, because planted pairs are the noise learn is
// trained against, and on co-complex data (where wcd is at the ceiling) the two come out close.
// Every constant here was fixed on networks that share nothing with the evidence tests
// (evidence/results/learn_study.md).
#include "scorer/evaluate/auto.hpp"

#include "scorer/evaluate/evaluation.hpp"
#include "scorer/evaluate/report.hpp"
#include "scorer/learn/learn.hpp"
#include "scorer/methods/scorers.hpp"

#include <charconv>

namespace vornel {

namespace {

constexpr std::uint64_t choice_seed = 20260802;
constexpr double learn_margin = 0.02;

// The candidates, named as the registry names them (the names appear in the notes).
constexpr method_entry l3_entry{"l3", "", false, false, score_l3};
constexpr method_entry learn_entry{"learn", "", false, false, score_learn};
constexpr method_entry wcd_entry{"wcd", "", true, false, score_wcd};

std::string three_digits(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3).ptr;
    return std::string(buffer, end);
}

evaluation_settings choice_settings(const scoring_job& job, bool propose) {
    evaluation_settings settings;
    settings.repeats = propose ? 2 : 1;
    settings.seed = choice_seed;
    settings.top_k = {500};
    settings.rounds = job.rounds;
    settings.threads = std::max(1u, job.threads);
    settings.propose = propose;
    settings.filter = !propose;
    settings.cancel = job.cancel;
    return settings;
}

void say(const scoring_job& job, const std::string& line) {
    if (job.note) job.note(line);
}

} // namespace

record_runs score_auto(const scoring_job& job) {
    const auto quiet = [](const std::string&) {};
    if (!job.listed) {
        const method_entry* const candidates[] = {&l3_entry, &learn_entry};
        const evaluation_result result = evaluate_methods(*job.net, candidates, choice_settings(job, true), quiet);
        const std::string chosen = best_proposer(result);
        say(job, "auto: on two 10% hold-outs of the network, average precision l3 " +
                     three_digits(result.proposal[0].average_precision.mean) + ", learn " +
                     three_digits(result.proposal[1].average_precision.mean) + ": proposing with " + chosen);
        return chosen == "learn" ? score_learn(job) : score_l3(job);
    }
    const method_entry* const candidates[] = {&wcd_entry, &learn_entry};
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

} // namespace vornel
