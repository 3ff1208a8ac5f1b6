#include "scorer/evaluate/report.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vornel {

std::string fixed(double value, int digits) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits).ptr;
    return std::string(buffer, end);
}

namespace {

std::string with_sd(const spread& s) { return fixed(s.mean, 3) + " ± " + fixed(s.sd, 3); }

// Appends " value |" (appending piecewise also avoids a false -Wrestrict of g++ 12 on
// string concatenations).
void add_cell(std::string& text, const std::string& value) {
    text += ' ';
    text += value;
    text += " |";
}

std::string percent(double share) { return fixed(100.0 * share, 0) + "%"; }

// A share as the sampling notes give it: whole percents, or one significant digit below 1%.
std::string share_text(double share) {
    return share >= 0.01 ? percent(share) : fixed(100.0 * share, share >= 0.001 ? 1 : 2) + "%";
}

int repeat_count(const evaluation_settings& settings) { return std::max(1, settings.repeats); }

// Student's t at 97.5% for `df` degrees of freedom (df >= 1): a few repeats estimate their
// spread loosely, so the interval widens with fewer of them.
double t_975(int df) {
    static constexpr double table[] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                                       2.201,  2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086,
                                       2.080,  2.074, 2.069, 2.064, 2.060, 2.056, 2.052, 2.048, 2.045, 2.042};
    constexpr int listed = int(sizeof table / sizeof table[0]);
    return df <= listed ? table[df - 1] : 1.960 + 2.4 / double(df);
}

// The sampling error of a mean over the repeats, each with its own draw, as the half-width of
// its 95% interval: the spread over the repeats holds the draws' variation as well as the
// hold-outs', so t * sd / sqrt(repeats) covers the draws' error of the mean.
double sampling_error(const spread& s, const evaluation_settings& settings) {
    const int r = repeat_count(settings);
    return t_975(r - 1) * s.sd / std::sqrt(double(r));
}

// Whether a draw left rows or listed pairs unscored (a share just below 1 may draw every one).
bool proposal_sampled(const evaluation_result& result) { return result.scored_rows < double(result.proteins) - 0.5; }
bool filtering_sampled(const evaluation_result& result) { return result.scored_listed < double(result.listed) - 0.5; }

// One repeat gives no spread, so no sampling error either.
bool error_measurable(const evaluation_settings& settings) { return repeat_count(settings) >= 2; }

std::string error_note(const evaluation_settings& settings) {
    const int r = repeat_count(settings);
    if (!error_measurable(settings)) {
        return "With 1 repeat the sampling error cannot be measured (it takes --repeats 2 or more); the last "
               "column says so.\n";
    }
    return "Every repeat draws its own sample, so the ± (over the " + std::to_string(r) +
           " repeats) include the draws' variation. The sampling error of a mean, the half-width of its 95% "
           "interval, is its ± × " + fixed(t_975(r - 1) / std::sqrt(double(r)), 2) + " (Student's t for " +
           std::to_string(r) + " repeats over √" + std::to_string(r) +
           "); the last column gives it for the figure the recommendation compares.\n";
}

// The sampling error cell of a figure.
std::string error_cell(const spread& s, const evaluation_settings& settings) {
    return error_measurable(settings) ? "± " + fixed(sampling_error(s, settings), 4) : std::string("unknown");
}

void add_proposal_sampling_note(std::string& text, const evaluation_result& result,
                                const evaluation_settings& settings) {
    text += "\nSampled (--sample " + fixed(settings.row_share, 4) + "): each repeat scored the rows of a hashed " +
            share_text(settings.row_share) + " of the proteins (" + fixed(result.scored_rows, 0) +
            " on average), the pairs whose smaller protein was drawn: " + share_text(result.scored_pair_share) +
            " of all pairs. Only the " + std::to_string(result.hidden) +
            " hidden interactions those rows can propose count. P@k and R@k are read at rank k × " +
            fixed(result.scored_pair_share, 4) +
            " of the drawn pairs' ranking, where the whole ranking's k-th pair falls on average, so they estimate "
            "the figures of every row. " +
            error_note(settings);
}

