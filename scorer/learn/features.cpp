#include "scorer/learn/features.hpp"

#include <cmath>

namespace vornel {

namespace {

// What row u puts at a protein x as its partner (shared: 1, ra: 1/k_x) and as the middle of
// two-step walks u-a-x (paths: their number). Every field is zero outside the current row, so a
// gather over the row of v adds them up without asking what x is. Whole numbers are summed as
// integers, which gives the same doubles as summing them as doubles (all far below 2^53).
struct near_terms {
    std::uint32_t shared = 0;
    std::uint32_t paths = 0;
    double ra = 0;
};

// Per-thread arrays indexed by protein; stamps (row + 1) mark what belongs to the current row.
// The sums of the walks u-a-x are kept apart from the partner terms: l3_out, the one field a
// best-l3 gather needs, is a plain array of doubles (8 bytes a step instead of a whole record).
// measured (with the per-need passes of visit_row): learn --top 500, 1,000,000-interaction
// STRING-shaped network, -t 2: one 40-byte record per protein, every pass gathering it whole ->
// these arrays: 148.8 -> 96.7-99.1 s of CPU (5,000 proteins, 250,000 interactions: 11.1 -> 6.3 s).
struct feature_workspace {
    explicit feature_workspace(std::uint32_t n)
        : partner_stamp(n, 0), middle_stamp(n, 0), near(n), middle_l3(n, 0.0), l3_out(n, 0.0), end_stamp(n, 0),
          end_counts(n), best(n, 0.0) {}
    std::vector<std::uint32_t> partner_stamp;
    std::vector<std::uint32_t> middle_stamp;  // x reached by u-a-x
    std::vector<near_terms> near;
    std::vector<double> middle_l3; // sum over walks u-a-x of 1/sqrt(k_a)
    std::vector<double> l3_out;    // middle_l3 times 1/sqrt(k_x)
    std::vector<std::uint32_t> middle_touched;
    std::vector<std::uint32_t> end_stamp;     // v reached by u-a-v or u-a-b-v
    std::vector<pair_counts> end_counts;
    std::vector<std::uint32_t> end_touched;
    std::vector<double> best;                 // best_l3_per_protein: this thread's maxima
};

std::vector<feature_workspace> make_feature_workspaces(const network& net, unsigned threads) {
    std::vector<feature_workspace> spaces;
    for (unsigned t = 0; t < std::max(1u, threads); ++t) spaces.emplace_back(net.protein_count());
    return spaces;
}

std::vector<double> inverse_root_degrees(const network& net) {
    std::vector<double> factor(net.protein_count());
    for (std::uint32_t x = 0; x < net.protein_count(); ++x) {
        factor[x] = net.degree(x) > 0 ? 1.0 / std::sqrt(double(net.degree(x))) : 0.0;
    }
    return factor;
}

// Marks u's partners and sums the two-step walks u-a-b (b != u) into the row terms; returns the
// summed degree of the reached b (the cost of scattering from them).
std::uint64_t sum_middle(const network& net, const std::vector<double>& factor, std::uint32_t u,
                         feature_workspace& ws) {
    const std::uint32_t stamp = u + 1;
    for (const std::uint32_t a : net.partners(u)) {
        ws.partner_stamp[a] = stamp;
        ws.near[a].shared = 1;
        ws.near[a].ra = 1.0 / double(net.degree(a));
    }
    std::uint64_t reached_degree = 0;
    for (const std::uint32_t a : net.partners(u)) {
        const double fa = factor[a];
        for (const std::uint32_t b : net.partners(a)) {
            if (b == u) continue;
            if (ws.middle_stamp[b] != stamp) {
                ws.middle_stamp[b] = stamp;
                ws.middle_touched.push_back(b);
                reached_degree += net.degree(b);
            }
            ws.near[b].paths += 1;
            ws.middle_l3[b] += fa;
        }
    }
    for (const std::uint32_t b : ws.middle_touched) ws.l3_out[b] = ws.middle_l3[b] * factor[b];
    return reached_degree;
}

// Zeroes what sum_middle set, so the next row starts from zero terms.
void clear_row(const network& net, std::uint32_t u, feature_workspace& ws) {
    for (const std::uint32_t a : net.partners(u)) ws.near[a] = {};
    for (const std::uint32_t b : ws.middle_touched) {
        ws.near[b] = {};
        ws.middle_l3[b] = 0.0;
        ws.l3_out[b] = 0.0;
    }
    ws.middle_touched.clear();
}

pair_counts& end_of(feature_workspace& ws, std::uint32_t stamp, std::uint32_t v) {
    if (ws.end_stamp[v] != stamp) {
        ws.end_stamp[v] = stamp;
        ws.end_counts[v] = {};
        ws.end_touched.push_back(v);
    }
    return ws.end_counts[v];
}

void set_degrees(pair_counts& c, double ku, double kv) {
    c.k_low = std::min(ku, kv);
    c.k_high = std::max(ku, kv);
}

// The counts of (u, v) from the terms of row u, walking N(v); as if u-v were absent.
pair_counts gather_pair(const network& net, const std::vector<double>& factor, std::uint32_t u, std::uint32_t v,
                        std::uint32_t stamp, const feature_workspace& ws) {
    const bool interacting = ws.partner_stamp[v] == stamp;
    // With u-v present, a = v put one walk u-v-b into the terms of every b in N(v).
    const double through_v = interacting ? 1.0 : 0.0;
    pair_counts c;
    for (const std::uint32_t b : net.partners(v)) {
        if (b == u) continue;
        if (ws.partner_stamp[b] == stamp) {
            c.shared += 1;
            c.ra += 1.0 / double(net.degree(b));
        }
        if (ws.middle_stamp[b] != stamp) continue;
        c.paths3 += double(ws.near[b].paths) - through_v;
        c.l3 += (ws.middle_l3[b] - through_v * factor[v]) * factor[b];
    }
    set_degrees(c, double(net.degree(u)) - through_v, double(net.degree(v)) - through_v);
    return c;
}

// The partners of x from `from` on: all of them for whole rows, those above u otherwise.
std::span<const std::uint32_t> partners_from(const network& net, std::uint32_t x, std::uint32_t u, bool whole_row) {
    return whole_row ? net.partners(x) : partners_above(net, x, u);
}

// Scatters row u to its candidates: for each reached x, walks N(x). Suits rows that reach
// little of the network.
void scatter_row(const network& net, std::uint32_t u, bool whole_row, feature_workspace& ws) {
    const std::uint32_t stamp = u + 1;
    for (const std::uint32_t a : net.partners(u)) {
        const double ra = ws.near[a].ra;
        for (const std::uint32_t v : partners_from(net, a, u, whole_row)) {
            if (v == u) continue;
            pair_counts& c = end_of(ws, stamp, v);
            c.shared += 1;
            c.ra += ra;
        }
    }
    for (const std::uint32_t b : ws.middle_touched) {
        const double paths = ws.near[b].paths;
        const double l3_out = ws.l3_out[b];
        for (const std::uint32_t v : partners_from(net, b, u, whole_row)) {
            if (v == u) continue;
            pair_counts& c = end_of(ws, stamp, v);
            c.paths3 += paths;
            c.l3 += l3_out;
        }
    }
}

// The counts of (u, v), v not a partner of u, walking N(v) over the zero-outside-the-row terms.
pair_counts gather_candidate(const network& net, std::uint32_t v, const feature_workspace& ws) {
    std::uint64_t shared = 0;
    std::uint64_t paths = 0;
    double ra = 0;
    double l3 = 0;
    for (const std::uint32_t b : net.partners(v)) {
        const near_terms& t = ws.near[b];
        shared += t.shared;
        paths += t.paths;
        ra += t.ra;
        l3 += ws.l3_out[b];
    }
    pair_counts c;
    c.shared = double(shared);
    c.paths3 = double(paths);
    c.ra = ra;
    c.l3 = l3;
    return c;
}

// The l3 of (u, v) alone, summed in the same order as gather_candidate sums it (same bits).
double gather_l3(const network& net, std::uint32_t v, const feature_workspace& ws) {
    double l3 = 0;
    for (const std::uint32_t b : net.partners(v)) l3 += ws.l3_out[b];
    return l3;
}

// Gathering costs a step per partner of every protein in the row's range; scattering about three
// per partner (in range) of every reached protein (the cost model of l3's row pass), plus the
// walk to the shared partners, taken as one mean degree.
// measured: learn on the human pathways network, -t 2, scatter only -> with gather: 94.5 -> 70.7 s.
bool prefer_gather(const network& net, std::uint32_t u, std::uint64_t reached_degree, bool whole_row) {
    const std::uint32_t first = whole_row ? 0 : u + 1;
    const double range_share = double(net.protein_count() - first) / double(net.protein_count());
    const double scatter_cost = 3.0 * double(reached_degree + net.partner_ids.size() / net.protein_count()) * range_share;
    const double gather_cost = double(net.partner_ids.size() - net.row_starts[first]) + double(net.protein_count() - first);
    return scatter_cost >= gather_cost;
}

// What a pass needs of the candidate v of row u: nothing, its l3 alone, or all its counts.
enum class need { nothing, l3, counts };

struct need_counts {
    need operator()(std::uint32_t) const { return need::counts; }
};

struct need_l3 {
    need operator()(std::uint32_t) const { return need::l3; }
};

// Visits the candidates of row u: visit(t, u, v, counts) for those whose counts are needed,
// visit_l3(v, l3) for those whose l3 alone is. Which of gathering and scattering serves the
// row depends on the row only (not on what is needed), so the sums, and their bits, do not
// depend on the pass either.
template <class Needs, class Visit, class VisitL3>
void visit_row(const network& net, const std::vector<double>& factor, unsigned t, std::uint32_t u, bool whole_row,
               feature_workspace& ws, const Needs& needs, const Visit& visit, const VisitL3& visit_l3) {
    const std::uint32_t stamp = u + 1;
    const std::uint64_t reached_degree = sum_middle(net, factor, u, ws);
    const double ku = net.degree(u);
    if (prefer_gather(net, u, reached_degree, whole_row)) {
        for (std::uint32_t v = whole_row ? 0 : u + 1; v < net.protein_count(); ++v) {
            if (v == u || ws.partner_stamp[v] == stamp) continue;
            const need wanted = needs(v);
            if (wanted == need::l3) {
                const double l3 = gather_l3(net, v, ws);
                if (l3 > 0) visit_l3(v, l3);
            } else if (wanted == need::counts) {
                pair_counts c = gather_candidate(net, v, ws);
                if (c.shared == 0 && c.paths3 == 0) continue;
                set_degrees(c, ku, net.degree(v));
                visit(t, u, v, c);
            }
        }
    } else {
        scatter_row(net, u, whole_row, ws);
        for (const std::uint32_t v : ws.end_touched) {
            if (ws.partner_stamp[v] == stamp) continue;
            const need wanted = needs(v);
            pair_counts& c = ws.end_counts[v];
            if (wanted == need::l3) {
                visit_l3(v, c.l3);
            } else if (wanted == need::counts) {
                set_degrees(c, ku, net.degree(v));
                visit(t, u, v, c);
            }
        }
        ws.end_touched.clear();
    }
    clear_row(net, u, ws);
}

}  // namespace

namespace {

// log(1 + x) of the small whole numbers (path, partner and degree counts) from a table filled by
// std::log1p itself, so the values are the same bits as the call's.
// measured: learn on the human pathways network (154 million candidates), -t 2: 119.5 -> 103.4 s.
constexpr std::size_t log1p_table_size = 4096;

const std::array<double, log1p_table_size>& log1p_table() {
    static const std::array<double, log1p_table_size> table = [] {
        std::array<double, log1p_table_size> values{};
        for (std::size_t i = 0; i < log1p_table_size; ++i) values[i] = std::log1p(double(i));
        return values;
    }();
    return table;
}

double log1p_count(double x) {
    if (x >= 0 && x < double(log1p_table_size)) {
        const auto whole = static_cast<std::size_t>(x);
        if (double(whole) == x) return log1p_table()[whole];
    }
    return std::log1p(x);
}

}  // namespace

feature_row features_of(const pair_counts& c) {
    const double norm = c.k_low > 0 ? c.l3 / std::sqrt(c.k_low * c.k_high) : 0.0;
    return {log1p_count(c.paths3), std::log1p(c.l3), std::log1p(norm), log1p_count(c.shared), std::log1p(c.ra),
            log1p_count(c.k_low), log1p_count(c.k_high)};
}

proposal_features proposal_features_of(const pair_counts& c, double best_u, double best_v) {
    const feature_row base = features_of(c);
    proposal_features row{};
    std::copy(base.begin(), base.end(), row.begin());
    row[feature_count] = std::min(best_u, best_v);
    row[feature_count + 1] = std::max(best_u, best_v);
    return row;
}

void visit_candidates(const network& net, unsigned threads, const candidate_visit& visit,
                      const std::atomic<bool>* cancel, std::span<const std::uint32_t> rows) {
    const std::vector<double> factor = inverse_root_degrees(net);
    auto spaces = make_feature_workspaces(net, threads);
    const auto count = rows.empty() ? net.protein_count() : static_cast<std::uint32_t>(rows.size());
    parallel_for_items(
        count, std::max(1u, threads),
        [&](unsigned t, std::uint32_t item) {
            visit_row(net, factor, t, rows.empty() ? item : rows[item], false, spaces[t], need_counts{}, visit,
                      [](std::uint32_t, double) {});
        },
        cancel);
}

void visit_whole_rows(const network& net, std::span<const std::uint32_t> rows, unsigned threads,
                      const candidate_visit& visit, const std::atomic<bool>* cancel) {
    const std::vector<double> factor = inverse_root_degrees(net);
    auto spaces = make_feature_workspaces(net, threads);
    parallel_for_items(
        static_cast<std::uint32_t>(rows.size()), std::max(1u, threads),
        [&](unsigned t, std::uint32_t i) {
            visit_row(net, factor, t, rows[i], true, spaces[t], need_counts{}, visit, [](std::uint32_t, double) {});
        },
        cancel);
}

void visit_sampled_pairs(const network& net, std::span<const std::uint32_t> rows,
                         std::span<const unsigned char> in_sample, unsigned threads, const candidate_visit& visit,
                         std::vector<double>* row_best, const std::atomic<bool>* cancel) {
    const std::vector<double> factor = inverse_root_degrees(net);
    auto spaces = make_feature_workspaces(net, threads);
    parallel_for_items(
        static_cast<std::uint32_t>(rows.size()), std::max(1u, threads),
        [&](unsigned t, std::uint32_t i) {
            const std::uint32_t u = rows[i];
            const need outside = row_best ? need::l3 : need::nothing;
            const auto needs = [&](std::uint32_t v) { return v > u && in_sample[v] ? need::counts : outside; };
            // Row u's entry of row_best is written by row u only.
            const auto keep_best = [&](std::uint32_t, double l3) { (*row_best)[u] = std::max((*row_best)[u], l3); };
            const auto visit_sampled = [&](unsigned thread, std::uint32_t, std::uint32_t v, const pair_counts& c) {
                if (row_best) keep_best(v, c.l3);
                visit(thread, u, v, c);
            };
            visit_row(net, factor, t, u, true, spaces[t], needs, visit_sampled, keep_best);
        },
        cancel);
}

std::vector<double> best_l3_per_protein(const network& net, unsigned threads, const std::atomic<bool>* cancel) {
    const std::vector<double> factor = inverse_root_degrees(net);
    auto spaces = make_feature_workspaces(net, threads);
    parallel_for_items(
        net.protein_count(), std::max(1u, threads),
        [&](unsigned t, std::uint32_t u) {
            std::vector<double>& best = spaces[t].best;
            const auto keep_best = [&](std::uint32_t v, double l3) {
                best[u] = std::max(best[u], l3);
                best[v] = std::max(best[v], l3);
            };
            visit_row(
                net, factor, t, u, false, spaces[t], need_l3{},
                [](unsigned, std::uint32_t, std::uint32_t, const pair_counts&) {}, keep_best);
        },
        cancel);
    // A maximum does not depend on which thread saw which pair.
    std::vector<double> best(net.protein_count(), 0.0);
    for (const auto& space : spaces) {
        for (std::uint32_t x = 0; x < net.protein_count(); ++x) best[x] = std::max(best[x], space.best[x]);
    }
    return best;
}

void log_best_l3(std::vector<double>& best) {
    for (double& value : best) value = std::log1p(value);
}

std::vector<pair_counts> listed_pair_counts(const network& net, std::span<const pair_ids> pairs, unsigned threads,
                                            const std::atomic<bool>* cancel) {
    const std::vector<double> factor = inverse_root_degrees(net);
    const pair_rows grouped = group_by_smaller_id(pairs, net.protein_count());
    std::vector<pair_counts> counts(pairs.size());
    auto spaces = make_feature_workspaces(net, threads);
    parallel_for_items(static_cast<std::uint32_t>(grouped.rows.size()), std::max(1u, threads),
                       [&](unsigned t, std::uint32_t item) {
        feature_workspace& ws = spaces[t];
        const std::uint32_t u = grouped.rows[item];
        const std::uint32_t stamp = u + 1;
        sum_middle(net, factor, u, ws);
        for (std::uint64_t e = grouped.starts[u]; e < grouped.starts[u + 1]; ++e) {
            const auto [v, index] = grouped.entries[e];
            counts[index] = gather_pair(net, factor, u, v, stamp, ws);
        }
        clear_row(net, u, ws);
    }, cancel);
    return counts;
}

}  // namespace vornel
