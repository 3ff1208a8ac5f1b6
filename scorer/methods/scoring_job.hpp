#pragma once

// What one scoring run is asked to do, and the record buffers it fills.

#include "scorer/graph/network.hpp"
#include "scorer/output/records.hpp"
#include "scorer/parallel/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vornel {

// One re-weighting round of an iterative method, as reported to scoring_job::round_done.
struct round_report {
    int round = 0;             // from 1
    std::uint64_t changed = 0; // interaction weights the round changed
    int period = 0;            // > 0: the weights repeat every `period` rounds from here on,
                               // so the rounds left are cut by a multiple of it (1: unchanged)
};

// What one scoring run is asked to do.
struct scoring_job {
    const network* net = nullptr;
    const listed_pairs* listed = nullptr; // null: propose candidates
    int rounds = 1;                       // re-weighting rounds of iterative methods (>= 1)
    unsigned threads = 1;
    // Called by iterative methods after each re-weighting round; may be empty.
    std::function<void(const round_report&)> round_done;
    // Set by another thread to stop the run early: the row loops then throw scoring_cancelled.
    // Null (the command line) costs nothing.
    const std::atomic<bool>* cancel = nullptr;
    // Receives the lines a method has to say about its own choices (auto); may be empty.
    std::function<void(const std::string&)> note;
    // When set, the records are handed to it in blocks as they are made, by the thread that
    // made them (thread < max(1, threads)), instead of being kept: the run then returns at
    // most one block per thread, which hand_over_rest() passes on. Empty (the command line):
    // every record is kept and returned.
    std::function<void(unsigned thread, std::span<const score_record>)> consume;
    std::size_t consume_block = std::size_t{1} << 16; // records per block handed to consume
    // Proposing only: the source proteins whose rows are scored, increasing; empty (the
    // command line): every row. A row u emits only pairs (u, v) with v > u, every pair from its
    // smaller protein, so a restricted run makes exactly the records of the full run whose
    // smaller protein is listed (learn: see score_learn). The evaluation samples rows this way.
    std::span<const std::uint32_t> rows;
};

// The number of rows a proposal run of `job` scores, and the source protein of its i-th row.
inline std::uint32_t rows_to_score(const scoring_job& job) {
    return job.rows.empty() ? job.net->protein_count() : static_cast<std::uint32_t>(job.rows.size());
}
inline std::uint32_t row_to_score(const scoring_job& job, std::uint32_t item) {
    return job.rows.empty() ? item : job.rows[item];
}

// Makes `buffer`, filled by thread `thread`, drain into the job's consumer (if it has one).
inline void drain_for_thread(const scoring_job& job, unsigned thread, record_buffer& buffer) {
    if (!job.consume) return;
    buffer.drain_to([consume = job.consume, thread](std::span<const score_record> block) { consume(thread, block); },
                    job.consume_block);
}

// One record buffer per thread of the job, each draining into the job's consumer if it has one.
inline record_runs make_runs(const scoring_job& job) {
    record_runs runs(std::max(1u, job.threads));
    for (unsigned t = 0; t < runs.size(); ++t) drain_for_thread(job, t, runs[t]);
    return runs;
}

// Hands the records a run returned to the job's consumer (each buffer as the thread that
// filled it), so that the consumer has seen every record; does nothing without a consumer.
// Called after the run, on one thread.
inline void hand_over_rest(record_runs& runs) {
    for (auto& run : runs) run.hand_over();
}

// The most re-weighting rounds a run is given: larger requests (the command line takes any
// whole number) are clamped so that the count fits an int. Nothing is lost: 2^30 rounds, even
// on a small network, take longer than any run lasts, and an iterative method cuts its rounds
// once its weights repeat.
inline constexpr long long max_rounds = 1LL << 30;

// The job for scoring `net` (`listed`: these pairs; null: propose candidates) with `iterations`
// re-weighting rounds (clamped to 1..max_rounds) on `threads` threads (0: the usable
// processors), capped by the rows there are to share out (threads_for_rows). The program,
// `vornel evaluate` and the Python package all start their runs from it.
scoring_job make_scoring_job(const network& net, const listed_pairs* listed, long long iterations, unsigned threads);

} // namespace vornel
