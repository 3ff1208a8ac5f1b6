#pragma once

// The two-step neighbourhood of every protein, kept for a run: the methods that score paths of
// length three by the similarity of their legs read a partner's row instead of walking it again.
#include "scorer/graph/big_vector.hpp"
#include "scorer/graph/network.hpp"
#include "scorer/methods/scoring_job.hpp"
#include "scorer/parallel/parallel.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

namespace vornel {

// For every protein u, a value of the pair u, y (cn(u, y) or J(u, y)) for each y two steps away
// and above u's smallest partner (a row x asks only for y > x, x a partner of u), y increasing;
// rows are kept in per-thread blocks. Built once, in one two-step pass over the network, so a
// row x reads the two-step neighbourhoods of its partners instead of walking them again.
template <class Value>
struct two_step_rows {
    struct row_ref {
        std::uint32_t block = 0;
        std::uint32_t size = 0;
        std::uint64_t start = 0;
    };
    std::vector<big_vector<std::uint32_t>> ids; // by block (the thread that built the row)
    std::vector<big_vector<Value>> values;
    std::vector<row_ref> rows; // by u

    std::span<const std::uint32_t> ids_of(std::uint32_t u) const {
        return {ids[rows[u].block].data() + rows[u].start, rows[u].size};
    }
    const Value* values_of(std::uint32_t u) const { return values[rows[u].block].data() + rows[u].start; }
};

// Per-thread scratch of build_two_step_rows: cn(u, y) by y, a bitmap and a list of the y reached.
struct two_step_scratch {
    explicit two_step_scratch(std::uint32_t n) : count(n, 0), bits(n / 64 + 1, 0) {}
    std::vector<std::uint32_t> count;
    std::vector<std::uint64_t> bits;
    std::vector<std::uint32_t> reached;
};

// The y reached from u in increasing order: sorted when few, else read off the bitmap (whose
// words are cleared on the way), so a row costs neither a sort of many ids nor a scan of n bits.
inline void order_reached(two_step_scratch& scratch) {
    std::vector<std::uint32_t>& reached = scratch.reached;
    if (reached.size() * 16 < scratch.bits.size()) {
        std::sort(reached.begin(), reached.end());
        for (const std::uint32_t y : reached) scratch.bits[y / 64] = 0;
        return;
    }
    reached.clear();
    for (std::size_t w = 0; w < scratch.bits.size(); ++w) {
        for (std::uint64_t word = scratch.bits[w]; word != 0; word &= word - 1) {
            reached.push_back(static_cast<std::uint32_t>(w * 64 + std::countr_zero(word)));
        }
        scratch.bits[w] = 0;
    }
}

// value_of(u, y, cn(u, y)) gives the value kept for the pair.
template <class Value, class ValueOf>
void build_two_step_row(const network& net, std::uint32_t u, two_step_scratch& scratch, two_step_rows<Value>& rows,
                        unsigned block, const ValueOf& value_of) {
    for (const std::uint32_t a : net.partners(u)) {
        for (const std::uint32_t y : net.partners(a)) {
            if (y == u) continue;
            if (scratch.count[y]++ == 0) {
                scratch.reached.push_back(y);
                scratch.bits[y / 64] |= std::uint64_t{1} << (y % 64);
            }
        }
    }
    order_reached(scratch);
    const std::uint32_t lowest = net.degree(u) > 0 ? net.partners(u)[0] : net.protein_count();
    big_vector<std::uint32_t>& ids = rows.ids[block];
    big_vector<Value>& values = rows.values[block];
    rows.rows[u] = {static_cast<std::uint32_t>(block), 0, ids.size()};
    for (const std::uint32_t y : scratch.reached) {
        const std::uint32_t shared = scratch.count[y];
        scratch.count[y] = 0;
        if (y <= lowest) continue;
        ids.push_back(y);
        values.push_back(value_of(u, y, shared));
    }
    rows.rows[u].size = static_cast<std::uint32_t>(ids.size() - rows.rows[u].start);
    scratch.reached.clear();
}

// The proteins whose two-step rows a proposal run reads: the partners of the job's rows, increasing
// (every protein when the job scores every row).
inline std::vector<std::uint32_t> two_step_rows_needed(const scoring_job& job) {
    const network& net = *job.net;
    std::vector<std::uint32_t> needed;
    if (job.rows.empty()) {
        needed.resize(net.protein_count());
        for (std::uint32_t u = 0; u < net.protein_count(); ++u) needed[u] = u;
        return needed;
    }
    std::vector<std::uint8_t> is_needed(net.protein_count(), 0);
    for (const std::uint32_t x : job.rows) {
        for (const std::uint32_t u : net.partners(x)) is_needed[u] = 1;
    }
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        if (is_needed[u]) needed.push_back(u);
    }
    return needed;
}

// The rows of the proteins two_step_rows_needed(job) lists; the others are left empty.
template <class Value, class ValueOf>
two_step_rows<Value> build_two_step_rows(const scoring_job& job, const ValueOf& value_of) {
    const network& net = *job.net;
    const std::vector<std::uint32_t> needed = two_step_rows_needed(job);
    const unsigned threads = std::max(1u, job.threads);
    two_step_rows<Value> rows;
    rows.ids.resize(threads);
    rows.values.resize(threads);
    rows.rows.resize(net.protein_count());
    std::vector<two_step_scratch> scratch;
    scratch.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) scratch.emplace_back(net.protein_count());
    parallel_for_items(
        static_cast<std::uint32_t>(needed.size()), job.threads,
        [&](unsigned t, std::uint32_t i) { build_two_step_row(net, needed[i], scratch[t], rows, t, value_of); },
        job.cancel);
    return rows;
}

} // namespace vornel
