#pragma once

#include "scorer/row_engine.hpp"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
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
// With `cancel` set by another thread, it stops early and returns no segments.
segment_plan plan_segments(record_runs& runs, std::size_t records_per_segment,
                           const std::atomic<bool>* cancel = nullptr);

// Sorts the segment's part of every run.
void sort_segment(record_runs& runs, const segment_plan& plan, std::size_t segment);

// Runs fn(r) for every run r, each on a thread of its own (on the calling thread when the
// system refuses one). An exception thrown by fn (no memory for a partition's counts) is
// rethrown here once all have ended, rather than ending the process from a helper thread.
template <class Fn>
void for_each_run_in_parallel(std::size_t runs, Fn fn) {
    std::exception_ptr error;
    std::mutex error_mutex;
    const auto guarded = [&](std::size_t r) {
        try {
            fn(r);
        } catch (...) {
            std::lock_guard lock(error_mutex);
            if (!error) error = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t r = 1; r < runs; ++r) {
        if (!try_start_thread(helpers, guarded, r)) guarded(r);
    }
    if (runs > 0) guarded(0);
    for (auto& helper : helpers) helper.join();
    if (error) std::rethrow_exception(error);
}

// Segment size for `threads` threads, at most `largest` records.
std::size_t segment_size_for(const record_runs& runs, unsigned threads, std::size_t largest);

// Receives records that share one score (`key`), in write order: ties[i] is the tie of the
// record at position first + i of the whole order.
using equal_score_taker =
    std::function<void(std::size_t first, std::uint64_t key, std::span<const std::uint64_t> ties)>;

// Sorts the records of the runs into write order by counting, when that is cheap: the records
// hold few distinct scores (at most one per `records_per_score` records, and 131,072 at most),
// every run lists its records by the high half of the tie, and records sharing it are all in
// one run (candidates as the row scorers make them: a row's records at once, rows in increasing
// order). `ties` (at least as long as all runs together) receives the ties in write order;
// take() is then called on `threads` threads for consecutive pieces of records of one score,
// each position exactly once, and may overwrite the pieces it is given. The records are used up
// on the way (keys overwritten, rows reordered), and left so by an exception (no memory).
// Returns false, with nothing taken and the runs' records as they were, when the records are
// not of that kind. With `cancel` set by another thread, every pass stops at its next piece
// and scoring_cancelled is thrown (the records are then used up).
bool sort_by_counting(record_runs& runs, unsigned threads, std::span<std::uint64_t> ties,
                      const equal_score_taker& take, std::size_t records_per_score = 8,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace vornel
