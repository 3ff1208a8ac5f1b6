#pragma once

#include "scorer/graph/network.hpp"
#include "scorer/methods/scoring_job.hpp"
#include "scorer/output/records.hpp"
#include "scorer/parallel/parallel.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace vornel {

// Three sums over the partners a shared by u and v, for kernels whose score needs the two
// sides apart (weighted sums of one side are not symmetric in u and v).
struct partner_sums {
    double both = 0;   // sum of w(u,a) w(a,v)
    double from_u = 0; // sum of w(u,a)
    double from_v = 0; // sum of w(a,v)

    partner_sums& operator+=(const partner_sums& term) {
        both += term.both;
        from_u += term.from_u;
        from_v += term.from_v;
        return *this;
    }
};

// Per-thread scratch arrays indexed by protein id. A stamp array entry equal to the current
// row's stamp (row id + 1) marks membership, so nothing needs clearing between rows.
struct row_workspace {
    explicit row_workspace(std::uint32_t n) : partner_stamp(n, 0), partner_slot(n, 0), sum_stamp(n, 0), sum(n, 0.0) {}

    // Sizes the sums at the middle protein of paths of length three, which only l3 uses.
    void prepare_middle_sums(std::uint32_t n) {
        middle_stamp.assign(n, 0);
        middle.assign(n, 0.0);
        middle_weighted.assign(n, 0.0);
    }

    std::vector<std::uint32_t> partner_stamp; // v is a partner of the row
    std::vector<std::uint64_t> partner_slot;  // for partners: the slot of v in the row
    std::vector<std::uint32_t> sum_stamp;     // sum[v] belongs to the row
    std::vector<double> sum;
    std::vector<partner_sums> partner_sum;   // instead of sum for partner_sums kernels; sized on first use
    std::vector<std::uint32_t> touched;      // the v with sum[v] set, in first-touch order
    std::vector<std::uint32_t> middle_stamp; // l3, after prepare_middle_sums: sums at b
    std::vector<double> middle;
    std::vector<double> middle_weighted; // zero except while a row uses it
    std::vector<std::uint32_t> middle_touched;
    std::vector<std::uint64_t> shared_slots; // scratch of sum_shared_with
    record_buffer records;
};

inline std::vector<row_workspace> make_workspaces(const scoring_job& job) {
    std::vector<row_workspace> spaces;
    const unsigned count = std::max(1u, job.threads);
    spaces.reserve(count);
    for (unsigned t = 0; t < count; ++t) {
        spaces.emplace_back(job.net->protein_count());
        drain_for_thread(job, t, spaces.back().records);
    }
    return spaces;
}

inline record_runs collect_records(std::vector<row_workspace>& spaces) {
    record_runs runs;
    for (auto& space : spaces) runs.push_back(std::move(space.records));
    return runs;
}

// Marks the partners of u (and their slots in u's row) in the workspace; returns u's stamp.
inline std::uint32_t mark_partners(const network& net, std::uint32_t u, row_workspace& ws) {
    const std::uint32_t stamp = u + 1;
    for (std::uint64_t slot = net.row_starts[u]; slot < net.row_starts[u + 1]; ++slot) {
        ws.partner_stamp[net.partner_ids[slot]] = stamp;
        ws.partner_slot[net.partner_ids[slot]] = slot;
    }
    return stamp;
}

// The per-protein sums of the workspace for terms of type Term (double or partner_sums).
template <class Term>
std::vector<Term>& sums_of(row_workspace& ws) {
    if constexpr (std::is_same_v<Term, double>) {
        return ws.sum;
    } else {
        static_assert(std::is_same_v<Term, partner_sums>);
        if (ws.partner_sum.size() != ws.sum.size()) ws.partner_sum.resize(ws.sum.size());
        return ws.partner_sum;
    }
}

// The type of a kernel's path terms.
template <class Kernel>
using term_of = decltype(std::declval<const Kernel&>().path_term(0u, std::uint64_t{0}, std::uint64_t{0}));

