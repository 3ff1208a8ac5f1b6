#pragma once

// The records of a run put in write order for callers that want the records rather than text
// (the Python package): sorted in parts on several threads, the best few selected and merged,
// or sorted by counting when the scores take few values.

#include "scorer/output/records.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <span>
#include <utility>
#include <vector>

namespace vornel {

// Receives a part of the sorted records: `records` are those at positions [first, first + size)
// of the whole order.
using sorted_part_taker = std::function<void(std::size_t first, std::span<const score_record> records)>;

// Sorts the records of the runs in the order write_sorted_records writes them (best first) and
// hands them over in parts, on `threads` threads at once: take() is called from several threads,
// each part exactly once, in no particular order. For callers that want the records rather than
// text; the runs are reordered in place as write_sorted_records does. With `cancel` set by
// another thread, the threads stop at their next segment and scoring_cancelled is thrown.
void sort_records(record_runs& runs, unsigned threads, const sorted_part_taker& take,
                  std::size_t records_per_segment = std::size_t{1} << 18, const std::atomic<bool>* cancel = nullptr);

// Puts the records of every run in the order write_sorted_records writes them (best first),
// each run on a thread of its own; with `top` smaller than a run, only that run's best `top`
// records are put in order, at its front (the rest stay behind them, unordered). For callers
// that want the records rather than text.
void order_runs(record_runs& runs, std::size_t top = SIZE_MAX);

// Calls emit(record) for the first `limit` records of the runs in write order, best first.
// Expects: order_runs(runs, top) with top >= limit.
template <class Emit>
void merge_ordered_runs(const record_runs& runs, std::size_t limit, Emit emit) {
    using head = std::pair<score_record, std::size_t>; // a run's next record and the run
    const auto later = [](const head& x, const head& y) { return y.first < x.first; };
    std::priority_queue<head, std::vector<head>, decltype(later)> heads(later);
    std::vector<std::size_t> next(runs.size(), 0);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!runs[r].empty()) heads.push({runs[r][0], r});
    }
    for (std::size_t done = 0; done < limit && !heads.empty(); ++done) {
        const auto [record, r] = heads.top();
        heads.pop();
        emit(record);
        if (++next[r] < runs[r].size()) heads.push({runs[r][next[r]], r});
    }
}

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
bool sort_by_counting(record_runs& runs, unsigned threads, std::span<std::uint64_t> ties, const equal_score_taker& take,
                      std::size_t records_per_score = 8, const std::atomic<bool>* cancel = nullptr);

} // namespace vornel
