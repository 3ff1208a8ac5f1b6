#include "scorer/output/record_order.hpp"

#include "scorer/output/segment_sort.hpp"
#include "scorer/parallel/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <optional>

namespace vornel {

namespace {

// Whether a stop flag is given and set (read without ordering: it is polled between pieces).
bool is_set(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

} // namespace

void sort_records(record_runs& runs, unsigned threads, const sorted_part_taker& take, std::size_t records_per_segment,
                  const std::atomic<bool>* cancel) {
    threads = std::max(1u, threads);
    const segment_plan plan = plan_segments(runs, segment_size_for(runs, threads, records_per_segment), cancel);
    stop_if_cancelled(cancel);
    const std::size_t segments = plan.segment_count();
    std::vector<std::size_t> position(segments + 1, 0);
    for (std::size_t i = 0; i < segments; ++i) {
        position[i + 1] = position[i];
        for (std::size_t r = 0; r < runs.size(); ++r) position[i + 1] += plan.bounds[i + 1][r] - plan.bounds[i][r];
    }
    std::atomic<std::size_t> next_segment{0};
    auto sort_all = [&] {
        std::vector<score_record> merged;
        for (std::size_t i; (i = next_segment.fetch_add(1)) < segments;) {
            if (is_set(cancel)) return;
            sort_segment(runs, plan, i);
            merged.clear();
            merge_segment(runs, plan, i, [&](const score_record& record) {
                merged.push_back(record);
                return true;
            });
            take(position[i], merged);
        }
    };
    helper_threads helpers(threads - 1, sort_all);
    sort_all();
    helpers.join();
    stop_if_cancelled(cancel);
}

void order_runs(record_runs& runs, std::size_t top) {
    for_each_part(runs.size(), [&](std::size_t r) {
        record_buffer& run = runs[r];
        if (top < run.size()) {
            std::partial_sort(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(top), run.end());
        } else {
            std::sort(run.begin(), run.end());
        }
    });
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
    std::size_t home(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15u) >> shift_);
    }
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
    const auto largest = std::max_element(
        runs.begin(), runs.end(), [](const record_buffer& x, const record_buffer& y) { return x.size() < y.size(); });
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
            const std::size_t at =
                static_cast<std::size_t>(std::partition_point(run + from, runs[r].end(), below) - run);
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
        while (++c.next != c.stop && row_of(c.next->tie) == row) {}
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

    std::vector<std::uint64_t> bits_;  // all clear between rows
    std::vector<std::uint32_t> slots_; // slots_[tie - low]: the record's place in its row
};

// The scores of one portion, numbered from 0 in the order first met.
struct portion_scores {
    std::vector<std::uint64_t> keys; // by number
    std::vector<std::size_t> counts; // records by number
    std::size_t visited = 0;         // records whose key holds their number
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
    std::vector<std::uint64_t> keys;            // keys[k]: the k-th best score
    std::vector<std::size_t> starts;            // starts[k]: first position of score k; plus the end
    std::vector<std::vector<std::size_t>> next; // next[t][n]: next position of portion t's score number n
};