template <class Term = double>
void add_to_sum(row_workspace& ws, std::uint32_t stamp, std::uint32_t v, const Term& term) {
    std::vector<Term>& sum = sums_of<Term>(ws);
    if (ws.sum_stamp[v] != stamp) {
        ws.sum_stamp[v] = stamp;
        sum[v] = term;
        ws.touched.push_back(v);
    } else {
        sum[v] += term;
    }
}

// Turns the sums of row u into candidate records: every reached v that is not a partner of u.
// finish(v, sum) gives the score; only positive scores become records.
template <class Term = double, class Finish>
void emit_candidates(std::uint32_t u, std::uint32_t stamp, row_workspace& ws, Finish finish) {
    const std::vector<Term>& sum = sums_of<Term>(ws);
    for (const std::uint32_t v : ws.touched) {
        if (ws.partner_stamp[v] == stamp) continue;
        const double score = finish(v, sum[v]);
        if (score > 0) ws.records.push_back({descending_key(score), candidate_tie(u, v)});
    }
    ws.touched.clear();
}

// The partners of a that are greater than u: pairs are scored once, from their smaller protein.
inline std::span<const std::uint32_t> partners_above(const network& net, std::uint32_t a, std::uint32_t u) {
    const auto row = net.partners(a);
    return {std::upper_bound(row.begin(), row.end(), u), row.end()};
}

// Accumulates, for every v > u two steps away from u, the sum over shared partners a (in
// increasing id order, so the sum does not depend on threads) of
// kernel.path_term(a, slot of a in row u, slot of v in row a).
template <class Kernel>
void sum_two_step_paths(const network& net, const Kernel& kernel, std::uint32_t u, std::uint32_t stamp,
                        row_workspace& ws) {
    for (std::uint64_t slot_ua = net.row_starts[u]; slot_ua < net.row_starts[u + 1]; ++slot_ua) {
        const std::uint32_t a = net.partner_ids[slot_ua];
        const auto above = partners_above(net, a, u);
        std::uint64_t slot_av = static_cast<std::uint64_t>(above.data() - net.partner_ids.data());
        for (const std::uint32_t v : above) {
            add_to_sum<term_of<Kernel>>(ws, stamp, v, kernel.path_term(a, slot_ua, slot_av));
            ++slot_av;
        }
    }
}

// The summed contributions of the partners shared by u (marked in the workspace) and v, walking
// the row of v: the same terms in the same order (increasing partner id) as sum_two_step_paths.
// Whether a partner is shared is often close to a coin toss, so the walk does not branch on it:
// kernels whose every term is 1 (Kernel::counts_partners) count in an integer; the others first
// collect the shared partners' slots, then add up their terms.
template <class Kernel>
auto sum_shared_with(const network& net, const Kernel& kernel, std::uint32_t v, std::uint32_t stamp,
                     row_workspace& ws) {
    const std::uint32_t* row = net.partner_ids.data();
    const std::uint64_t first = net.row_starts[v];
    const std::uint64_t last = net.row_starts[v + 1];
    if constexpr (Kernel::counts_partners) {
        std::uint32_t count = 0;
        for (std::uint64_t slot = first; slot < last; ++slot) count += ws.partner_stamp[row[slot]] == stamp;
        return double(count);
    } else {
        if (ws.shared_slots.size() < last - first) ws.shared_slots.resize(last - first);
        std::uint64_t* shared = ws.shared_slots.data();
        std::size_t count = 0;
        for (std::uint64_t slot = first; slot < last; ++slot) {
            shared[count] = slot;
            count += ws.partner_stamp[row[slot]] == stamp;
        }
        term_of<Kernel> sum{};
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t a = row[shared[i]];
            // Weights are symmetric: the slot of a-v in v's row stands for the one in a's row.
            sum += kernel.path_term(a, ws.partner_slot[a], shared[i]);
        }
        return sum;
    }
}

