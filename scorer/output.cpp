#include "scorer/output.hpp"

#include "scorer/graphml.hpp"
#include "scorer/gzip_chunks.hpp"
#include "scorer/output_ring.hpp"
#include "scorer/output_sort.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace vornel {

namespace {

// Characters one line may need beyond the two identifiers: two tabs, a newline and the longest
// shortest-form double (24 characters).
constexpr std::size_t line_overhead = 32;

pair_ids pair_of(const score_record& record, const pair_naming& naming) {
    if (naming.listed) return naming.listed->pairs[record.tie];
    return {static_cast<std::uint32_t>(record.tie >> 32), static_cast<std::uint32_t>(record.tie & 0xffffffffu)};
}

std::pair<std::string_view, std::string_view> pair_names(const score_record& record, const pair_naming& naming) {
    const pair_ids pair = pair_of(record, naming);
    return {naming.net->name(pair.first), naming.net->name(pair.second)};
}

// The fourth column of --names: a tab and "nameA|nameB".
void append_readable(text_chunk& text, const score_record& record, const pair_naming& naming) {
    const pair_ids pair = pair_of(record, naming);
    const std::string& a = (*naming.readable)[pair.first];
    const std::string& b = (*naming.readable)[pair.second];
    char* out = text.make_room(a.size() + b.size() + 2);
    *out++ = '\t';
    out = std::copy(a.begin(), a.end(), out);
    *out++ = '|';
    out = std::copy(b.begin(), b.end(), out);
    text.commit_to(out);
}

// The text of the score last formatted. Lines come sorted by score, and many pairs share a
// score (counts and their ratios), so most lines reuse the previous line's digits instead of
// running the shortest-form conversion again.
class score_text_cache {
public:
    std::string_view text_of(const score_record& record) {
        if (record.key != key_ || length_ == 0) {
            key_ = record.key;
            length_ = static_cast<std::size_t>(std::to_chars(digits_, digits_ + sizeof digits_, score_of(record)).ptr -
                                               digits_);
        }
        return {digits_, length_};
    }

private:
    std::uint64_t key_ = 0;
    std::size_t length_ = 0;
    char digits_[32];
};

// Appends a line at the end of `text`, growing it as needed.
template <line_style Style>
void append_line(text_chunk& text, const score_record& record, const pair_naming& naming,
                 score_text_cache& scores) {
    const auto [a, b] = pair_names(record, naming);
    const std::string_view score = scores.text_of(record);
    if constexpr (Style == line_style::graphml) {
        char* out = text.make_room(escaped_size_bound(a.size() + b.size()) + 128);
        out = append_edge_start(out, a, b);
        out = std::copy(score.begin(), score.end(), out);
        out = std::copy(graphml_edge_end.begin(), graphml_edge_end.end(), out);
        text.commit_to(out);
        return;
    }
    char* out = text.make_room(a.size() + b.size() + line_overhead);
    out = std::copy(a.begin(), a.end(), out);
    *out++ = '\t';
    out = std::copy(b.begin(), b.end(), out);
    *out++ = '\t';
    out = std::copy(score.begin(), score.end(), out);
    if (naming.readable) {
        text.commit_to(out);
        append_readable(text, record, naming);
        out = text.make_room(1);
    }
    *out++ = '\n';
    text.commit_to(out);
}

// Text is handed to the writer in chunks of about this size.
constexpr std::size_t chunk_bytes = std::size_t{1} << 20;

// Calls take(record) for the records of the runs' sorted parts of one segment, merged in
// order, until take returns false; returns false then. A few runs are merged by scanning their
// heads; many (one per core on a big machine) through a heap.
template <class Take>
bool merge_segment(const record_runs& runs, const segment_plan& plan, std::size_t segment, Take take) {
    struct cursor {
        const score_record* next;
        const score_record* stop;
    };
    std::vector<cursor> cursors;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::size_t from = plan.bounds[segment][r];
        const std::size_t to = plan.bounds[segment + 1][r];
        if (from < to) cursors.push_back({runs[r].begin() + from, runs[r].begin() + to});
    }
    auto later = [](const cursor& x, const cursor& y) { return *y.next < *x.next; };
    constexpr std::size_t heap_from = 5;
    const bool use_heap = cursors.size() >= heap_from;
    if (use_heap) std::make_heap(cursors.begin(), cursors.end(), later);
    while (!cursors.empty()) {
        if (use_heap) {
            std::pop_heap(cursors.begin(), cursors.end(), later);
            cursor& best = cursors.back();
            if (!take(*best.next)) return false;
            if (++best.next == best.stop) {
                cursors.pop_back();
            } else {
                std::push_heap(cursors.begin(), cursors.end(), later);
            }
        } else {
            std::size_t best = 0;
            for (std::size_t i = 1; i < cursors.size(); ++i) {
                if (*cursors[i].next < *cursors[best].next) best = i;
            }
            if (!take(*cursors[best].next)) return false;
            if (++cursors[best].next == cursors[best].stop) cursors.erase(cursors.begin() + std::ptrdiff_t(best));
        }
    }
    return true;
}

