// The L3 method: degree-normalised paths of length three (Kovacs et al., Nat. Commun. 2019).
#include "scorer/methods.hpp"

#include <cmath>

namespace vornel {

namespace {

// For row u, middle[b] = sum over partners a of both u and b (a in increasing id order) of
// factor[a]; b = u is left out, as a path u-a-u-v is not simple.
void sum_paths_to_middle(const network& net, const std::vector<double>& factor, std::uint32_t u,
                         std::uint32_t stamp, row_workspace& ws) {
    for (const std::uint32_t a : net.partners(u)) {
        const double fa = factor[a];
        for (const std::uint32_t b : net.partners(a)) {
            if (b == u) continue;
            if (ws.middle_stamp[b] != stamp) {
                ws.middle_stamp[b] = stamp;
                ws.middle[b] = fa;
                ws.middle_touched.push_back(b);
            } else {
                ws.middle[b] += fa;
            }
        }
    }
}

// Puts the reached middle proteins in increasing id order, so that every pair's sum runs over
// b in the same order whichever way it is computed. Many reached proteins: a scan is cheaper.
void order_middle(std::uint32_t n, std::uint32_t stamp, row_workspace& ws) {
    auto& touched = ws.middle_touched;
    if (touched.size() * 16 > n) {
        touched.clear();
        for (std::uint32_t b = 0; b < n; ++b) {
            if (ws.middle_stamp[b] == stamp) touched.push_back(b);
        }
    } else {
        std::sort(touched.begin(), touched.end());
    }
}

// Candidates: score(u, v) = sum over b (increasing) of middle[b] * factor[b], for v > u.
void sum_paths_to_ends(const network& net, const std::vector<double>& factor, std::uint32_t u,
                       std::uint32_t stamp, row_workspace& ws) {
    for (const std::uint32_t b : ws.middle_touched) {
        const double term = ws.middle[b] * factor[b];
        for (const std::uint32_t v : partners_above(net, b, u)) add_to_sum(ws, stamp, v, term);
    }
}

// A listed pair: the same sum, walking the partners b of v. For interacting u and v the paths
// u-v-b-v (a = v) are not simple; their share factor[v] is taken out of middle[b].
double listed_pair_score(const network& net, const std::vector<double>& factor, std::uint32_t u,
                         std::uint32_t v, bool interacting, std::uint32_t stamp, const row_workspace& ws) {
    const double excluded = interacting ? factor[v] : 0.0;
    double score = 0;
    for (const std::uint32_t b : net.partners(v)) {
        if (b == u || ws.middle_stamp[b] != stamp) continue;
        const double middle = ws.middle[b] - excluded;
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

    auto spaces = make_workspaces(job);
    parallel_for_items(row_count(job), job.threads, [&](unsigned t, std::uint32_t item) {
        row_workspace& ws = spaces[t];
        const std::uint32_t u = row_at(job, item);
        const std::uint32_t stamp = mark_partners(net, u, ws);
        sum_paths_to_middle(net, factor, u, stamp, ws);
        if (job.listed) {
            const auto& listed = *job.listed;
            for (std::uint64_t e = listed.row_starts[u]; e < listed.row_starts[u + 1]; ++e) {
                const auto [v, index] = listed.row_entries[e];
                const bool interacting = ws.partner_stamp[v] == stamp;
                const double score = listed_pair_score(net, factor, u, v, interacting, stamp, ws);
                if (score > 0) ws.records.push_back({descending_key(score), index});
            }
        } else {
            order_middle(n, stamp, ws);
            sum_paths_to_ends(net, factor, u, stamp, ws);
            emit_row(job, u, stamp, ws, [](std::uint32_t, double sum, bool) { return sum; });
        }
        ws.middle_touched.clear();
    });
    return collect_records(spaces);
}

}  // namespace vornel
