#pragma once

#include "scorer/row_engine.hpp"

#include <cstddef>
#include <thread>
#include <vector>

namespace vornel {

// The records of all runs cut into segments of consecutive scores, best first: segment s is
// bounds[s][r] .. bounds[s + 1][r] of every run r.
struct segment_plan {
    std::vector<std::vector<std::size_t>> bounds;  // bounds[segment][run]: start in that run
    std::size_t segment_count() const { return bounds.empty() ? 0 : bounds.size() - 1; }
};

// Reorders the records of every run (in place) so that segments of about
// `records_per_segment` records each are contiguous and in score order; returns where they are.
segment_plan plan_segments(record_runs& runs, std::size_t records_per_segment);

// Sorts the segment's part of every run.
void sort_segment(record_runs& runs, const segment_plan& plan, std::size_t segment);

// Runs fn(r) for every run r, each on a thread of its own (on the calling thread when the
// system refuses one).
template <class Fn>
void for_each_run_in_parallel(std::size_t runs, Fn fn) {
    std::vector<std::thread> helpers;
    for (std::size_t r = 1; r < runs; ++r) {
        if (!try_start_thread(helpers, fn, r)) fn(r);
    }
    if (runs > 0) fn(0);
    for (auto& helper : helpers) helper.join();
}

// Segment size for `threads` threads, at most `largest` records.
std::size_t segment_size_for(const record_runs& runs, unsigned threads, std::size_t largest);

}  // namespace vornel
