// The choice among the ways of putting the returned rows in order: none at all, a selection of
// the best few merged from every run, or a sort of every record (by counting where the method
// has few distinct scores, else by comparison).
#include "result_rows.hpp"

#include "scorer/output/text_writer.hpp"
#include "scorer/output/record_order.hpp"
#include "scorer/methods/record_selection.hpp"

#include <algorithm>
#include <atomic>
#include <span>

namespace vornel::python {
namespace {

// Grows `column` to `size` zeroed elements in steps, stopping (scoring_cancelled) when `cancel`
// is set: filling the gigabytes of a large result takes seconds.
template <class T>
void resize_interruptibly(big_vector<T>& column, std::size_t size, const std::atomic<bool>* cancel) {
    constexpr std::size_t step = std::size_t{1} << 24;
    column.reserve(size);
    while (column.size() < size) {
        stop_if_cancelled(cancel);
        column.resize(std::min(size, column.size() + step));
    }
}

// The pair a record's tie stands for.
pair_ids pair_of(std::uint64_t tie, const listed_pairs* listed) {
    return listed ? listed->pairs[tie] : vornel::pair_of(tie);
}

// The method's records: all of them, or with `top` the best `top`, picked as the threads make
// them (as for the program's --top), so memory stays at the network and the selection.
record_runs scored_runs(const method_entry& method, scoring_job& job, std::optional<std::size_t> top) {
    if (!top) return method.score(job);
    record_selection selection(record_bound{*top, std::nullopt}, job.threads);
    selection.attach(job);
    record_runs runs = method.score(job);
    hand_over_rest(runs);
    runs.clear();
    return selection.release();
}

// Records as the runs hold them, the first `rows` of them: no sort at all.
template <class Code>
void fill_unordered(const record_runs& runs, const listed_pairs* listed, std::size_t rows, result_rows<Code>& out) {
    std::size_t i = 0;
    for (const auto& run : runs) {
        for (const score_record& record : run) {
            if (i == rows) return;
            out.put(i++, pair_of(record.tie, listed), record.key);
        }
    }
}

// A few best records: selected in every run, then merged; the rest are never sorted.
template <class Code>
void fill_best(record_runs& runs, const listed_pairs* listed, std::size_t rows, result_rows<Code>& out) {
    order_runs(runs, rows);
    std::size_t i = 0;
    merge_ordered_runs(runs, rows, [&](const score_record& record) {
        out.put(i, pair_of(record.tie, listed), record.key);
        ++i;
    });
}

// Every record sorted, the first `rows` kept. The counting sort first places every record's
// tie in the score column; each piece of ties handed over is overwritten by its rows (a
// position read before it is written).
template <class Code>
void fill_sorted(record_runs& runs, const scoring_job& job, std::size_t rows, result_rows<Code>& out) {
    const listed_pairs* listed = job.listed;
    const bool counted = sort_by_counting(
        runs, job.threads, out.score_bits,
        [&](std::size_t first, std::uint64_t key, std::span<const std::uint64_t> ties) {
            const std::size_t stop = std::min(ties.size(), rows - std::min(rows, first));
            for (std::size_t i = 0; i < stop; ++i) {
                out.put(first + i, pair_of(ties[i], listed), key);
            }
        },
        8, job.cancel);
    if (!counted) {
        sort_records(
            runs, job.threads,
            [&](std::size_t first, std::span<const score_record> part) {
                for (std::size_t i = 0; i < part.size() && first + i < rows; ++i) {
                    out.put(first + i, pair_of(part[i].tie, listed), part[i].key);
                }
            },
            std::size_t{1} << 18, job.cancel);
    }
    out.score_bits.resize(rows);
}

} // namespace

template <class Code>
result_rows<Code> score_into_rows(const method_entry& method, scoring_job& job, std::optional<std::size_t> top,
                                  bool ordered) {
    record_runs runs = scored_runs(method, job, top);
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    const std::size_t rows = std::min(total, top.value_or(total));
    const bool sort_all = ordered && rows >= total / 2;
    result_rows<Code> out;
    resize_interruptibly(out.a, rows, job.cancel);
    resize_interruptibly(out.b, rows, job.cancel);
    // Sorting all, the counting sort first places every record's tie in the score column.
    resize_interruptibly(out.score_bits, sort_all ? total : rows, job.cancel);
    if (!ordered) {
        fill_unordered(runs, job.listed, rows, out);
    } else if (!sort_all) {
        fill_best(runs, job.listed, rows, out);
    } else {
        fill_sorted(runs, job, rows, out);
    }
    return out;
}

template result_rows<std::int8_t> score_into_rows(const method_entry&, scoring_job&, std::optional<std::size_t>, bool);
template result_rows<std::int16_t> score_into_rows(const method_entry&, scoring_job&, std::optional<std::size_t>, bool);
template result_rows<std::int32_t> score_into_rows(const method_entry&, scoring_job&, std::optional<std::size_t>, bool);

} // namespace vornel::python
