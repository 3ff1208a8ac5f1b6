#pragma once

#include "scorer/output/records.hpp"
#include "scorer/parallel/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <queue>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace vornel {

// The records of all runs cut into segments of consecutive scores, best first: segment s is
// bounds[s][r] .. bounds[s + 1][r] of every run r.
struct segment_plan {
    std::vector<std::vector<std::size_t>> bounds; // bounds[segment][run]: start in that run
    std::size_t segment_count() const { return bounds.empty() ? 0 : bounds.size() - 1; }
};

// Reorders the records of every run (in place) so that segments of about
// `records_per_segment` records each are contiguous and in score order; returns where they are.
// With `cancel` set by another thread, it stops early and returns no segments.
segment_plan plan_segments(record_runs& runs, std::size_t records_per_segment,
                           const std::atomic<bool>* cancel = nullptr);

// Sorts the segment's part of every run.
void sort_segment(record_runs& runs, const segment_plan& plan, std::size_t segment);

// Calls take(record) for the records of the runs' sorted parts of one segment, merged in
// order, until take returns false; returns false then. A few runs are merged by scanning their
// heads; many (one per core on a big machine) through a heap.
template <class Take>
bool merge_segment(const record_runs& runs, const segment_plan& plan, std::size_t segment, Take take) {
    struct cursor {
        const score_record* next;
        const score_record* stop;
    };
    std::vector<cursor> cursors;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::size_t from = plan.bounds[segment][r];
        const std::size_t to = plan.bounds[segment + 1][r];
        if (from < to) cursors.push_back({runs[r].begin() + from, runs[r].begin() + to});
    }
    auto later = [](const cursor& x, const cursor& y) { return *y.next < *x.next; };
    constexpr std::size_t heap_from = 5;
    const bool use_heap = cursors.size() >= heap_from;
    if (use_heap) std::make_heap(cursors.begin(), cursors.end(), later);
    while (!cursors.empty()) {
        if (use_heap) {
            std::pop_heap(cursors.begin(), cursors.end(), later);
            cursor& best = cursors.back();
            if (!take(*best.next)) return false;
            if (++best.next == best.stop) {
                cursors.pop_back();
            } else {
                std::push_heap(cursors.begin(), cursors.end(), later);
            }
        } else {
            std::size_t best = 0;
            for (std::size_t i = 1; i < cursors.size(); ++i) {
                if (*cursors[i].next < *cursors[best].next) best = i;
            }
            if (!take(*cursors[best].next)) return false;
            if (++cursors[best].next == cursors[best].stop) cursors.erase(cursors.begin() + std::ptrdiff_t(best));
        }
    }
    return true;
}

// Segment size for `threads` threads, at most `largest` records.
std::size_t segment_size_for(const record_runs& runs, unsigned threads, std::size_t largest);

} // namespace vornel
