// Methods that score a pair x, y over the paths x-u-v-y by how alike the proteins at either
// end of each two-step leg are: x with v (they share u) and u with y (they share v).
//
//   l3n  sum over paths of 1 / sqrt(|N(x) | N(v)| |N(u) | N(y)|)
//   sim  sum over v in N(y) of J(x, v) + sum over u in N(x) of J(u, y)
//   mps  max over v in N(y) of J(x, v) + max over u in N(x) of J(u, y), ties by k_x k_y
//
// with J the Jaccard index of the two neighbourhoods. Every set size is a common-neighbour
// count, |N(a) | N(b)| = k_a + k_b - cn(a, b): a row x gets cn(x, v) from its own two-step
// pass, cn(u, y) from two-step rows of every protein kept for the run. Every pair is scored
// from its protein with the smaller id, terms in a fixed order (partners by increasing id), so
// results never depend on threads, and a listed pair scores as the same pair proposed.
//
// Paths are simple: for an interacting listed pair the walks through the interaction itself
// (v = x or u = y) are left out, as for l3; the set sizes stay those of the whole network.
#include "scorer/methods/row_engine.hpp"
#include "scorer/methods/scorers.hpp"
#include "scorer/methods/two_step_rows.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vornel {

namespace {

// What a row has gathered for one pair: two sums or maxima (the x-v side and the u-y side).
struct leg_sums {
    double near = 0, far = 0;
};

// The paths x-u-v-y of a listed pair through a partner u of x: their number and x-v terms. Zero
// outside the pair, so the first path needs no test (0 + t and max(0, t) are t, all t > 0).
struct walk_cell {
    double value = 0;
    std::uint32_t count = 0;  // paths
};

// Per-thread arrays by protein id; stamps mark the entries of the current row (partner_stamp,
// middle_stamp); cells, walk values, row sums and `seen` are zero outside their row or pair.
struct similarity_workspace {
    explicit similarity_workspace(std::uint32_t n)
        : partner_stamp(n, 0), middle_stamp(n, 0), middle_count(n, 0), factor(n, 0.0), cells(n), walk_value(n, 0.0),
          walk_touched(n), seen(n, 0), row_sums(n), row_touched(n), middle_start(n, 0) {}

    std::vector<std::uint32_t> partner_stamp;  // v is a partner of the row
    std::vector<std::uint32_t> middle_stamp;   // cn(x, v) belongs to the row
    std::vector<std::uint32_t> middle_count;
    std::vector<double> factor;                // the x-v term of the method
    std::vector<std::uint32_t> middle_touched;
    std::vector<walk_cell> cells;              // listed pairs: by u, for the current pair
    std::vector<double> walk_value;            // candidates: by y, for the current partner u
    std::vector<std::uint32_t> walk_touched;   // listed pairs: the u reached, n slots
    std::vector<std::uint8_t> seen;            // y has a row sum
    std::vector<leg_sums> row_sums;
    std::vector<std::uint32_t> row_touched;    // the y with a row sum, n slots
    std::uint32_t row_touched_count = 0;
    std::vector<std::uint32_t> middle_start;   // listed pairs: where the partners shared with v start
    std::vector<std::uint32_t> middles;        // in middle_start order
    record_buffer records;
};

record_runs take_records(std::vector<similarity_workspace>& spaces) {
    record_runs runs;
    for (auto& space : spaces) runs.push_back(std::move(space.records));
    return runs;
}

std::vector<similarity_workspace> make_similarity_workspaces(const scoring_job& job) {
    std::vector<similarity_workspace> spaces;
    spaces.reserve(std::max(1u, job.threads));
    for (unsigned t = 0; t < std::max(1u, job.threads); ++t) {
        spaces.emplace_back(job.net->protein_count());
        drain_for_thread(job, t, spaces.back().records);
    }
    return spaces;
}

// Every protein's degree in one array (one load where the network's rows need two), for the
// set sizes |N(a) | N(b)| = k_a + k_b - cn(a, b) (measured: scoring cpu l3n 1.20 -> 1.02 s,
// sim 1.13 -> 0.91 s, HuRI candidates, 1 thread, best of 3).
struct set_sizes {
    explicit set_sizes(const network& net) : degree(net.protein_count()) {
        for (std::uint32_t x = 0; x < net.protein_count(); ++x) degree[x] = net.degree(x);
    }
    std::vector<std::uint32_t> degree;

