#pragma once

// The records a bounded run keeps: the best `top` of them, those scoring at least a minimum,
// or both. They are picked as the scoring threads hand them over (scoring_job::consume), so the
// records beyond the bound are never kept, sorted or formatted, and memory stays at the
// selection (at most twice `top` records per thread) instead of every record made.

#include "scorer/methods/scoring_job.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vornel {

// Which records a run keeps; with neither bound, every record.
struct record_bound {
    std::optional<std::uint64_t> top;   // the best `top` records in write order
    std::optional<double> min_score;    // records scoring at least this

    bool bounded() const { return top.has_value() || min_score.has_value(); }
};

// Picks the records within a bound from a run's blocks. take() may be called concurrently for
// distinct threads; what is kept does not depend on how the records were shared among the
// threads or cut into blocks.
class record_selection {
public:
    record_selection(const record_bound& bound, unsigned threads);
    record_selection(const record_selection&) = delete;
    record_selection& operator=(const record_selection&) = delete;

    // Makes `job` hand its records to this selection.
    void attach(scoring_job& job);
    void take(unsigned thread, std::span<const score_record> block);
    // After the run and hand_over_rest(): the kept records, in no particular order (one run per
    // thread, or a single run of the best `top`). Call once.
    record_runs release();
    // Records handed over so far (every record with a positive score the run made).
    std::uint64_t seen() const;

private:
    struct per_thread {
        record_buffer kept;
        std::uint64_t seen = 0;
        bool full = false;        // kept holds `top` records, worst_kept is the worst of them
        score_record worst_kept{};
    };
    void keep_best(per_thread& mine, const score_record& record);
    void trim_to_top(per_thread& mine);

    record_bound bound_;
    std::uint64_t max_key_;  // records with a larger key score below min_score
    std::size_t trim_size_;  // a thread's kept records are cut back to `top` at this many
    // The largest key a record may have and still be among the best `top`: every thread's
    // trimmed selection holds `top` records with no larger key. Records above it are dropped.
    std::atomic<std::uint64_t> key_limit_;
    std::vector<std::unique_ptr<per_thread>> threads_;
};

}  // namespace vornel
