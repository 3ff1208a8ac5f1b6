// The L3 method: degree-normalised paths of length three (Kovacs et al., Nat. Commun. 2019),
// and its weighted form l3-w.
//
// For a row u the paths u-a-b-v are summed in two steps: middle[b] = sum over a in N(u) & N(b)
// of f(a) (times w(u,a) w(a,b) when weighted), with f(x) = 1/sqrt(k_x) (1/sqrt(s_x) weighted,
// s the strength) and b != u; then score(u, v) = sum over b in N(v) of middle[b] f(b) (times
// w(b,v)). The second step either gathers (for each v, walk N(v)), which suits rows that reach
// most of the network, or scatters (for each reached b, walk N(b)), which suits rows that reach
// little of it. The choice depends on the row only, so results never depend on threads.
#include "scorer/methods/row_engine.hpp"
#include "scorer/methods/scorers.hpp"

#include <cmath>

namespace vornel {

namespace {

// Every interaction weighs 1: the unweighted method, with no multiplication at all.
struct unit_weights {
    static constexpr bool weighted = false;
    double operator[](std::uint64_t) const { return 1.0; }
};

// Interaction weights by slot.
struct weights_by_slot {
    static constexpr bool weighted = true;
    std::span<const double> weight;
    double operator[](std::uint64_t slot) const { return weight[slot]; }
};

// Fills middle[b] for row u and returns the summed degree of the reached b (the cost of
// scattering from them).
template <class Weights>
std::uint64_t sum_paths_to_middle(const network& net, const std::vector<double>& factor, const Weights& w,
                                  std::uint32_t u, std::uint32_t stamp, row_workspace& ws) {
    std::uint64_t reached_degree = 0;
    for (std::uint64_t slot_ua = net.row_starts[u]; slot_ua < net.row_starts[u + 1]; ++slot_ua) {
        const std::uint32_t a = net.partner_ids[slot_ua];
        double fa = factor[a];
        if constexpr (Weights::weighted) fa *= w[slot_ua];
        for (std::uint64_t slot_ab = net.row_starts[a]; slot_ab < net.row_starts[a + 1]; ++slot_ab) {
            const std::uint32_t b = net.partner_ids[slot_ab];
            if (b == u) continue;
            double term = fa;
            if constexpr (Weights::weighted) term *= w[slot_ab];
            if (ws.middle_stamp[b] != stamp) {
                ws.middle_stamp[b] = stamp;
                ws.middle[b] = term;
                ws.middle_touched.push_back(b);
                reached_degree += net.degree(b);
            } else {
                ws.middle[b] += term;
            }
        }
    }
    for (const std::uint32_t b : ws.middle_touched) ws.middle_weighted[b] = ws.middle[b] * factor[b];
    return reached_degree;
}

// Sum over b in N(v) of middle_weighted[b] (times w(b,v)), in four interleaved partial sums (so
// the additions do not wait on each other) combined in a fixed order.
template <class Weights>
double gather_from_middle(const network& net, std::uint32_t v, const std::vector<double>& weighted, const Weights& w) {
    const auto row = net.partners(v);
    const std::uint32_t* b = row.data();
    const std::size_t size = row.size();
    const std::uint64_t first = net.row_starts[v];
    auto term = [&](std::size_t i) {
        if constexpr (Weights::weighted) {
            return weighted[b[i]] * w[first + i];
        } else {
            return weighted[b[i]];
        }
    };
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        s0 += term(i);
        s1 += term(i + 1);
        s2 += term(i + 2);
        s3 += term(i + 3);
    }
    for (; i < size; ++i) s0 += term(i);
    return (s0 + s1) + (s2 + s3);
}

// Gathering costs one step per partner of every protein above u; scattering costs about three
// (stamp check, sum, touched list) per partner above u of every reached b, estimated from the
// reached proteins' degrees and the share of proteins above u.
bool prefer_gather(const network& net, std::uint32_t u, std::uint64_t reached_degree) {
    const double above_share = double(net.protein_count() - u) / double(net.protein_count());
    const double scatter_cost = 3.0 * double(reached_degree) * above_share;
    const double gather_cost = double(net.partner_ids.size() - net.row_starts[u + 1]) + double(net.protein_count() - u);
    return scatter_cost >= gather_cost;
}

template <class Weights>
void gather_candidates(const network& net, const Weights& w, std::uint32_t u, std::uint32_t stamp, row_workspace& ws) {
    for (std::uint32_t v = u + 1; v < net.protein_count(); ++v) {
        if (ws.partner_stamp[v] == stamp) continue;
        const double score = gather_from_middle(net, v, ws.middle_weighted, w);
        if (score > 0) ws.records.push_back({descending_key(score), candidate_tie(u, v)});
    }
}

template <class Weights>
void scatter_candidates(const network& net, const Weights& w, std::uint32_t u, std::uint32_t stamp, row_workspace& ws) {
    for (const std::uint32_t b : ws.middle_touched) {
        const double term = ws.middle_weighted[b];
        const auto above = partners_above(net, b, u);
        std::uint64_t slot_bv = static_cast<std::uint64_t>(above.data() - net.partner_ids.data());
        for (const std::uint32_t v : above) {
            if constexpr (Weights::weighted) {
                add_to_sum(ws, stamp, v, term * w[slot_bv++]);
            } else {
                add_to_sum(ws, stamp, v, term);
            }
        }
    }
    emit_candidates(u, stamp, ws, [](std::uint32_t, double sum) { return sum; });
}

// A listed pair. For interacting u and v the walks u-v-b-v (a = v) are not simple paths; their
// share f(v) (times w(u,v) w(v,b)) is taken out of middle[b].
template <class Weights>
double listed_pair_score(const network& net, const std::vector<double>& factor, const Weights& w, std::uint32_t u,
                         std::uint32_t v, bool interacting, std::uint32_t stamp, const row_workspace& ws) {
    if (!interacting) return gather_from_middle(net, v, ws.middle_weighted, w);
    double from_v = factor[v];
    if constexpr (Weights::weighted) from_v *= w[ws.partner_slot[v]];
    double score = 0;
    for (std::uint64_t slot_vb = net.row_starts[v]; slot_vb < net.row_starts[v + 1]; ++slot_vb) {
        const std::uint32_t b = net.partner_ids[slot_vb];
        if (b == u || ws.middle_stamp[b] != stamp) continue;
        double share = from_v;
        if constexpr (Weights::weighted) share *= w[slot_vb];
        const double middle = ws.middle[b] - share;
        if constexpr (Weights::weighted) {
            if (middle > 0) score += middle * factor[b] * w[slot_vb];
        } else {
            if (middle > 0) score += middle * factor[b];
        }
    }
    return score;
}

// f(x) for every protein: 1/sqrt(k_x), or 1/sqrt(s_x) when weighted (0 for k or s of 0).
template <class Weights>
std::vector<double> path_factors(const network& net, const Weights& w) {
    std::vector<double> factor(net.protein_count());
    if constexpr (Weights::weighted) {
        factor = strengths(net, w.weight);
    } else {
        for (std::uint32_t x = 0; x < net.protein_count(); ++x) factor[x] = double(net.degree(x));
    }
    for (double& f : factor) f = f > 0 ? 1.0 / std::sqrt(f) : 0.0;
    return factor;
}

template <class Weights>
record_runs score_paths_of_three(const scoring_job& job, const Weights& w) {
    const network& net = *job.net;
    const std::uint32_t n = net.protein_count();
    const std::vector<double> factor = path_factors(net, w);

    // Listed pairs are scored from their protein with the smaller id; candidates from the job's rows.
    const pair_rows listed = job.listed ? group_by_smaller_id(job.listed->pairs, n) : pair_rows{};
    const std::uint32_t row_count = job.listed ? static_cast<std::uint32_t>(listed.rows.size()) : rows_to_score(job);
    auto spaces = make_workspaces(job);
    for (row_workspace& ws : spaces) ws.prepare_middle_sums(n);
    parallel_for_items(row_count, job.threads, [&](unsigned t, std::uint32_t item) {
        row_workspace& ws = spaces[t];
        const std::uint32_t u = job.listed ? listed.rows[item] : row_to_score(job, item);
        const std::uint32_t stamp = mark_partners(net, u, ws);
        const std::uint64_t reached_degree = sum_paths_to_middle(net, factor, w, u, stamp, ws);
        if (job.listed) {
            for (std::uint64_t e = listed.starts[u]; e < listed.starts[u + 1]; ++e) {
                const auto [v, index] = listed.entries[e];
                const bool interacting = ws.partner_stamp[v] == stamp;
                const double score = listed_pair_score(net, factor, w, u, v, interacting, stamp, ws);
                if (score > 0) ws.records.push_back({descending_key(score), index});
            }
        } else if (prefer_gather(net, u, reached_degree)) {
            gather_candidates(net, w, u, stamp, ws);
        } else {
            scatter_candidates(net, w, u, stamp, ws);
        }
        for (const std::uint32_t b : ws.middle_touched) ws.middle_weighted[b] = 0.0;
        ws.middle_touched.clear();
    }, job.cancel);
    return collect_records(spaces);
}

}  // namespace

record_runs score_l3(const scoring_job& job) { return score_paths_of_three(job, unit_weights{}); }

record_runs score_l3_w(const scoring_job& job) {
    std::vector<double> ones;
    return score_paths_of_three(job, weights_by_slot{slot_weights(*job.net, ones)});
}

}  // namespace vornel