void add_proposal_table(std::string& text, const evaluation_result& result, const evaluation_settings& settings) {
    const bool sampled = proposal_sampled(result);
    text += "\n## Proposing: " + std::to_string(sampled ? result.hidden_in_all_rows : result.hidden) +
            " interactions hidden (" + percent(settings.hide_share) + ") and ranked back\n";
    if (sampled) add_proposal_sampling_note(text, result, settings);
    text += "\n| method |";
    for (const auto k : settings.top_k) text += " P@" + std::to_string(k) + " |";
    text += " AP |";
    for (const auto k : settings.top_k) text += " R@" + std::to_string(k) + " |";
    if (sampled) text += " AP's sampling error |";
    text += "\n|---|";
    for (std::size_t i = 0; i < 2 * settings.top_k.size() + 1 + (sampled ? 1 : 0); ++i) text += "---|";
    text += "\n";
    for (const auto& row : result.proposal) {
        text += "| " + row.method + " |";
        for (const auto& s : row.precision) add_cell(text, with_sd(s));
        add_cell(text, with_sd(row.average_precision));
        for (const auto& s : row.recall) add_cell(text, with_sd(s));
        if (sampled) add_cell(text, error_cell(row.average_precision, settings));
        text += "\n";
    }
    text += "| random |";
    for (std::size_t i = 0; i < settings.top_k.size(); ++i) add_cell(text, fixed(result.random_precision, 5));
    add_cell(text, fixed(result.random_precision, 5));
    const double non_edges = result.random_precision > 0 ? double(result.hidden) / result.random_precision : 0.0;
    for (const auto k : settings.top_k) {
        const double rank = sampled ? std::max(1.0, std::round(double(k) * result.scored_pair_share)) : double(k);
        add_cell(text, fixed(non_edges > 0 ? std::min(1.0, rank / non_edges) : 0.0, 5));
    }
    if (sampled) add_cell(text, "");
    text += "\n";
}

void add_filter_table(std::string& text, const evaluation_result& result, const evaluation_settings& settings) {
    const bool sampled = filtering_sampled(result);
    text += "\n## Filtering: " + std::to_string(result.planted) + " degree-proportional random pairs planted (" +
            percent(settings.plant_share) + ")\n";
    if (sampled) {
        text += "\nSampled (--sample " + fixed(settings.listed_share, 4) + "): each repeat scored a hashed " +
                share_text(settings.listed_share) + " of the interactions and planted pairs (" +
                fixed(result.scored_listed, 0) + " on average) in the network that holds them all. " +
                error_note(settings);
    }
    text += "\n| method | AUC | planted among lowest " + percent(settings.low_share) + " | AUC without degree-1 ends |";
    text += sampled ? " AUC's sampling error |\n|---|---|---|---|---|\n" : "\n|---|---|---|---|\n";
    for (const auto& row : result.filtering) {
        text += "| " + row.method + " | " + with_sd(row.auc) + " | " + with_sd(row.low_share) + " | " +
                with_sd(row.auc_without_leaves) + " |";
        if (sampled) add_cell(text, error_cell(row.auc, settings));
        text += "\n";
    }
    text += "| random | 0.500 | " + fixed(result.planted_base_share, 3) + " | 0.500 |" + (sampled ? " |" : "") + "\n";
}

// The interactions the recommended filter phase keeps: the best four fifths.
std::uint64_t filter_keep_count(const evaluation_result& result, const evaluation_settings& settings) {
    return static_cast<std::uint64_t>(std::llround((1.0 - settings.low_share) * double(result.interactions)));
}

