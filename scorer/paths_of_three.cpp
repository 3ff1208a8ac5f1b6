// The L3 method: degree-normalised paths of length three (Kovacs et al., Nat. Commun. 2019).
//
// For a row u the paths u-a-b-v are summed in two steps: middle[b] = sum over a in N(u) & N(b)
// of f(a), with f(x) = 1/sqrt(k_x) and b != u; then score(u, v) = sum over b in N(v) of
// middle[b] f(b). The second step either gathers (for each v, walk N(v)), which suits rows that
// reach most of the network, or scatters (for each reached b, walk N(b)), which suits rows that
// reach little of it. The choice depends on the row only, so results never depend on threads.
#include "scorer/methods.hpp"

#include <cmath>

namespace vornel {

namespace {

// Fills middle[b] for row u and returns the summed degree of the reached b (the cost of
// scattering from them).
std::uint64_t sum_paths_to_middle(const network& net, const std::vector<double>& factor, std::uint32_t u,
                                  std::uint32_t stamp, row_workspace& ws) {
    std::uint64_t reached_degree = 0;
    for (const std::uint32_t a : net.partners(u)) {
        const double fa = factor[a];
        for (const std::uint32_t b : net.partners(a)) {
            if (b == u) continue;
            if (ws.middle_stamp[b] != stamp) {
                ws.middle_stamp[b] = stamp;
                ws.middle[b] = fa;
                ws.middle_touched.push_back(b);
                reached_degree += net.degree(b);
            } else {
                ws.middle[b] += fa;
            }
        }
    }
    for (const std::uint32_t b : ws.middle_touched) ws.middle_weighted[b] = ws.middle[b] * factor[b];
    return reached_degree;
}

// Sum over b in N(v) of middle_weighted[b], in four interleaved partial sums (so the additions
// do not wait on each other) combined in a fixed order.
double gather_from_middle(const network& net, std::uint32_t v, const std::vector<double>& weighted) {
    const auto row = net.partners(v);
    const std::uint32_t* b = row.data();
    const std::size_t size = row.size();
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        s0 += weighted[b[i]];
        s1 += weighted[b[i + 1]];
        s2 += weighted[b[i + 2]];
        s3 += weighted[b[i + 3]];
    }
    for (; i < size; ++i) s0 += weighted[b[i]];
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

void gather_candidates(const network& net, std::uint32_t u, std::uint32_t stamp, row_workspace& ws) {
    for (std::uint32_t v = u + 1; v < net.protein_count(); ++v) {
        if (ws.partner_stamp[v] == stamp) continue;
        const double score = gather_from_middle(net, v, ws.middle_weighted);
        if (score > 0) ws.records.push_back({descending_key(score), candidate_tie(u, v)});
    }
}

void scatter_candidates(const scoring_job& job, std::uint32_t u, std::uint32_t stamp, row_workspace& ws) {
    const network& net = *job.net;
    for (const std::uint32_t b : ws.middle_touched) {
        const double term = ws.middle_weighted[b];
        for (const std::uint32_t v : partners_above(net, b, u)) add_to_sum(ws, stamp, v, term);
    }
    emit_candidates(u, stamp, ws, [](std::uint32_t, double sum) { return sum; });
}

// A listed pair. For interacting u and v the walks u-v-b-v (a = v) are not simple paths; their
// share f(v) is taken out of middle[b].
double listed_pair_score(const network& net, const std::vector<double>& factor, std::uint32_t u,
                         std::uint32_t v, bool interacting, std::uint32_t stamp, const row_workspace& ws) {
    if (!interacting) return gather_from_middle(net, v, ws.middle_weighted);
    double score = 0;
    for (const std::uint32_t b : net.partners(v)) {
        if (b == u || ws.middle_stamp[b] != stamp) continue;
        const double middle = ws.middle[b] - factor[v];
        if (middle > 0) score += middle * factor[b];
    }
    return score;
}

}  // namespace

record_runs score_l3(const scoring_job& job) {
    const network& net = *job.net;
    const std::uint32_t n = net.protein_count();
    std::vector<double> factor(n);
    for (std::uint32_t x = 0; x < n; ++x) factor[x] = net.degree(x) > 0 ? 1.0 / std::sqrt(double(net.degree(x))) : 0.0;

    // Listed pairs are scored from their protein with the smaller id; candidates from every row.
    const pair_rows listed = job.listed ? group_by_smaller_id(job.listed->pairs, n) : pair_rows{};
    const std::uint32_t row_count = job.listed ? static_cast<std::uint32_t>(listed.rows.size()) : n;
    auto spaces = make_workspaces(job);
    parallel_for_items(row_count, job.threads, [&](unsigned t, std::uint32_t item) {
        row_workspace& ws = spaces[t];
        const std::uint32_t u = job.listed ? listed.rows[item] : item;
        const std::uint32_t stamp = mark_partners(net, u, ws);
        const std::uint64_t reached_degree = sum_paths_to_middle(net, factor, u, stamp, ws);
        if (job.listed) {
            for (std::uint64_t e = listed.starts[u]; e < listed.starts[u + 1]; ++e) {
                const auto [v, index] = listed.entries[e];
                const bool interacting = ws.partner_stamp[v] == stamp;
                const double score = listed_pair_score(net, factor, u, v, interacting, stamp, ws);
                if (score > 0) ws.records.push_back({descending_key(score), index});
            }
        } else if (prefer_gather(net, u, reached_degree)) {
            gather_candidates(net, u, stamp, ws);
        } else {
            scatter_candidates(job, u, stamp, ws);
        }
        for (const std::uint32_t b : ws.middle_touched) ws.middle_weighted[b] = 0.0;
        ws.middle_touched.clear();
    });
    return collect_records(spaces);
}

}  // namespace vornel