// Merges the runs' sorted parts of one segment and formats them, in order, as chunks passed to
// `emit(text)` (which returns false to stop early).
template <line_style Style, class Emit>
bool format_segment(const record_runs& runs, const segment_plan& plan, std::size_t segment,
                    const pair_naming& naming, text_chunk& text, Emit emit) {
    score_text_cache scores;
    const bool merged = merge_segment(runs, plan, segment, [&](const score_record& record) {
        append_line<Style>(text, record, naming, scores);
        return text.size() < chunk_bytes || emit(text);
    });
    return merged && (text.empty() || emit(text));
}


// Formats segment i into the ring, compressing each full chunk first when the output is gzip.
class segment_formatter {
public:
    segment_formatter(const record_runs& runs, const pair_naming& naming, const output_encoding& encoding)
        : runs_(runs), naming_(naming), encoding_(encoding) {
        if (encoding.gzip) deflater_ = std::make_unique<chunk_deflater>();
    }
    // False when writing has stopped.
    bool format(const segment_plan& plan, std::size_t i, chunk_ring& ring) {
        const auto emit = [&](text_chunk& full) {
            if (!deflater_) return ring.push(i, full);
            deflater_->compress(full, packed_);
            full.clear();
            return ring.push(i, packed_);
        };
        if (encoding_.lines == line_style::graphml) {
            return format_segment<line_style::graphml>(runs_, plan, i, naming_, text_, emit);
        }
        return format_segment<line_style::tab_separated>(runs_, plan, i, naming_, text_, emit);
    }

private:
    const record_runs& runs_;
    const pair_naming& naming_;
    const output_encoding& encoding_;
    std::unique_ptr<chunk_deflater> deflater_;
    text_chunk text_;
    text_chunk packed_;
};

// The writing side: the chunks of every segment in order, behind the encoding's prologue and
// ahead of its epilogue; with gzip inside one member (the writer compresses those two itself).
class ordered_writer {
public:
    ordered_writer(output_file& out, const output_encoding& encoding) : out_(out), encoding_(encoding) {}

    bool start() {
        if (encoding_.gzip && !write_bytes(gzip_member::header())) return false;
        return write_text(encoding_.prologue);
    }
    bool write_chunk(const text_chunk& chunk) {
        if (encoding_.gzip) member_.add(chunk);
        return out_.write(chunk.data(), chunk.size());
    }
    bool finish() {
        if (!write_text(encoding_.epilogue)) return false;
        return !encoding_.gzip || write_bytes(member_.trailer());
    }

private:
    bool write_bytes(const std::string& bytes) { return out_.write(bytes.data(), bytes.size()); }
    bool write_text(const std::string& text) {
        if (text.empty()) return true;
        if (!encoding_.gzip) return write_bytes(text);
        text_chunk plain;
        char* at = plain.make_room(text.size());
        plain.commit_to(std::copy(text.begin(), text.end(), at));
        text_chunk packed;
        chunk_deflater().compress(plain, packed);
        return write_chunk(packed);
    }

