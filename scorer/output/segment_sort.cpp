#include "scorer/output/segment_sort.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <optional>
#include <thread>
#include <utility>

namespace vornel {

namespace {

// Records are first partitioned, in place within each run, into up to 2,048 buckets of
// consecutive key ranges (best first); a big bucket holding a single score (a tie shared by
// many pairs, common for integer-valued scores) is partitioned again by tie-break position.
// Consecutive buckets are grouped into segments; a segment's part of each run is sorted and the
// parts are merged while formatting. Segments are handled by several threads at once and
// written in order, so writing starts long before all is sorted.
struct bucket_scheme {
    std::uint64_t low = 0;
    unsigned shift = 0;
    std::size_t count = 1;
    std::size_t of(std::uint64_t value) const { return static_cast<std::size_t>((value - low) >> shift); }
};

// Buckets of equal width that cover [low, high].
bucket_scheme scheme_for_range(std::uint64_t low, std::uint64_t high) {
    constexpr unsigned bucket_bits = 11;
    bucket_scheme scheme;
    if (low > high) return scheme;
    const unsigned width = static_cast<unsigned>(std::bit_width(high - low));
    scheme.low = low;
    scheme.shift = width > bucket_bits ? width - bucket_bits : 0;
    scheme.count = static_cast<std::size_t>((high - low) >> scheme.shift) + 1;
    return scheme;
}

// A range of records in every run: [first[r], last[r]) of run r.
struct run_ranges {
    std::vector<std::size_t> first;
    std::vector<std::size_t> last;
    std::size_t size() const {
        std::size_t total = 0;
        for (std::size_t r = 0; r < first.size(); ++r) total += last[r] - first[r];
        return total;
    }
};

// Calls visit(i) for every i in [first, last), polling `cancel` (when given) every 2^20 of them;
// false when it stopped because the flag was set.
template <class Visit>
bool for_each_index(std::size_t first, std::size_t last, const std::atomic<bool>* cancel, Visit visit) {
    constexpr std::size_t block = std::size_t{1} << 20;
    for (std::size_t from = first; from < last; from += block) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return false;
        const std::size_t to = std::min(last, from + block);
        for (std::size_t i = from; i < to; ++i) visit(i);
    }
    return true;
}

// The smallest and largest value(field) over the ranges.
template <class Field>
std::pair<std::uint64_t, std::uint64_t> value_range(const record_runs& runs, const run_ranges& ranges, Field field,
                                                    const std::atomic<bool>* cancel = nullptr) {
    std::vector<std::uint64_t> lows(runs.size(), ~std::uint64_t{0});
    std::vector<std::uint64_t> highs(runs.size(), 0);
    for_each_part(runs.size(), [&](std::size_t r) {
        for_each_index(ranges.first[r], ranges.last[r], cancel, [&](std::size_t i) {
            lows[r] = std::min(lows[r], field(runs[r][i]));
            highs[r] = std::max(highs[r], field(runs[r][i]));
        });
    });
    return {*std::min_element(lows.begin(), lows.end()), *std::max_element(highs.begin(), highs.end())};
}

// Reorders records [first, last) so that their buckets are contiguous and in order (in-place
// radix partitioning); returns the start of every bucket, plus `last`. With `cancel` set, it
// stops soon, leaving the records out of order.
template <class Field>
std::vector<std::size_t> partition_range(score_record* data, std::size_t first, std::size_t last,
                                         const bucket_scheme& scheme, Field field, const std::atomic<bool>* cancel) {
    std::vector<std::size_t> starts(scheme.count + 1, 0);
    if (!for_each_index(first, last, cancel, [&](std::size_t i) { ++starts[scheme.of(field(data[i])) + 1]; })) {
        std::fill(starts.begin(), starts.end(), first);
        return starts;
    }
    starts[0] = first;
    for (std::size_t b = 0; b < scheme.count; ++b) starts[b + 1] += starts[b];
    std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
    // One chain of swaps may run through most records (scores are skewed): the flag is polled
    // every 2^20 swaps, and a stop puts the record in hand into the chain's hole.
    std::size_t swaps = 0;
    const auto cancelled = [&] {
        return cancel && ++swaps % (std::size_t{1} << 20) == 0 && cancel->load(std::memory_order_relaxed);
    };
    for (std::size_t b = 0; b < scheme.count; ++b) {
        while (next[b] < starts[b + 1]) {
            score_record moving = data[next[b]];
            std::size_t target = scheme.of(field(moving));
            while (target != b) {
                std::swap(moving, data[next[target]++]);
                target = scheme.of(field(moving));
                if (cancelled()) {
                    data[next[b]] = moving;
                    return starts;
                }
            }
            data[next[b]++] = moving;
        }
    }
    return starts;
}

// Partitions the ranges of all runs by `field` into buckets; returns, for every bucket, its
// start in every run: starts[bucket][run], plus the ends.
template <class Field>
std::vector<std::vector<std::size_t>> partition_runs(record_runs& runs, const run_ranges& ranges, Field field,
                                                     const std::atomic<bool>* cancel = nullptr) {
    const auto [low, high] = value_range(runs, ranges, field, cancel);
    const bucket_scheme scheme = scheme_for_range(low, high);
    std::vector<std::vector<std::size_t>> by_run(runs.size());
    for_each_part(runs.size(), [&](std::size_t r) {
        by_run[r] = partition_range(runs[r].begin(), ranges.first[r], ranges.last[r], scheme, field, cancel);
    });
    std::vector<std::vector<std::size_t>> starts(scheme.count + 1, std::vector<std::size_t>(runs.size()));
    for (std::size_t b = 0; b <= scheme.count; ++b) {
        for (std::size_t r = 0; r < runs.size(); ++r) starts[b][r] = by_run[r][b];
    }
    return starts;
}

bool holds_one_score(const record_runs& runs, const run_ranges& ranges) {
    const auto [low, high] = value_range(runs, ranges, [](const score_record& x) { return x.key; });
    return low == high;
}

} // namespace

