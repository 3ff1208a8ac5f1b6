#include "scorer/methods/record_selection.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vornel {

namespace {

// For positive scores, a larger key is a lower score (descending_key); every record's score is
// positive, so a minimum of 0 or below (or -inf) keeps them all.
std::uint64_t largest_key_for(const std::optional<double>& min_score) {
    if (!min_score || !(*min_score > 0)) return std::numeric_limits<std::uint64_t>::max();
    return descending_key(*min_score);
}

// How many records a thread holds before they are cut back to the best `top`: twice `top` (at
// least `top` + 1,024), so the cut (a linear selection) runs once per `top` records kept. A `top`
// beyond any run's records is never cut.
std::size_t trim_size_for(const std::optional<std::uint64_t>& top) {
    constexpr std::uint64_t never = std::uint64_t{1} << 62;
    if (!top || *top >= never) return static_cast<std::size_t>(std::numeric_limits<std::uint64_t>::max());
    return static_cast<std::size_t>(*top + std::max<std::uint64_t>(*top, 1024));
}

// Moves the best `top` records of [first, last) to its front, in no particular order.
void select_best(score_record* first, score_record* last, std::size_t top) {
    if (top < static_cast<std::size_t>(last - first)) std::nth_element(first, first + top - 1, last);
}

}  // namespace

record_selection::record_selection(const record_bound& bound, unsigned threads)
    : bound_(bound), max_key_(largest_key_for(bound.min_score)), trim_size_(trim_size_for(bound.top)),
      key_limit_(max_key_) {
    for (unsigned t = 0; t < std::max(1u, threads); ++t) threads_.push_back(std::make_unique<per_thread>());
}

void record_selection::attach(scoring_job& job) {
    job.consume = [this](unsigned thread, std::span<const score_record> block) { take(thread, block); };
}

void record_selection::take(unsigned thread, std::span<const score_record> block) {
    if (thread >= threads_.size()) throw std::logic_error("record_selection: records from an unknown thread");
    per_thread& mine = *threads_[thread];
    mine.seen += block.size();
    if (bound_.top == std::uint64_t{0}) return;
    for (const score_record& record : block) {
        if (record.key > max_key_) continue;
        if (bound_.top) {
            keep_best(mine, record);
        } else {
            mine.kept.push_back(record);
        }
    }
}

void record_selection::keep_best(per_thread& mine, const score_record& record) {
    if (record.key > key_limit_.load(std::memory_order_relaxed)) return;
    if (mine.full && !(record < mine.worst_kept)) return;
    mine.kept.push_back(record);
    if (mine.kept.size() >= trim_size_) trim_to_top(mine);
}

void record_selection::trim_to_top(per_thread& mine) {
    const auto top = static_cast<std::size_t>(*bound_.top);
    select_best(mine.kept.begin(), mine.kept.end(), top);
    mine.kept.shrink_to(top);
    mine.worst_kept = *std::max_element(mine.kept.begin(), mine.kept.end());
    mine.full = true;
    // Every thread may drop what scores below this thread's worst kept record.
    std::uint64_t limit = key_limit_.load(std::memory_order_relaxed);
    while (mine.worst_kept.key < limit &&
           !key_limit_.compare_exchange_weak(limit, mine.worst_kept.key, std::memory_order_relaxed)) {
    }
}

record_runs record_selection::release() {
    record_runs runs;
    if (!bound_.top) {
        for (auto& mine : threads_) runs.push_back(std::move(mine->kept));
        return runs;
    }
    runs.emplace_back();
    record_buffer& best = runs.back();
    for (auto& mine : threads_) {
        for (const score_record& record : mine->kept) best.push_back(record);
        mine->kept = record_buffer();
    }
    const auto top = static_cast<std::size_t>(std::min<std::uint64_t>(*bound_.top, best.size()));
    if (top == 0) {
        best.shrink_to(0);
    } else {
        select_best(best.begin(), best.end(), top);
        best.shrink_to(top);
    }
    return runs;
}

std::uint64_t record_selection::seen() const {
    std::uint64_t total = 0;
    for (const auto& mine : threads_) total += mine->seen;
    return total;
}

}  // namespace vornel