    output_file& out_;
    const output_encoding& encoding_;
    gzip_member member_;
};

}  // namespace

output_encoding encoding_for_path(std::string_view path) {
    const auto ends_with = [&](std::string_view suffix) {
        if (path.size() < suffix.size()) return false;
        const std::string_view tail = path.substr(path.size() - suffix.size());
        return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char x, char y) {
            return (x >= 'A' && x <= 'Z' ? char(x - 'A' + 'a') : x) == y;
        });
    };
    output_encoding encoding;
    encoding.gzip = ends_with(".gz");
    if (encoding.gzip) path.remove_suffix(3);
    if (ends_with(".graphml")) encoding.lines = line_style::graphml;
    return encoding;
}

bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          std::size_t records_per_segment) {
    return write_sorted_records(runs, naming, threads, out, output_encoding{}, records_per_segment);
}

bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          const output_encoding& encoding, std::size_t records_per_segment) {
    threads = std::max(1u, threads);
    const segment_plan plan = plan_segments(runs, segment_size_for(runs, threads, records_per_segment));
    const std::size_t segments = plan.segment_count();
    chunk_ring ring(2 * threads);
    std::atomic<std::size_t> next_segment{0};

    // A formatter that fails (no memory for a chunk) stops the ring, so the writer and the
    // other formatters end too; its exception is rethrown once all have stopped.
    std::exception_ptr failure;
    std::mutex failure_mutex;
    auto format_all = [&] {
        try {
            segment_formatter formatter(runs, naming, encoding);
            for (;;) {
                const std::size_t i = next_segment.fetch_add(1);
                if (i >= segments || !ring.acquire(i)) return;
                sort_segment(runs, plan, i);
                if (!formatter.format(plan, i, ring)) return;
                ring.finish(i);
            }
        } catch (...) {
            std::lock_guard lock(failure_mutex);
            if (!failure) failure = std::current_exception();
            ring.stop();
        }
    };
    std::vector<std::thread> formatters;
    for (unsigned t = 0; t < threads && try_start_thread(formatters, format_all); ++t) {
    }
    if (formatters.empty()) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));

    bool ok = true;
    try {
        ordered_writer writer(out, encoding);
        ok = writer.start();
        work_progress* const progress = reported_progress;
        if (progress) progress->total.fetch_add(segments);
        text_chunk chunk;
        for (std::size_t i = 0; i < segments && ok; ++i) {
            while (ok && ring.pop(i, chunk)) ok = writer.write_chunk(chunk);
            ring.release(i);
            if (progress) progress->done.fetch_add(1, std::memory_order_relaxed);
        }
        ok = ok && writer.finish();
    } catch (...) {
        std::lock_guard lock(failure_mutex);
        if (!failure) failure = std::current_exception();
    }
    ring.stop();
    for (auto& formatter : formatters) formatter.join();
    if (failure) std::rethrow_exception(failure);
    return ok;
}

void sort_records(record_runs& runs, unsigned threads, const sorted_part_taker& take,
                  std::size_t records_per_segment, const std::atomic<bool>* cancel) {
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
            if (cancel && cancel->load()) return;
            sort_segment(runs, plan, i);
            merged.clear();
            merge_segment(runs, plan, i, [&](const score_record& record) {
                merged.push_back(record);
                return true;
            });
            take(position[i], merged);
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads && try_start_thread(helpers, sort_all); ++t) {
    }
    sort_all();
    for (auto& helper : helpers) helper.join();
    stop_if_cancelled(cancel);
}

void order_runs(record_runs& runs, std::size_t top) {
    for_each_run_in_parallel(runs.size(), [&](std::size_t r) {
        record_buffer& run = runs[r];
        if (top < run.size()) {
            std::partial_sort(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(top), run.end());
        } else {
            std::sort(run.begin(), run.end());
        }
    });
}

}  // namespace vornel
