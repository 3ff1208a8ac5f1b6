#include "scorer/output/text_writer.hpp"

#include "scorer/output/chunk_ring.hpp"
#include "scorer/output/graphml.hpp"
#include "scorer/output/gzip_chunks.hpp"
#include "scorer/output/segment_sort.hpp"

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
    return vornel::pair_of(record.tie);
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
void append_line(text_chunk& text, const score_record& record, const pair_naming& naming, score_text_cache& scores) {
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

// Merges the runs' sorted parts of one segment and formats them, in order, as chunks passed to
// `emit(text)` (which returns false to stop early).
template <line_style Style, class Emit>
bool format_segment(const record_runs& runs, const segment_plan& plan, std::size_t segment, const pair_naming& naming,
                    text_chunk& text, Emit emit) {
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

} // namespace

output_encoding encoding_for_path(std::string_view path) {
    const auto ends_with = [&](std::string_view suffix) {
        if (path.size() < suffix.size()) return false;
        const std::string_view tail = path.substr(path.size() - suffix.size());
        return std::equal(tail.begin(), tail.end(), suffix.begin(),
                          [](char x, char y) { return (x >= 'A' && x <= 'Z' ? char(x - 'A' + 'a') : x) == y; });
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
    helper_threads formatters(threads, format_all);
    if (formatters.size() == 0)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));

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
    formatters.join();
    if (failure) std::rethrow_exception(failure);
    return ok;
}

} // namespace vornel
