#include "scorer/features.hpp"

#include <cmath>

namespace vornel {

namespace {

// Per-thread arrays indexed by protein; stamps (row + 1) mark what belongs to the current row.
struct feature_workspace {
    explicit feature_workspace(std::uint32_t n)
        : partner_stamp(n, 0), middle_stamp(n, 0), middle_paths(n, 0), middle_l3(n, 0), end_stamp(n, 0),
          end_counts(n) {}
    std::vector<std::uint32_t> partner_stamp;
    std::vector<std::uint32_t> middle_stamp;  // b reached by u-a-b
    std::vector<double> middle_paths;         // paths u-a-b
    std::vector<double> middle_l3;            // their sum of 1/sqrt(k_a)
    std::vector<std::uint32_t> middle_touched;
    std::vector<std::uint32_t> end_stamp;     // v reached by u-a-v or u-a-b-v
    std::vector<pair_counts> end_counts;
    std::vector<std::uint32_t> end_touched;
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

// Marks u's partners and sums the two-step walks u-a-b (b != u) into the middle arrays.
std::uint32_t sum_middle(const network& net, const std::vector<double>& factor, std::uint32_t u,
                         feature_workspace& ws) {
    const std::uint32_t stamp = u + 1;
    for (const std::uint32_t a : net.partners(u)) ws.partner_stamp[a] = stamp;
    for (const std::uint32_t a : net.partners(u)) {
        for (const std::uint32_t b : net.partners(a)) {
            if (b == u) continue;
            if (ws.middle_stamp[b] != stamp) {
                ws.middle_stamp[b] = stamp;
                ws.middle_paths[b] = 0;
                ws.middle_l3[b] = 0;
                ws.middle_touched.push_back(b);
            }
            ws.middle_paths[b] += 1;
            ws.middle_l3[b] += factor[a];
        }
    }
    return stamp;
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

// The counts of (u, v) from the middle sums of row u, walking N(v); as if u-v were absent.
pair_counts gather_pair(const network& net, const std::vector<double>& factor, std::uint32_t u, std::uint32_t v,
                        std::uint32_t stamp, const feature_workspace& ws) {
    const bool interacting = ws.partner_stamp[v] == stamp;
    // With u-v present, a = v put one walk u-v-b into middle[b] for every b in N(v).
    const double through_v = interacting ? 1.0 : 0.0;
    pair_counts c;
    for (const std::uint32_t b : net.partners(v)) {
        if (b == u) continue;
        if (ws.partner_stamp[b] == stamp) {
            c.shared += 1;
            c.ra += 1.0 / double(net.degree(b));
        }
        if (ws.middle_stamp[b] != stamp) continue;
        c.paths3 += ws.middle_paths[b] - through_v;
        c.l3 += (ws.middle_l3[b] - through_v * factor[v]) * factor[b];
    }
    set_degrees(c, double(net.degree(u)) - through_v, double(net.degree(v)) - through_v);
    return c;
}

}  // namespace

feature_row features_of(const pair_counts& c) {
    const double norm = c.k_low > 0 ? c.l3 / std::sqrt(c.k_low * c.k_high) : 0.0;
    return {std::log1p(c.paths3), std::log1p(c.l3), std::log1p(norm), std::log1p(c.shared), std::log1p(c.ra),
            std::log1p(c.k_low), std::log1p(c.k_high)};
}

void visit_candidates(const network& net, unsigned threads,
                      const std::function<void(unsigned, std::uint32_t, std::uint32_t, const pair_counts&)>& visit) {
    const std::vector<double> factor = inverse_root_degrees(net);
    auto spaces = make_feature_workspaces(net, threads);
    parallel_for_items(net.protein_count(), std::max(1u, threads), [&](unsigned t, std::uint32_t u) {
        feature_workspace& ws = spaces[t];
        const std::uint32_t stamp = sum_middle(net, factor, u, ws);
        // Shared partners: b reached in two steps is itself an end.
        for (const std::uint32_t a : net.partners(u)) {
            for (const std::uint32_t v : partners_above(net, a, u)) {
                pair_counts& c = end_of(ws, stamp, v);
                c.shared += 1;
                c.ra += 1.0 / double(net.degree(a));
            }
        }
        for (const std::uint32_t b : ws.middle_touched) {
            const double paths = ws.middle_paths[b];
            const double l3 = ws.middle_l3[b] * factor[b];
            for (const std::uint32_t v : partners_above(net, b, u)) {
                pair_counts& c = end_of(ws, stamp, v);
                c.paths3 += paths;
                c.l3 += l3;
            }
        }
        ws.middle_touched.clear();
        for (const std::uint32_t v : ws.end_touched) {
            if (ws.partner_stamp[v] == stamp) continue;
            pair_counts& c = ws.end_counts[v];
            set_degrees(c, net.degree(u), net.degree(v));
            visit(t, u, v, c);
        }
        ws.end_touched.clear();
    });
}

std::vector<pair_counts> listed_pair_counts(const network& net, std::span<const pair_ids> pairs, unsigned threads) {
    const std::vector<double> factor = inverse_root_degrees(net);
    const pair_rows grouped = group_by_smaller_id(pairs, net.protein_count());
    std::vector<pair_counts> counts(pairs.size());
    auto spaces = make_feature_workspaces(net, threads);
    parallel_for_items(static_cast<std::uint32_t>(grouped.rows.size()), std::max(1u, threads),
                       [&](unsigned t, std::uint32_t item) {
        feature_workspace& ws = spaces[t];
        const std::uint32_t u = grouped.rows[item];
        const std::uint32_t stamp = sum_middle(net, factor, u, ws);
        for (std::uint64_t e = grouped.starts[u]; e < grouped.starts[u + 1]; ++e) {
            const auto [v, index] = grouped.entries[e];
            counts[index] = gather_pair(net, factor, u, v, stamp, ws);
        }
        ws.middle_touched.clear();
    });
    return counts;
}

}  // namespace vornel
