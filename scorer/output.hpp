#pragma once

#include "scorer/network.hpp"
#include "scorer/output_file.hpp"
#include "scorer/row_engine.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vornel {

// Where the identifiers of a record's pair come from: the network's ids for candidates, the
// listed pair in its first orientation otherwise.
struct pair_naming {
    const network* net = nullptr;
    const listed_pairs* listed = nullptr;
    // --names: readable names by protein id, written as a fourth column "nameA|nameB".
    const std::vector<std::string>* readable = nullptr;
};

// How OUTPUT's text is laid out and stored.
enum class line_style { tab_separated, graphml };
struct output_encoding {
    line_style lines = line_style::tab_separated;
    bool gzip = false;     // compressed on the formatting threads into one gzip member
    std::string prologue;  // text before the first line (GraphML: the header and the nodes)
    std::string epilogue;  // text after the last line
};

// The encoding OUTPUT's name asks for: a name ending in ".gz" is written gzip-compressed, and
// one ending in ".graphml" (or ".graphml.gz") as GraphML; letters in either case.
output_encoding encoding_for_path(std::string_view path);

// Writes every record of the runs, best first, as "A<TAB>B<TAB>score\n" with the shortest
// decimal form that reads back to the same double. The runs are reordered in place (radix
// partition by score, then sorted pieces); sorting and formatting are spread over `threads`
// threads while the calling thread writes, in order. `records_per_segment` caps the size of the
// independently sorted pieces (smaller outputs get smaller pieces; tests make it small). Returns false when a write fails
// (out.error() says why).
bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads,
                          output_file& out, std::size_t records_per_segment = std::size_t{1} << 18);

// The same in the given encoding (its prologue and epilogue written around the lines).
bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          const output_encoding& encoding, std::size_t records_per_segment = std::size_t{1} << 18);

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
    using head = std::pair<score_record, std::size_t>;  // a run's next record and the run
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

}  // namespace vornel
