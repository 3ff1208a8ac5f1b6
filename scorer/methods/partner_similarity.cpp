// Methods that score a pair x, y over the paths x-u-v-y by how alike the proteins at either
// end of each two-step leg are: x with v (they share u) and u with y (they share v).
//
//   l3n  sum over paths of 1 / sqrt(|N(x) | N(v)| |N(u) | N(y)|)
//   sim  sum over v in N(y) of J(x, v) + sum over u in N(x) of J(u, y)
//   mps  max over v in N(y) of J(x, v) + max over u in N(x) of J(u, y), ties by k_x k_y
//
// with J the Jaccard index of the two neighbourhoods. Every set size is a common-neighbour
// count: |N(a) | N(b)| = k_a + k_b - cn(a, b). For a row x one two-step pass gives cn(x, v)
// for every v (so the x-v terms), and the walk u-v-y from every partner u gives cn(u, y)
// for every y: the number of v through which the walk reaches y. So a row costs one pass over
// its three-step walks, and every pair is scored from its protein with the smaller id, in a
// fixed order (partners by increasing id), so results never depend on threads.
//
// Paths are simple: for an interacting listed pair the walks through the interaction itself
// (v = x or u = y) are left out, as for l3; the set sizes stay those of the whole network.
#include "scorer/methods/row_engine.hpp"
#include "scorer/methods/scorers.hpp"

#include <algorithm>
#include <cmath>

namespace vornel {

namespace {

// What a row has gathered for one pair: two sums or maxima (the x-v side and the u-y side).
struct leg_sums {
    double near = 0;
    double far = 0;
};

// What the walk from one partner u has gathered for a protein y, in one place: the innermost
// loop then touches one cache line per step instead of three (with the partner check moved out
// of it, measured: scoring cpu 2.58 -> 2.30 s, l3n candidates of HuRI on 1 thread, mean of 2).
struct walk_entry {
    std::uint32_t stamp = 0;  // the walk that reached y
    std::uint32_t count = 0;  // cn(u, y)
    double value = 0;         // x-v terms over the walks u-v-y, combined
};

// Per-thread arrays indexed by protein id; stamps mark which entries belong to the current
// row (row_stamp), partner u (walks) or listed pair (other_stamp).
struct similarity_workspace {
    explicit similarity_workspace(std::uint32_t n)
        : partner_stamp(n, 0), middle_stamp(n, 0), middle_count(n, 0), factor(n, 0.0), walks(n), row_stamp(n, 0),
          row_sums(n), other_stamp(n, 0) {}