// With more than `limit` distinct scores only the keys are filled in: the tables grow with
// portions x scores, so they are not made for a layout that will not be used.
score_layout lay_out_scores(const std::vector<portion_scores>& portions, std::size_t limit) {
    score_layout layout;
    for (const auto& portion : portions)
        layout.keys.insert(layout.keys.end(), portion.keys.begin(), portion.keys.end());
    std::sort(layout.keys.begin(), layout.keys.end());
    layout.keys.erase(std::unique(layout.keys.begin(), layout.keys.end()), layout.keys.end());
    const std::size_t scores = layout.keys.size();
    if (scores > limit) return layout;
    // by_rank[t][k]: the count, then the first position, of portion t's records of score k.
    std::vector<std::vector<std::size_t>> by_rank(portions.size(), std::vector<std::size_t>(scores, 0));
    const auto rank_of = [&](std::uint64_t key) {
        return static_cast<std::size_t>(std::lower_bound(layout.keys.begin(), layout.keys.end(), key) -
                                        layout.keys.begin());
    };
    for (std::size_t t = 0; t < portions.size(); ++t) {
        for (std::size_t n = 0; n < portions[t].keys.size(); ++n)
            by_rank[t][rank_of(portions[t].keys[n])] = portions[t].counts[n];
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

} // namespace

namespace {

// Numbers the scores of every portion and lays them out in write order, all stopping at the
// first sign that counting does not pay (more than `limit` scores); every key is then put back
// and nothing is returned.
std::optional<score_layout> number_and_lay_out(record_runs& runs, const row_portions& portions, std::size_t parts,
                                               std::size_t limit, const std::atomic<bool>* cancel) {
    std::vector<portion_scores> scores(parts);
    std::atomic<bool> unsuitable{false};
    for_each_part(parts, [&](std::size_t t) {
        if (!number_scores(runs, portions, t, limit, unsuitable, cancel, scores[t])) unsuitable = true;
    });
    stop_if_cancelled(cancel);
    score_layout layout;
    if (!unsuitable) {
        layout = lay_out_scores(scores, limit);
        unsuitable = layout.keys.size() > limit;
    }
    if (unsuitable) {
        for_each_part(parts, [&](std::size_t t) { restore_keys(runs, portions, t, scores[t]); });
        return std::nullopt;
    }
    return layout;
}

// Places every tie at its score's next position, portion by portion in tie order.
void place_ties(record_runs& runs, const row_portions& portions, std::size_t parts, score_layout& layout,
                std::span<std::uint64_t> ties, const std::atomic<bool>* cancel) {
    for_each_part(parts, [&](std::size_t t) {
        std::size_t* next = layout.next[t].data();
        row_orderer orderer;
        visit_rows_in_order(runs, portions, t, [&](score_record* first, score_record* last) {
            orderer.visit_in_order(first, last,
                                   [&](const score_record& record) { ties[next[record.key]++] = record.tie; });
            return !is_set(cancel);
        });
    });
    stop_if_cancelled(cancel);
}

// Hands the `total` placed ties over in pieces of `piece`, each within one score, on `parts`
// threads.
void hand_over_ties(const score_layout& layout, std::span<std::uint64_t> ties, std::size_t total, std::size_t parts,
                    std::size_t piece, const equal_score_taker& take, const std::atomic<bool>* cancel) {
    std::atomic<std::size_t> next_piece{0};
    for_each_part(parts, [&](std::size_t) {
        for (std::size_t from; !is_set(cancel) && (from = next_piece.fetch_add(1) * piece) < total;) {
            const std::size_t to = std::min(total, from + piece);
            std::size_t k =
                static_cast<std::size_t>(std::upper_bound(layout.starts.begin(), layout.starts.end(), from) -
                                         layout.starts.begin()) -
                1;
            for (std::size_t first = from; first < to; ++k) {
                const std::size_t last = std::min(to, layout.starts[k + 1]);
                take(first, layout.keys[k], ties.subspan(first, last - first));
                first = last;
            }
        }
    });
    stop_if_cancelled(cancel);
}

} // namespace

bool sort_by_counting(record_runs& runs, unsigned threads, std::span<std::uint64_t> ties, const equal_score_taker& take,
                      std::size_t records_per_score, const std::atomic<bool>* cancel) {
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
    std::optional<score_layout> layout = number_and_lay_out(runs, *portions, parts, limit, cancel);
    if (!layout) return false;
    place_ties(runs, *portions, parts, *layout, ties, cancel);
    const std::size_t piece = segment_size_for(runs, static_cast<unsigned>(parts), std::size_t{1} << 16);
    hand_over_ties(*layout, ties, total, parts, piece, take, cancel);
    return true;
}

} // namespace vornel