    double union_size(std::uint32_t a, std::uint32_t b, std::uint32_t shared) const {
        return double(degree[a]) + double(degree[b]) - double(shared);
    }
};

// sqrt(s) for every set size s up to twice the largest degree: the same numbers as std::sqrt,
// which rounds exactly, for a load (measured: l3n scoring cpu 1.18 -> 1.02 s, HuRI candidates,
// 1 thread, best of 3).
std::vector<double> square_roots(const set_sizes& sizes) {
    std::uint32_t largest = 0;
    for (const std::uint32_t k : sizes.degree) largest = std::max(largest, k);
    std::vector<double> root(2 * std::size_t(largest) + 1);
    for (std::size_t s = 0; s < root.size(); ++s) root[s] = std::sqrt(double(s));
    return root;
}

// l3n: the x-v term is 1/sqrt|N(x) | N(v)|, summed over v, then times 1/sqrt|N(u) | N(y)|.
struct l3n_kernel {
    static constexpr bool takes_max = false;
    const set_sizes& sizes;
    const double* root;  // square_roots(sizes)
    double near_term(std::uint32_t x, std::uint32_t v, std::uint32_t shared) const {
        return 1.0 / root[sizes.degree[x] + sizes.degree[v] - shared];
    }
    void add_partner(std::uint32_t u, std::uint32_t y, std::uint32_t shared, std::uint32_t, double near,
                     leg_sums& sums) const {
        sums.near += near / root[sizes.degree[u] + sizes.degree[y] - shared];
    }
    double finish(std::uint32_t, std::uint32_t, const leg_sums& sums) const { return sums.near; }
};

// sim: every path adds 1/|N(x) | N(v)| (so a v reached through cn(x, v) partners adds J(x, v))
// and 1/|N(u) | N(y)| (so a u with cn(u, y) paths onwards adds J(u, y)).
struct sim_kernel {
    static constexpr bool takes_max = false;
    const set_sizes& sizes;
    double near_term(std::uint32_t x, std::uint32_t v, std::uint32_t shared) const {
        return 1.0 / sizes.union_size(x, v, shared);
    }
    void add_partner(std::uint32_t u, std::uint32_t y, std::uint32_t shared, std::uint32_t paths, double near,
                     leg_sums& sums) const {
        sums.near += near + double(paths) / sizes.union_size(u, y, shared);
    }
    double finish(std::uint32_t, std::uint32_t, const leg_sums& sums) const { return sums.near; }
};

// mps: the largest J(x, v) and the largest J(u, y) over the paths. Ties are broken by k_x k_y:
// the sum is cut to a multiple of 2^-24 and k_x k_y / (k_max^2 + 1) times 2^-25 is added, so
// a larger sum always ranks first and equal sums rank by the degree product.
struct mps_kernel {
    static constexpr bool takes_max = true;
    const set_sizes& sizes;
    double degree_scale;  // 2^-25 / (k_max^2 + 1)
    double near_term(std::uint32_t x, std::uint32_t v, std::uint32_t shared) const {
        return double(shared) / sizes.union_size(x, v, shared);
    }
    void add_partner(std::uint32_t u, std::uint32_t y, std::uint32_t shared, std::uint32_t, double near,
                     leg_sums& sums) const {
        sums.near = std::max(sums.near, near);
        sums.far = std::max(sums.far, double(shared) / sizes.union_size(u, y, shared));
    }
    double finish(std::uint32_t x, std::uint32_t y, const leg_sums& sums) const {
        const double best = sums.near + sums.far;
        if (best <= 0) return 0.0;
        constexpr double grid = 16777216.0;  // 2^24
        return std::floor(best * grid) / grid + double(sizes.degree[x]) * double(sizes.degree[y]) * degree_scale;
    }
};

// Marks the partners of x and fills cn(x, v) and the kernel's x-v term for every v != x two
// steps away, listed in ws.middle_touched; returns the row's stamp.
template <class Kernel>
std::uint32_t fill_middle_terms(const network& net, const Kernel& kernel, std::uint32_t x, similarity_workspace& ws) {
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
    return stamp;
}

// Sums the x-v terms of the walks u-v-y, v != x, y > x, in increasing v order. The y reached
// and cn(u, y) come from u's stored two-step row, so a step is one addition (measured against counting them in the walk: sim scoring cpu 1.12 -> 0.91 s, HuRI, 1 thread,
// best of 3; l3n on the human pathways network, 2 threads: 58.6 s -> 37.4 s).
void walk_from_partner(const network& net, std::uint32_t x, std::uint32_t u, similarity_workspace& ws) {
    double* const value = ws.walk_value.data();
    const double* const factor = ws.factor.data();
    for (const std::uint32_t v : net.partners(u)) {
        if (v == x) continue;
        const double term = factor[v];
        for (const std::uint32_t y : partners_above(net, v, x)) value[y] += term;
    }
}

// Hands the kernel, for every y > x two steps from u, cn(u, y) and the walks' sum, and clears
// the sums. Partners of x are handed over too and left out when the row's records are made
// (one test per row, not per u); for the others cn(u, y) is the number of walks u-v-y, v != x.
template <class Kernel>
void add_partner_walks(const Kernel& kernel, const two_step_rows<std::uint32_t>& counts, std::uint32_t x,
                       std::uint32_t u, similarity_workspace& ws) {
    double* const value = ws.walk_value.data();
    std::uint8_t* const seen = ws.seen.data();
    std::uint32_t* const row_touched = ws.row_touched.data();
    std::uint32_t count = ws.row_touched_count;
    const auto ids = counts.ids_of(u);
    const std::uint32_t* const shared = counts.values_of(u);
    for (auto i = std::size_t(std::upper_bound(ids.begin(), ids.end(), x) - ids.begin()); i < ids.size(); ++i) {
        const std::uint32_t y = ids[i];
        row_touched[count] = y;
        count += seen[y] == 0;
        seen[y] = 1;
        kernel.add_partner(u, y, shared[i], shared[i], value[y], ws.row_sums[y]);
        value[y] = 0;
    }
    value[u] = 0;  // the walks u-v-u, which u's row leaves out
    ws.row_touched_count = count;
}

// Records the row's sums of every reached y that is not a partner of x, and clears them.
template <class Kernel>
void emit_row(const Kernel& kernel, std::uint32_t x, std::uint32_t stamp, similarity_workspace& ws) {
    for (std::uint32_t i = 0; i < ws.row_touched_count; ++i) {
        const std::uint32_t y = ws.row_touched[i];
        if (ws.partner_stamp[y] != stamp) {
            const double score = kernel.finish(x, y, ws.row_sums[y]);
            if (score > 0) ws.records.push_back({descending_key(score), candidate_tie(x, y)});
        }
        ws.row_sums[y] = {};
        ws.seen[y] = 0;
    }
    ws.row_touched_count = 0;
}

template <class Kernel>
void score_candidate_row(const network& net, const Kernel& kernel, const two_step_rows<std::uint32_t>& counts,
                         std::uint32_t x, similarity_workspace& ws) {
    const std::uint32_t stamp = fill_middle_terms(net, kernel, x, ws);
    ws.middle_touched.clear();
    for (const std::uint32_t u : net.partners(x)) {
        walk_from_partner(net, x, u, ws);
        add_partner_walks(kernel, counts, x, u, ws);
    }
    emit_row(kernel, x, stamp, ws);
}

// Groups the row's two-step walks x-u-v by v: after it, ws.middles[middle_start[v] ..
// middle_start[v] + middle_count[v]) holds the partners u of x shared with v, increasing.
void group_middles(const network& net, std::uint32_t x, similarity_workspace& ws) {
    std::uint32_t start = 0;
    for (const std::uint32_t v : ws.middle_touched) {
        ws.middle_start[v] = start;
        start += ws.middle_count[v];
    }
    ws.middles.resize(start);
    for (const std::uint32_t u : net.partners(x)) {
        for (const std::uint32_t v : net.partners(u)) {
            if (v != x) ws.middles[ws.middle_start[v]++] = u;
        }
    }
    for (const std::uint32_t v : ws.middle_touched) ws.middle_start[v] -= ws.middle_count[v];
}

// The partners u of x reached by the paths x-u-v-y of a listed pair, in increasing order: sorted
// when few, else read off x's row.
std::span<const std::uint32_t> reached_in_order(const network& net, std::uint32_t x, std::uint32_t reached,
                                                similarity_workspace& ws) {
    std::uint32_t* touched = ws.walk_touched.data();
    if (std::uint64_t(reached) * 8 < net.degree(x)) {
        std::sort(touched, touched + reached);
        return {touched, reached};
    }
    std::uint32_t count = 0;
    for (const std::uint32_t u : net.partners(x)) {
        touched[count] = u;
        count += ws.cells[u].count != 0;
    }
    return {touched, count};
}

// A listed pair (x, y), x the smaller id, once the row of x is prepared and its walks grouped:
// the same terms in the same order as for a candidate (for each u, the x-v terms over
// increasing v), found from the partners v of y, each handing its term to the partners u it
// shares with x. A path costs one step, so a pair costs its paths plus k_y, not a walk of x's
// two-step neighbourhood (measured: l3n scoring cpu 19.1 -> 5.2 s, the human pathways network's
// own interactions, 1 thread).
template <class Kernel>
double listed_pair_score(const network& net, const Kernel& kernel, std::uint32_t x, std::uint32_t y,
                         std::uint32_t stamp, similarity_workspace& ws) {
    walk_cell* const cells = ws.cells.data();
    std::uint32_t* const touched = ws.walk_touched.data();
    std::uint32_t reached = 0;
    for (const std::uint32_t v : net.partners(y)) {
        if (v == x || ws.middle_stamp[v] != stamp) continue;
        const double term = ws.factor[v];
        const std::uint32_t* const middle = ws.middles.data() + ws.middle_start[v];
        const std::uint32_t* const middle_end = middle + ws.middle_count[v];
        for (const std::uint32_t* it = middle; it != middle_end; ++it) {
            const std::uint32_t u = *it;
            if (u == y) continue;
            walk_cell& cell = cells[u];
            touched[reached] = u;
            reached += cell.count == 0;
            ++cell.count;
            cell.value = Kernel::takes_max ? std::max(cell.value, term) : cell.value + term;
        }
    }
    // cn(u, y) counts x too when x and y interact; the paths never do.
    const std::uint32_t through_x = ws.partner_stamp[y] == stamp ? 1 : 0;
    leg_sums sums;
    for (const std::uint32_t u : reached_in_order(net, x, reached, ws)) {
        kernel.add_partner(u, y, cells[u].count + through_x, cells[u].count, cells[u].value, sums);
        cells[u] = {};
    }
    return kernel.finish(x, y, sums);
}

// mps takes maxima, in any order, so its rows need no three-step walk: the largest J(x, v) over
// v in N(y) by l3's scatter of J(x, v) over N(v), the largest J(u, y) from the kept Jaccard rows
// of x's partners (measured: scoring cpu 1.39 -> 0.86 s, HuRI candidates, 1 thread, best of 3).
// take_largest keeps `value` if it is the largest seen for y in the row (`side`: near or far).
inline void take_largest(similarity_workspace& ws, std::uint32_t y, double leg_sums::*side, double value,
                         std::uint32_t& count) {
    ws.row_touched[count] = y;
    count += ws.seen[y] == 0;
    ws.seen[y] = 1;
    double& best = ws.row_sums[y].*side;
    best = std::max(best, value);
}

void score_mps_candidate_row(const network& net, const mps_kernel& kernel, const two_step_rows<double>& jaccard,
                             std::uint32_t x, similarity_workspace& ws) {
    const std::uint32_t stamp = fill_middle_terms(net, kernel, x, ws);
    std::uint32_t count = 0;
    for (const std::uint32_t v : ws.middle_touched) {
        const double term = ws.factor[v];
        for (const std::uint32_t y : partners_above(net, v, x)) take_largest(ws, y, &leg_sums::near, term, count);
    }
    ws.middle_touched.clear();
    for (const std::uint32_t u : net.partners(x)) {
        const auto ids = jaccard.ids_of(u);
        const double* values = jaccard.values_of(u);
        for (auto i = std::size_t(std::upper_bound(ids.begin(), ids.end(), x) - ids.begin()); i < ids.size(); ++i) {
            take_largest(ws, ids[i], &leg_sums::far, values[i], count);
        }
    }
    ws.row_touched_count = count;
    emit_row(kernel, x, stamp, ws);
}

record_runs score_mps_candidates(const scoring_job& job, const mps_kernel& kernel) {
    const network& net = *job.net;
    const set_sizes& sizes = kernel.sizes;
    const auto jaccard = build_two_step_rows<double>(job, [&](std::uint32_t u, std::uint32_t y, std::uint32_t shared) {
        return double(shared) / sizes.union_size(u, y, shared);
    });
    std::vector<similarity_workspace> spaces = make_similarity_workspaces(job);
    parallel_for_items(
        rows_to_score(job), job.threads,
        [&](unsigned t, std::uint32_t item) {
            score_mps_candidate_row(net, kernel, jaccard, row_to_score(job, item), spaces[t]);
        },
        job.cancel);
    return take_records(spaces);
}

template <class Kernel>
record_runs score_partner_similarity(const scoring_job& job, const Kernel& kernel) {
    const network& net = *job.net;
    const std::uint32_t n = net.protein_count();
    const pair_rows listed = job.listed ? group_by_smaller_id(job.listed->pairs, n) : pair_rows{};
    const std::uint32_t row_count = job.listed ? static_cast<std::uint32_t>(listed.rows.size()) : rows_to_score(job);
    std::vector<similarity_workspace> spaces = make_similarity_workspaces(job);
    const auto counts = job.listed ? two_step_rows<std::uint32_t>{}
                                   : build_two_step_rows<std::uint32_t>(job, [](std::uint32_t, std::uint32_t,
                                                                                std::uint32_t shared) { return shared; });
    parallel_for_items(row_count, job.threads, [&](unsigned t, std::uint32_t item) {
        similarity_workspace& ws = spaces[t];
        if (!job.listed) return score_candidate_row(net, kernel, counts, row_to_score(job, item), ws);
        const std::uint32_t x = listed.rows[item];
        const std::uint32_t stamp = fill_middle_terms(net, kernel, x, ws);
        group_middles(net, x, ws);
        ws.middle_touched.clear();
        for (std::uint64_t e = listed.starts[x]; e < listed.starts[x + 1]; ++e) {
            const auto [y, index] = listed.entries[e];
            const double score = listed_pair_score(net, kernel, x, y, stamp, ws);
            if (score > 0) ws.records.push_back({descending_key(score), index});
        }
    }, job.cancel);
    return take_records(spaces);
}

}  // namespace

record_runs score_l3n(const scoring_job& job) {
    const set_sizes sizes(*job.net);
    const std::vector<double> root = square_roots(sizes);
    return score_partner_similarity(job, l3n_kernel{sizes, root.data()});
}

record_runs score_sim(const scoring_job& job) {
    const set_sizes sizes(*job.net);
    return score_partner_similarity(job, sim_kernel{sizes});
}

record_runs score_mps(const scoring_job& job) {
    const set_sizes sizes(*job.net);
    double largest = 0;
    for (const std::uint32_t k : sizes.degree) largest = std::max(largest, double(k));
    const mps_kernel kernel{sizes, 1.0 / 33554432.0 / (largest * largest + 1.0)};
    if (!job.listed) return score_mps_candidates(job, kernel);
    return score_partner_similarity(job, kernel);
}

}  // namespace vornel