    std::vector<std::uint32_t> partner_stamp;  // v is a partner of the row
    std::vector<std::uint32_t> middle_stamp;   // cn(x, v) belongs to the row
    std::vector<std::uint32_t> middle_count;
    std::vector<double> factor;                // the x-v term of the method
    std::vector<std::uint32_t> middle_touched;
    std::vector<walk_entry> walks;             // by y, for the current partner u
    std::vector<std::uint32_t> walk_touched;
    std::uint32_t walk_counter = 0;
    std::vector<std::uint32_t> row_stamp;      // row_sums[y] belongs to the row
    std::vector<leg_sums> row_sums;
    std::vector<std::uint32_t> row_touched;
    std::vector<std::uint32_t> other_stamp;    // listed pairs: the partners of the other protein
    std::uint32_t other_counter = 0;
    record_buffer records;
};

// A fresh stamp from `counter`; on wrap-around the stamps are cleared first.
std::uint32_t next_stamp(std::uint32_t& counter, std::vector<std::uint32_t>& stamps) {
    if (++counter == 0) {
        std::fill(stamps.begin(), stamps.end(), 0u);
        counter = 1;
    }
    return counter;
}

std::uint32_t next_stamp(std::uint32_t& counter, std::vector<walk_entry>& walks) {
    if (++counter == 0) {
        for (walk_entry& entry : walks) entry.stamp = 0;
        counter = 1;
    }
    return counter;
}

// |N(a) | N(b)| from the two degrees and the shared count.
inline double union_size(const network& net, std::uint32_t a, std::uint32_t b, std::uint32_t shared) {
    return double(net.degree(a)) + double(net.degree(b)) - double(shared);
}

// l3n: the x-v term is 1/sqrt|N(x) | N(v)|, summed over v, then times 1/sqrt|N(u) | N(y)|.
struct l3n_kernel {
    static constexpr bool takes_max = false;
    const network& net;
    double near_term(std::uint32_t x, std::uint32_t v, std::uint32_t shared) const {
        return 1.0 / std::sqrt(union_size(net, x, v, shared));
    }
    void add_partner(std::uint32_t u, std::uint32_t y, std::uint32_t shared, std::uint32_t, double near,
                     leg_sums& sums) const {
        sums.near += near / std::sqrt(union_size(net, u, y, shared));
    }
    double finish(std::uint32_t, std::uint32_t, const leg_sums& sums) const { return sums.near; }
};

// sim: every path adds 1/|N(x) | N(v)| (so a v reached through cn(x, v) partners adds J(x, v))
// and 1/|N(u) | N(y)| (so a u with cn(u, y) paths onwards adds J(u, y)).
struct sim_kernel {
    static constexpr bool takes_max = false;
    const network& net;
    double near_term(std::uint32_t x, std::uint32_t v, std::uint32_t shared) const {
        return 1.0 / union_size(net, x, v, shared);
    }
    void add_partner(std::uint32_t u, std::uint32_t y, std::uint32_t shared, std::uint32_t paths, double near,
                     leg_sums& sums) const {
        sums.near += near + double(paths) / union_size(net, u, y, shared);
    }
    double finish(std::uint32_t, std::uint32_t, const leg_sums& sums) const { return sums.near; }
};

// mps: the largest J(x, v) and the largest J(u, y) over the paths. Ties are broken by k_x k_y:
// the sum is cut to a multiple of 2^-24 and k_x k_y / (k_max^2 + 1) times 2^-25 is added, so
// a larger sum always ranks first and equal sums rank by the degree product.
struct mps_kernel {
    static constexpr bool takes_max = true;
    const network& net;
    double degree_scale;  // 2^-25 / (k_max^2 + 1)
    double near_term(std::uint32_t x, std::uint32_t v, std::uint32_t shared) const {
        return double(shared) / union_size(net, x, v, shared);
    }
    void add_partner(std::uint32_t u, std::uint32_t y, std::uint32_t shared, std::uint32_t, double near,
                     leg_sums& sums) const {
        sums.near = std::max(sums.near, near);
        sums.far = std::max(sums.far, double(shared) / union_size(net, u, y, shared));
    }
    double finish(std::uint32_t x, std::uint32_t y, const leg_sums& sums) const {
        const double best = sums.near + sums.far;
        if (best <= 0) return 0.0;
        constexpr double grid = 16777216.0;  // 2^24
        return std::floor(best * grid) / grid + double(net.degree(x)) * double(net.degree(y)) * degree_scale;
    }
};

template <class Kernel>
double combine(double sum, double term) {
    if constexpr (Kernel::takes_max) {
        return std::max(sum, term);
    } else {
        return sum + term;
    }
}

// Marks the partners of x and fills cn(x, v) and the kernel's x-v term for every v != x two
// steps away; returns the row's stamp.
template <class Kernel>
std::uint32_t prepare_row(const network& net, const Kernel& kernel, std::uint32_t x, similarity_workspace& ws) {
    const std::uint32_t stamp = x + 1;
    for (const std::uint32_t a : net.partners(x)) ws.partner_stamp[a] = stamp;
    for (const std::uint32_t a : net.partners(x)) {
        for (const std::uint32_t v : net.partners(a)) {
            if (v == x) continue;
            if (ws.middle_stamp[v] != stamp) {
                ws.middle_stamp[v] = stamp;
                ws.middle_count[v] = 1;
                ws.middle_touched.push_back(v);
            } else {
                ++ws.middle_count[v];
            }
        }
    }
    for (const std::uint32_t v : ws.middle_touched) ws.factor[v] = kernel.near_term(x, v, ws.middle_count[v]);
    ws.middle_touched.clear();
    return stamp;
}

// Walks u-v-y for every v != x and every y > x, counting cn(u, y) and combining the x-v
// terms; then hands each reached y that is not a partner of x to the kernel (partners are
// filtered here, once per reached y, rather than once per step).
template <class Kernel>
void walk_from_partner(const network& net, const Kernel& kernel, std::uint32_t x, std::uint32_t u,
                       std::uint32_t stamp, similarity_workspace& ws) {
    const std::uint32_t walk = next_stamp(ws.walk_counter, ws.walks);
    walk_entry* walks = ws.walks.data();
    for (const std::uint32_t v : net.partners(u)) {
        if (v == x) continue;
        const double term = ws.factor[v];
        for (const std::uint32_t y : partners_above(net, v, x)) {
            walk_entry& entry = walks[y];
            if (entry.stamp != walk) {
                entry = {walk, 1, term};
                ws.walk_touched.push_back(y);
            } else {
                ++entry.count;
                entry.value = combine<Kernel>(entry.value, term);
            }
        }
    }
    for (const std::uint32_t y : ws.walk_touched) {
        if (ws.partner_stamp[y] == stamp) continue;
        if (ws.row_stamp[y] != stamp) {
            ws.row_stamp[y] = stamp;
            ws.row_sums[y] = {};
            ws.row_touched.push_back(y);
        }
        kernel.add_partner(u, y, walks[y].count, walks[y].count, walks[y].value, ws.row_sums[y]);
    }
    ws.walk_touched.clear();
}

template <class Kernel>
void score_candidate_row(const network& net, const Kernel& kernel, std::uint32_t x, similarity_workspace& ws) {
    const std::uint32_t stamp = prepare_row(net, kernel, x, ws);
    for (const std::uint32_t u : net.partners(x)) walk_from_partner(net, kernel, x, u, stamp, ws);
    for (const std::uint32_t y : ws.row_touched) {
        const double score = kernel.finish(x, y, ws.row_sums[y]);
        if (score > 0) ws.records.push_back({descending_key(score), candidate_tie(x, y)});
    }
    ws.row_touched.clear();
}

// A listed pair (x, y), x the smaller id, once the row of x is prepared: the same terms in the
// same order as for a candidate, found by walking the row of every partner u against the
// marked partners of y.
template <class Kernel>
double listed_pair_score(const network& net, const Kernel& kernel, std::uint32_t x, std::uint32_t y,
                         similarity_workspace& ws) {
    const std::uint32_t mark = next_stamp(ws.other_counter, ws.other_stamp);
    for (const std::uint32_t v : net.partners(y)) ws.other_stamp[v] = mark;
    leg_sums sums;
    for (const std::uint32_t u : net.partners(x)) {
        if (u == y) continue;
        std::uint32_t shared = 0;
        std::uint32_t paths = 0;
        double near = 0;
        for (const std::uint32_t v : net.partners(u)) {
            if (ws.other_stamp[v] != mark) continue;
            ++shared;
            if (v == x) continue;
            near = paths == 0 ? ws.factor[v] : combine<Kernel>(near, ws.factor[v]);
            ++paths;
        }
        if (paths > 0) kernel.add_partner(u, y, shared, paths, near, sums);
    }
    return kernel.finish(x, y, sums);
}

template <class Kernel>
record_runs score_partner_similarity(const scoring_job& job, const Kernel& kernel) {
    const network& net = *job.net;
    const std::uint32_t n = net.protein_count();
    const pair_rows listed = job.listed ? group_by_smaller_id(job.listed->pairs, n) : pair_rows{};
    const std::uint32_t row_count = job.listed ? static_cast<std::uint32_t>(listed.rows.size()) : n;
    std::vector<similarity_workspace> spaces;
    spaces.reserve(std::max(1u, job.threads));
    for (unsigned t = 0; t < std::max(1u, job.threads); ++t) {
        spaces.emplace_back(n);
        drain_for_thread(job, t, spaces.back().records);
    }
    parallel_for_items(row_count, job.threads, [&](unsigned t, std::uint32_t item) {
        similarity_workspace& ws = spaces[t];
        if (!job.listed) return score_candidate_row(net, kernel, item, ws);
        const std::uint32_t x = listed.rows[item];
        prepare_row(net, kernel, x, ws);
        for (std::uint64_t e = listed.starts[x]; e < listed.starts[x + 1]; ++e) {
            const auto [y, index] = listed.entries[e];
            const double score = listed_pair_score(net, kernel, x, y, ws);
            if (score > 0) ws.records.push_back({descending_key(score), index});
        }
    }, job.cancel);
    record_runs runs;
    for (auto& space : spaces) runs.push_back(std::move(space.records));
    return runs;
}

}  // namespace

record_runs score_l3n(const scoring_job& job) { return score_partner_similarity(job, l3n_kernel{*job.net}); }

record_runs score_sim(const scoring_job& job) { return score_partner_similarity(job, sim_kernel{*job.net}); }

record_runs score_mps(const scoring_job& job) {
    const network& net = *job.net;
    double largest = 0;
    for (std::uint32_t x = 0; x < net.protein_count(); ++x) largest = std::max(largest, double(net.degree(x)));
    return score_partner_similarity(job, mps_kernel{net, 1.0 / 33554432.0 / (largest * largest + 1.0)});
}

}  // namespace vornel