segment_plan plan_segments(record_runs& runs, std::size_t records_per_segment, const std::atomic<bool>* cancel) {
    segment_plan plan;
    if (runs.empty()) return plan;
    run_ranges all{std::vector<std::size_t>(runs.size(), 0), {}};
    for (const auto& run : runs) all.last.push_back(run.size());
    const auto by_key = partition_runs(runs, all, [](const score_record& x) { return x.key; }, cancel);
    if (cancel && cancel->load()) return plan;

    // Units of work in output order: key buckets, or tie buckets of a big single-score bucket.
    std::vector<std::vector<std::size_t>> units;
    for (std::size_t b = 0; b + 1 < by_key.size(); ++b) {
        const run_ranges bucket{by_key[b], by_key[b + 1]};
        if (bucket.size() > 4 * records_per_segment && holds_one_score(runs, bucket)) {
            auto by_tie = partition_runs(runs, bucket, [](const score_record& x) { return x.tie; }, cancel);
            units.insert(units.end(), by_tie.begin(), by_tie.end() - 1);
        } else {
            units.push_back(by_key[b]);
        }
    }
    units.push_back(by_key.back());

    plan.bounds.push_back(units.front());
    std::size_t gathered = 0;
    for (std::size_t u = 0; u + 1 < units.size(); ++u) {
        for (std::size_t r = 0; r < runs.size(); ++r) gathered += units[u + 1][r] - units[u][r];
        if (gathered >= records_per_segment || u + 2 == units.size()) {
            plan.bounds.push_back(units[u + 1]);
            gathered = 0;
        }
    }
    return plan;
}

// Sorts the segment's part of every run; big parts (a bucket of many equal scores) are sorted
// on threads of their own while this thread sorts the others.
void sort_segment(record_runs& runs, const segment_plan& plan, std::size_t segment) {
    constexpr std::size_t big_part = std::size_t{1} << 20;
    auto sort_part = [&](std::size_t r) {
        std::sort(runs[r].begin() + plan.bounds[segment][r], runs[r].begin() + plan.bounds[segment + 1][r]);
    };
    std::vector<std::size_t> big_parts;
    for (std::size_t r = 1; r < runs.size(); ++r) {
        if (plan.bounds[segment + 1][r] - plan.bounds[segment][r] > big_part) big_parts.push_back(r);
    }
    for_each_part(big_parts.size() + 1, [&](std::size_t part) {
        if (part > 0) return sort_part(big_parts[part - 1]);
        for (std::size_t r = 0; r < runs.size(); ++r) {
            if (std::find(big_parts.begin(), big_parts.end(), r) == big_parts.end()) sort_part(r);
        }
    });
}

// Segments small enough that every thread gets a few of them, so outputs of a few hundred
// thousand lines are sorted and formatted on all threads too, but not so small that planning
// and hand-over dominate.
std::size_t segment_size_for(const record_runs& runs, unsigned threads, std::size_t largest) {
    constexpr std::size_t smallest = std::size_t{1} << 14;
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    return std::min(largest, std::max(smallest, total / (4 * std::size_t{threads})));
}

} // namespace vornel