// The methods other than `best` whose mean `figure` is within the sampling errors of `best`'s
// (the two errors added in quadrature), as ", a, b"; empty when none is, or when nothing was
// sampled or the error cannot be measured.
template <class Row>
std::string within_error_of(const std::vector<Row>& rows, const std::string& best, spread Row::*figure, bool sampled,
                            const evaluation_settings& settings) {
    if (!sampled || !error_measurable(settings)) return {};
    const auto chosen = std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row.method == best; });
    if (chosen == rows.end()) return {};
    const spread& top = (*chosen).*figure;
    std::string names;
    for (const Row& row : rows) {
        const spread& other = row.*figure;
        const double error = std::hypot(sampling_error(top, settings), sampling_error(other, settings));
        if (row.method != best && top.mean - other.mean <= error) names += ", " + row.method;
    }
    return names;
}

// One job's recommendation line: the method and why, with the runners-up a sampled evaluation
// cannot tell from it (`close`, as within_error_of gives them); none without an informative one.
std::string recommendation_line(const std::string& job, const std::string& method, bool informative,
                                const std::string& reason, const std::string& close) {
    if (!informative) return "Recommendation for " + job + ": none (no method beats random here).\n";
    const std::string why = close.empty() ? reason : reason + "; within the sampling error of it: " + close.substr(2);
    return "Recommendation for " + job + ": " + method + " (" + why + ").\n";
}

} // namespace

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
    text += std::to_string(result.proteins) + " proteins, " + std::to_string(result.interactions) + " interactions; " +
            std::to_string(std::max(1, settings.repeats)) + " repeats, seed " + std::to_string(settings.seed) + ", " +
            std::to_string(std::max(1, settings.rounds)) + " rounds for iterative methods.\n";
    if (const std::string reason = too_small_to_evaluate(result, settings); !reason.empty()) {
        return text + "\nToo small to evaluate: " + reason + "; no figures and no recommendation.\n";
    }
    if (settings.propose) add_proposal_table(text, result, settings);
    if (settings.filter) add_filter_table(text, result, settings);
    text += "\n";
    const std::string proposer = best_proposer(result);
    const std::string filter = best_filter(result);
    // A method that does no better than chance is not recommended as if it had been measured.
    const bool proposer_informative =
        !proposer.empty() && result.hidden > 0 &&
        std::any_of(result.proposal.begin(), result.proposal.end(),
                    [&](const proposal_row& row) { return row.average_precision.mean > result.random_precision; });
    const bool filter_informative = !filter.empty() && result.planted > 0 &&
                                    std::any_of(result.filtering.begin(), result.filtering.end(),
                                                [](const filter_row& row) { return row.auc.mean > 0.5; });
    if (!proposer.empty()) {
        text += recommendation_line("proposing", proposer, proposer_informative, "highest average precision",
                                    within_error_of(result.proposal, proposer, &proposal_row::average_precision,
                                                    proposal_sampled(result), settings));
    }
    if (!filter.empty()) {
        text += recommendation_line("filtering", filter, filter_informative, "highest AUC",
                                    within_error_of(result.filtering, filter, &filter_row::auc,
                                                    filtering_sampled(result), settings));
    }
    // ppi-refine reads its network as a plain list: a network read with other options is cut
    // into one first, so that the line refines the network evaluated here.
    if (!cut_command.empty()) {
        text += "\nThe network was read with options that ppi-refine cannot pass on: write it as a plain "
                "edge list first, then refine that file.\n\n    " +
                cut_command + "\n";
    }
    const std::string& refined_path = cut_command.empty() ? network_path : cut_path;
    // Filtering keeps the best four fifths (the measure above looks at the lowest fifth); adding
    // takes the middle top-k of the list. Without a measured winner, the defaults wcd and l3.
    const std::uint64_t keep = filter_keep_count(result, settings);
    const std::uint64_t add = settings.top_k.empty() ? 500 : settings.top_k[settings.top_k.size() / 2];
    text += (cut_command.empty() ? "\n" : "") + std::string("    ppi-refine ") + refined_path + " " +
            std::to_string(std::max(1, settings.rounds)) + " " + (filter_informative ? filter : std::string("wcd")) +
            " " + std::to_string(keep) + " " + (proposer_informative ? proposer : std::string("l3")) + " " +
            std::to_string(add) + " refined.tsv\n";
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

} // namespace vornel
