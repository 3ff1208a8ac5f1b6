#pragma once

// The proposal figures of one scoring run, counted from its records as they are handed over in
// blocks (scoring_job::consume), without keeping them: the best records in a bounded structure
// per thread, the hidden pairs' records, and a histogram of every record's score.

#include "scorer/output/records.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vornel {

// A fixed set of pairs (candidate_tie values) asked about once per record: open addressing in
// a table at most a quarter full, behind a bitmap that answers most misses from the cache.
class pair_set {
public:
    explicit pair_set(std::span<const std::uint64_t> ties);
    bool contains(std::uint64_t tie) const {
        const std::uint64_t h = hash(tie);
        if (((filter_[(h >> filter_shift_) / 64] >> (h >> filter_shift_) % 64) & 1) == 0) return false;
        for (std::size_t slot = h >> table_shift_;; slot = (slot + 1) & (table_.size() - 1)) {
            if (table_[slot] == tie) return true;
            if (table_[slot] == empty) return false;
        }
    }

private:
    // No candidate tie has u > v, so no pair is all ones.
    static constexpr std::uint64_t empty = ~std::uint64_t{0};
    static std::uint64_t hash(std::uint64_t tie) { return (tie ^ (tie >> 29)) * 0x9e3779b97f4a7c15ULL; }

    std::vector<std::uint64_t> table_;
    std::vector<std::uint64_t> filter_;
    int table_shift_ = 0;
    int filter_shift_ = 0;
};

// Record counts by score bin: the exponent and the top 16 mantissa bits of the score, so a bin
// spans a relative width of 2^-16 (1.5e-5) and bins order like the scores. Counters live in
// blocks of 4096 bins made when a record first falls into them, so memory follows the range of
// scores a method gives (tens of megabytes at most), not the number of bins.
class score_histogram {
public:
    static constexpr int mantissa_bits = 16;
    static std::uint32_t bin_of(std::uint64_t key) {
        return static_cast<std::uint32_t>((key >> (52 - mantissa_bits)) & (bin_count - 1));
    }

    score_histogram() : blocks_(block_count) {}
    void add(std::uint64_t key) {
        const std::uint32_t bin = bin_of(key);
        std::unique_ptr<std::uint64_t[]>& block = blocks_[bin >> block_bits];
        if (!block) block = std::make_unique<std::uint64_t[]>(block_size);  // zeroed
        ++block[bin & (block_size - 1)];
    }
    // Asks the cache for the counter of `key`'s bin if its block exists (a later add()'s).
    void prefetch(std::uint64_t key) const {
        const std::uint32_t bin = bin_of(key);
        const std::unique_ptr<std::uint64_t[]>& block = blocks_[bin >> block_bits];
        if (block) __builtin_prefetch(&block[bin & (block_size - 1)], 1);
    }
    // Adds the counts of `other` into this one.
    void merge(const score_histogram& other);
    // Calls visit(bin, count) for every bin with records, in increasing bin order.
    template <class Visit>
    void for_each_bin(Visit visit) const {
        for (std::uint32_t b = 0; b < block_count; ++b) {
            if (!blocks_[b]) continue;
            for (std::uint32_t i = 0; i < block_size; ++i) {
                if (blocks_[b][i] != 0) visit((b << block_bits) | i, blocks_[b][i]);
            }
        }
    }

private:
    static constexpr std::uint32_t bin_count = std::uint32_t{1} << (11 + mantissa_bits);
    static constexpr int block_bits = 12;
    static constexpr std::uint32_t block_size = std::uint32_t{1} << block_bits;
    static constexpr std::uint32_t block_count = bin_count >> block_bits;
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks_;
};

// Precision and recall at each k and average precision of one ranking (best first, ties
// broken by the pair as in the scorer's output).
struct proposal_figures {
    std::vector<double> precision;  // at each k: hidden pairs among the first k, over k
    std::vector<double> recall;     // at each k: hidden pairs among the first k, over all hidden
    double average_precision = 0;   // over all hidden pairs (an unranked one adds 0)
};

// Counts one proposal run. take() may be called concurrently for distinct threads; the figures
// do not depend on how the records were shared among the threads or cut into blocks.
//
// Precision and recall at k (k up to `best_count`) are exact: the best `best_count` records are
// kept. Average precision needs every hidden pair's rank: a hidden pair whose score is better
// than the score bin of the best_count-th record gets it exactly from the kept records; farther
// down, the records in bins before its bin are counted exactly, and within its bin (records of
// equal or nearly equal score, ranked as a group) the hidden pairs take the middle places a
// random order of the group gives them on average. The same middle places are taken inside any
// group of equal scores, so average precision treats ties as unordered.
class proposal_tally {
public:
    proposal_tally(const pair_set& hidden, std::uint64_t hidden_count, std::uint64_t best_count, unsigned threads);
    proposal_tally(const proposal_tally&) = delete;
    proposal_tally& operator=(const proposal_tally&) = delete;

    void take(unsigned thread, std::span<const score_record> block);
    // Merges the threads' counts; call once, after the last take().
    void finish();
    // The figures at each k of `top_k` (every k at most best_count).
    proposal_figures figures(std::span<const std::uint64_t> top_k) const;

private:
    struct per_thread {
        std::vector<score_record> best;  // a max-heap: the worst kept record on top
        std::vector<score_record> hidden;
        score_histogram histogram;
    };
    double average_precision() const;

    const pair_set& hidden_set_;
    std::uint64_t hidden_count_;
    std::size_t best_count_;
    std::vector<std::unique_ptr<per_thread>> threads_;
    std::vector<score_record> best_;    // after finish(): the best records, in ranking order
    std::vector<score_record> hidden_;  // after finish(): the hidden pairs' records, in ranking order
    std::vector<std::size_t> hidden_places_in_best_;  // where best_ holds hidden pairs, increasing
    std::uint64_t total_ = 0;
    double average_precision_ = 0;
};

}  // namespace vornel
