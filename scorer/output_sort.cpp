#include "scorer/output_sort.hpp"

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
    for_each_run_in_parallel(runs.size(), [&](std::size_t r) {
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
    for_each_run_in_parallel(runs.size(), [&](std::size_t r) {
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

}  // namespace

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
// on threads of their own.
void sort_segment(record_runs& runs, const segment_plan& plan, std::size_t segment) {
    constexpr std::size_t big_part = std::size_t{1} << 20;
    auto sort_part = [&](std::size_t r) {
        std::sort(runs[r].begin() + plan.bounds[segment][r], runs[r].begin() + plan.bounds[segment + 1][r]);
    };
    std::vector<std::thread> helpers;
    for (std::size_t r = 1; r < runs.size(); ++r) {
        if (plan.bounds[segment + 1][r] - plan.bounds[segment][r] > big_part) {
            if (!try_start_thread(helpers, sort_part, r)) sort_part(r);
        } else {
            sort_part(r);
        }
    }
    if (!runs.empty()) sort_part(0);
    for (auto& helper : helpers) helper.join();
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

namespace {

// Counting sort. A candidate's tie holds its row (the smaller protein) in the high half, and the
// row scorers hand every row to one thread, which appends the row's records at once; each run
// thus lists its rows in increasing order, a row in one run only. Taken in row order across the
// runs, and each row's records by their tie, the records are in tie order; placing them by score
// in that order (stable, by counting) gives the write order. Scores with many ties have few
// distinct values (Jaccard: 14,109 of them over 5.7 million candidates).
// measured: sorted Jaccard candidates into the Python package, 0.44-0.56 -> 0.14-0.23 s against
// partition and comparison sort (5.7 million, 2 threads).

std::uint64_t row_of(std::uint64_t tie) { return tie >> 32; }

// Whether a stop flag is given and set (read without ordering: it is polled between pieces).
bool is_set(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// Keys of positive scores have the top bit set (descending_key inverts a clear sign bit); while
// counting, a record's key is replaced by the small number its score has in its portion, so
// placing needs no second look-up (measured: counting and placing 0.061 -> 0.051 s, best of 5).
constexpr std::uint64_t score_key_bit = std::uint64_t{1} << 63;

// Score keys to numbers from 1: open addressing, linear probing; 0 marks an empty slot.
class key_numbers {
public:
    // The number of `key`; a new key gets `next` (> 0).
    std::uint64_t number_of(std::uint64_t key, std::uint64_t next) {
        for (std::size_t i = home(key);; i = (i + 1) & mask_) {
            slot& s = slots_[i];
            if (s.number == 0) {
                s = {key, next};
                if (++size_ * 2 > slots_.size()) grow();
                return next;
            }
            if (s.key == key) return s.number;
        }
    }

private:
    struct slot {
        std::uint64_t key = 0;
        std::uint64_t number = 0;
    };
    // Fibonacci hashing: the multiply carries the low bits, where scores differ, to the top.
    std::size_t home(std::uint64_t key) const { return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15u) >> shift_); }
    void grow() {
        std::vector<slot> old(slots_.size() * 2);
        std::swap(old, slots_);
        mask_ = slots_.size() - 1;
        --shift_;
        for (const slot& s : old) {
            if (s.number == 0) continue;
            std::size_t i = home(s.key);
            while (slots_[i].number != 0) i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::vector<slot> slots_ = std::vector<slot>(1024);
    std::size_t mask_ = 1023;
    unsigned shift_ = 54;
    std::size_t size_ = 0;
};

// The records of all runs cut by row into portions: portion t is [starts[t][r], starts[t + 1][r])
// of every run r, and its rows come before those of portion t + 1.
struct row_portions {
    std::vector<std::vector<std::size_t>> starts;
    std::size_t count() const { return starts.size() - 1; }
    std::size_t size(std::size_t t) const {
        std::size_t total = 0;
        for (std::size_t r = 0; r < starts[t].size(); ++r) total += starts[t + 1][r] - starts[t][r];
        return total;
    }
};

// Cuts the runs into `parts` portions of rows, at the rows found at equal steps through the
// largest run (every run holds an even sample of the rows). Returns nothing when the runs are
// not in row order there.
std::optional<row_portions> cut_by_rows(const record_runs& runs, std::size_t parts) {
    const auto largest = std::max_element(runs.begin(), runs.end(),
                                          [](const record_buffer& x, const record_buffer& y) { return x.size() < y.size(); });
    row_portions portions;
    portions.starts.assign(parts + 1, std::vector<std::size_t>(runs.size(), 0));
    for (std::size_t r = 0; r < runs.size(); ++r) portions.starts[parts][r] = runs[r].size();
    std::uint64_t previous = 0;
    for (std::size_t t = 1; t < parts; ++t) {
        const std::uint64_t first_row = row_of((*largest)[largest->size() * t / parts].tie);
        if (first_row < previous) return std::nullopt;
        previous = first_row;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const score_record* run = runs[r].begin();
            const auto below = [&](const score_record& x) { return row_of(x.tie) < first_row; };
            const std::size_t from = portions.starts[t - 1][r];
            const std::size_t at = static_cast<std::size_t>(std::partition_point(run + from, runs[r].end(), below) - run);
            // partition_point presumes order; make sure the cut really separates the rows.
            if ((at > from && !below(run[at - 1])) || (at < runs[r].size() && below(run[at]))) return std::nullopt;
            portions.starts[t][r] = at;
        }
    }
    return portions;
}

// Calls visit(first, last) for every row of portion t, rows in increasing order (a row's
// records are consecutive in one run), until visit returns false. Returns false when a run's
// rows are not in increasing order, a row is in several runs, or visit asked to stop. The order
// depends on the ties alone.
template <class Visit>
bool visit_rows_in_order(record_runs& runs, const row_portions& portions, std::size_t t, Visit visit) {
    struct cursor {
        score_record* next;
        score_record* stop;
    };
    std::vector<cursor> cursors;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (portions.starts[t][r] < portions.starts[t + 1][r]) {
            cursors.push_back({runs[r].begin() + portions.starts[t][r], runs[r].begin() + portions.starts[t + 1][r]});
        }
    }
    while (!cursors.empty()) {
        std::size_t best = 0;
        bool shared = false;
        for (std::size_t i = 1; i < cursors.size(); ++i) {
            const std::uint64_t row = row_of(cursors[i].next->tie);
            const std::uint64_t best_row = row_of(cursors[best].next->tie);
            shared = row == best_row || (shared && row > best_row);
            if (row < best_row) best = i;
        }
        if (shared) return false;
        cursor& c = cursors[best];
        const std::uint64_t row = row_of(c.next->tie);
        score_record* first = c.next;
        while (++c.next != c.stop && row_of(c.next->tie) == row) {
        }
        if (!visit(first, c.next)) return false;
        if (c.next == c.stop) {
            cursors.erase(cursors.begin() + static_cast<std::ptrdiff_t>(best));
        } else if (row_of(c.next->tie) < row) {
            return false;
        }
    }
    return true;
}

// Visits the records of one row in tie order. A dense row (ties spread over a few times as many
// values as it has records, as candidate rows are) is ordered by marking its ties in a bitmap;
// a sparse one, or one with a repeated tie, is sorted in place.
// measured: 0.225 -> 0.185 s CPU per sorted Jaccard call (1 thread) against an insertion sort
// of each row's stretch of one score after placing (24 million moves).
class row_orderer {
public:
    template <class Visit>
    void visit_in_order(score_record* first, score_record* last, Visit visit) {
        const std::size_t count = static_cast<std::size_t>(last - first);
        if (count > 1 && !visit_by_bitmap(first, count, visit)) {
            std::sort(first, last, [](const score_record& x, const score_record& y) { return x.tie < y.tie; });
            std::for_each(first, last, visit);
        } else if (count == 1) {
            visit(*first);
        }
    }

private:
    template <class Visit>
    bool visit_by_bitmap(const score_record* row, std::size_t count, Visit visit) {
        std::uint64_t low = row[0].tie;
        std::uint64_t high = row[0].tie;
        for (std::size_t i = 1; i < count; ++i) {
            low = std::min(low, row[i].tie);
            high = std::max(high, row[i].tie);
        }
        // Scratch of a few bits and four bytes per value in the ties' range: only for dense rows.
        constexpr std::uint64_t widest = std::uint64_t{1} << 22;
        const std::uint64_t words = (high - low) / 64 + 1;
        if (words > 4 * count + 16 || high - low >= widest) return false;
        if (bits_.size() < words) bits_.resize(words, 0);
        if (slots_.size() < high - low + 1) slots_.resize(high - low + 1);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t at = row[i].tie - low;
            const std::uint64_t bit = std::uint64_t{1} << (at % 64);
            if ((bits_[at / 64] & bit) != 0) {
                std::fill(bits_.begin(), bits_.begin() + static_cast<std::ptrdiff_t>(words), 0);
                return false;
            }
            bits_[at / 64] |= bit;
            slots_[at] = static_cast<std::uint32_t>(i);
        }
        for (std::uint64_t w = 0; w < words; ++w) {
            for (std::uint64_t bits = std::exchange(bits_[w], 0); bits != 0; bits &= bits - 1) {
                visit(row[slots_[w * 64 + static_cast<unsigned>(std::countr_zero(bits))]]);
            }
        }
        return true;
    }

    std::vector<std::uint64_t> bits_;   // all clear between rows
    std::vector<std::uint32_t> slots_;  // slots_[tie - low]: the record's place in its row
};

// The scores of one portion, numbered from 0 in the order first met.
struct portion_scores {
    std::vector<std::uint64_t> keys;    // by number
    std::vector<std::size_t> counts;    // records by number
    std::size_t visited = 0;            // records whose key holds their number
};

// Counts the scores of portion t, writing each record's number over its key. Stops (false)
// when the portion has more than `limit` scores, is not in row order, a key is not a positive
// score's, or `stop` or `cancel` (when given) is set.
bool number_scores(record_runs& runs, const row_portions& portions, std::size_t t, std::size_t limit,
                   const std::atomic<bool>& stop, const std::atomic<bool>* cancel, portion_scores& scores) {
    key_numbers numbers;
    return visit_rows_in_order(runs, portions, t, [&](score_record* first, score_record* last) {
        if (stop.load(std::memory_order_relaxed) || is_set(cancel)) return false;
        for (score_record* record = first; record != last; ++record) {
            if ((record->key & score_key_bit) == 0) return false;
            const std::uint64_t number = numbers.number_of(record->key, scores.keys.size() + 1) - 1;
            if (number == scores.keys.size()) {
                if (number == limit) return false;
                scores.keys.push_back(record->key);
                scores.counts.push_back(0);
            }
            ++scores.counts[number];
            record->key = number;
            ++scores.visited;
        }
        return true;
    });
}

// Puts the keys back into the records number_scores visited.
void restore_keys(record_runs& runs, const row_portions& portions, std::size_t t, const portion_scores& scores) {
    std::size_t restored = 0;
    visit_rows_in_order(runs, portions, t, [&](score_record* first, score_record* last) {
        for (score_record* record = first; record != last && restored < scores.visited; ++record, ++restored) {
            record->key = scores.keys[record->key];
        }
        return restored < scores.visited;
    });
}

// The distinct scores of all portions, best first, and where each portion's records go.
struct score_layout {
    std::vector<std::uint64_t> keys;             // keys[k]: the k-th best score
    std::vector<std::size_t> starts;             // starts[k]: first position of score k; plus the end
    std::vector<std::vector<std::size_t>> next;  // next[t][n]: next position of portion t's score number n
};

// With more than `limit` distinct scores only the keys are filled in: the tables grow with
// portions x scores, so they are not made for a layout that will not be used.
score_layout lay_out_scores(const std::vector<portion_scores>& portions, std::size_t limit) {
    score_layout layout;
    for (const auto& portion : portions) layout.keys.insert(layout.keys.end(), portion.keys.begin(), portion.keys.end());
    std::sort(layout.keys.begin(), layout.keys.end());
    layout.keys.erase(std::unique(layout.keys.begin(), layout.keys.end()), layout.keys.end());
    const std::size_t scores = layout.keys.size();
    if (scores > limit) return layout;
    // by_rank[t][k]: the count, then the first position, of portion t's records of score k.
    std::vector<std::vector<std::size_t>> by_rank(portions.size(), std::vector<std::size_t>(scores, 0));
    const auto rank_of = [&](std::uint64_t key) {
        return static_cast<std::size_t>(std::lower_bound(layout.keys.begin(), layout.keys.end(), key) - layout.keys.begin());
    };
    for (std::size_t t = 0; t < portions.size(); ++t) {
        for (std::size_t n = 0; n < portions[t].keys.size(); ++n) by_rank[t][rank_of(portions[t].keys[n])] = portions[t].counts[n];
    }
    layout.starts.assign(scores + 1, 0);
    std::size_t position = 0;
    for (std::size_t k = 0; k < scores; ++k) {
        layout.starts[k] = position;
        for (auto& portion : by_rank) position += std::exchange(portion[k], position);
    }
    layout.starts[scores] = position;
    layout.next.resize(portions.size());
    for (std::size_t t = 0; t < portions.size(); ++t) {
        for (const std::uint64_t key : portions[t].keys) layout.next[t].push_back(by_rank[t][rank_of(key)]);
    }
    return layout;
}

}  // namespace

bool sort_by_counting(record_runs& runs, unsigned threads, std::span<std::uint64_t> ties,
                      const equal_score_taker& take, std::size_t records_per_score, const std::atomic<bool>* cancel) {
    stop_if_cancelled(cancel);
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    if (total == 0) return true;
    const std::size_t parts = std::max(1u, threads);
    const auto portions = cut_by_rows(runs, parts);
    if (!portions) return false;
    // A portion far above its share would leave the other threads idle: not worth counting.
    for (std::size_t t = 0; t < parts; ++t) {
        if (portions->size(t) > 2 * (total / parts) + (std::size_t{1} << 16)) return false;
    }

    // Beyond some 10^5 scores the counts and next positions no longer stay in the caches: aa's
    // 450,682 scores over 5.7 million candidates sorted no faster than by comparison.
    constexpr std::size_t most_scores = std::size_t{1} << 17;
    const std::size_t limit =
        std::min(most_scores, std::max<std::size_t>(total / std::max<std::size_t>(1, records_per_score), 1024));
    // Number the scores of every portion, all stopping at the first sign that counting does not
    // pay; every key is then put back.
    std::vector<portion_scores> scores(parts);
    std::atomic<bool> unsuitable{false};
    for_each_run_in_parallel(parts, [&](std::size_t t) {
        if (!number_scores(runs, *portions, t, limit, unsuitable, cancel, scores[t])) unsuitable = true;
    });
    stop_if_cancelled(cancel);
    score_layout layout;
    if (!unsuitable) {
        layout = lay_out_scores(scores, limit);
        unsuitable = layout.keys.size() > limit;
    }
    if (unsuitable) {
        for_each_run_in_parallel(parts, [&](std::size_t t) { restore_keys(runs, *portions, t, scores[t]); });
        return false;
    }
    scores.clear();

    // Place every tie at its score's next position, portion by portion in tie order.
    for_each_run_in_parallel(parts, [&](std::size_t t) {
        std::size_t* next = layout.next[t].data();
        row_orderer orderer;
        visit_rows_in_order(runs, *portions, t, [&](score_record* first, score_record* last) {
            orderer.visit_in_order(first, last, [&](const score_record& record) { ties[next[record.key]++] = record.tie; });
            return !is_set(cancel);
        });
    });
    stop_if_cancelled(cancel);

    // Hand the ties over in pieces, each within one score.
    const std::size_t piece = segment_size_for(runs, static_cast<unsigned>(parts), std::size_t{1} << 16);
    std::atomic<std::size_t> next_piece{0};
    for_each_run_in_parallel(parts, [&](std::size_t) {
        for (std::size_t from; !is_set(cancel) && (from = next_piece.fetch_add(1) * piece) < total;) {
            const std::size_t to = std::min(total, from + piece);
            std::size_t k = static_cast<std::size_t>(std::upper_bound(layout.starts.begin(), layout.starts.end(), from) -
                                                     layout.starts.begin()) - 1;
            for (std::size_t first = from; first < to; ++k) {
                const std::size_t last = std::min(to, layout.starts[k + 1]);
                take(first, layout.keys[k], ties.subspan(first, last - first));
                first = last;
            }
        }
    });
    stop_if_cancelled(cancel);
    return true;
}

}  // namespace vornel