// Listed pairs grouped by anchor: the endpoint with more partners (the smaller id on a tie).
// Marking the anchor's partners once and walking the other endpoint's row costs the smaller
// degree per pair, instead of walking a hub's row again for every pair it is listed in.
inline pair_rows group_by_anchor(const network& net, const listed_pairs& listed) {
    return group_pairs(listed.pairs, net.protein_count(), [&](const pair_ids& p) {
        const std::uint32_t du = net.degree(p.first);
        const std::uint32_t dv = net.degree(p.second);
        if (du != dv) return du > dv ? p.first : p.second;
        return std::min(p.first, p.second);
    });
}

// Scores the listed pairs of the job: every anchor's partners are marked once, and each of its
// pairs sums over the row of the other endpoint (increasing partner id, as for candidates).
// finish() always sees the pair as (smaller id, larger id).
template <class Kernel>
record_runs score_listed_shared_partners(const scoring_job& job, const Kernel& kernel) {
    const network& net = *job.net;
    const pair_rows grouped = group_by_anchor(net, *job.listed);
    auto spaces = make_workspaces(job);
    const auto anchor_count = static_cast<std::uint32_t>(grouped.rows.size());
    parallel_for_items(
        anchor_count, job.threads,
        [&](unsigned t, std::uint32_t item) {
            row_workspace& ws = spaces[t];
            const std::uint32_t anchor = grouped.rows[item];
            const std::uint32_t stamp = mark_partners(net, anchor, ws);
            for (std::uint64_t e = grouped.starts[anchor]; e < grouped.starts[anchor + 1]; ++e) {
                const auto [other, index] = grouped.entries[e];
                auto sum = sum_shared_with(net, kernel, other, stamp, ws);
                const auto [u, v] = std::minmax(anchor, other);
                // Terms were summed as (anchor, other); finish() sees (smaller id, larger id).
                if constexpr (std::is_same_v<decltype(sum), partner_sums>) {
                    if (anchor != u) std::swap(sum.from_u, sum.from_v);
                }
                const double score = kernel.finish(u, v, sum, ws.partner_stamp[other] == stamp);
                if (score > 0) ws.records.push_back({descending_key(score), index});
            }
        },
        job.cancel);
    return collect_records(spaces);
}

// Scores the job's pairs with a shared-partner kernel: kernel.path_term(a, slot_ua, slot_av)
// is the contribution of partner a shared by u and v (symmetric in u and v), and
// kernel.finish(u, v, sum, interacting) turns the summed contributions into the score.
// Candidates are scored row by row (walking two steps from u), over the job's rows.
template <class Kernel>
record_runs score_shared_partners(const scoring_job& job, const Kernel& kernel) {
    if (job.listed) return score_listed_shared_partners(job, kernel);
    const network& net = *job.net;
    auto spaces = make_workspaces(job);
    parallel_for_items(
        rows_to_score(job), job.threads,
        [&](unsigned t, std::uint32_t item) {
            row_workspace& ws = spaces[t];
            const std::uint32_t u = row_to_score(job, item);
            const std::uint32_t stamp = mark_partners(net, u, ws);
            sum_two_step_paths(net, kernel, u, stamp, ws);
            emit_candidates<term_of<Kernel>>(u, stamp, ws, [&](std::uint32_t v, const term_of<Kernel>& sum) {
                return kernel.finish(u, v, sum, false);
            });
        },
        job.cancel);
    return collect_records(spaces);
}

// The interaction weights a weighted method uses, by slot: the network's own, or 1 for every
// interaction of a network without weights (`ones` then holds them).
inline std::span<const double> slot_weights(const network& net, std::vector<double>& ones) {
    if (net.weighted()) return net.weights;
    ones.assign(net.partner_ids.size(), 1.0);
    return ones;
}

// The strength of every protein: the sum of its interactions' weights, in row order.
inline std::vector<double> strengths(const network& net, std::span<const double> weight) {
    std::vector<double> strength(net.protein_count(), 0.0);
    for (std::uint32_t x = 0; x < net.protein_count(); ++x) {
        double s = 0;
        for (std::uint64_t slot = net.row_starts[x]; slot < net.row_starts[x + 1]; ++slot) s += weight[slot];
        strength[x] = s;
    }
    return strength;
}

} // namespace vornel
