#include "scorer/output.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vornel {

namespace {

// The temporary file to remove when the process is interrupted (one output per process).
char interrupted_cleanup_path[4096];
volatile std::sig_atomic_t interrupted_cleanup_armed = 0;

extern "C" void remove_temporary_and_reraise(int signal_number) {
    if (interrupted_cleanup_armed) ::unlink(interrupted_cleanup_path);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// An interrupt (Ctrl-C, kill) removes the temporary file instead of leaving it behind.
void arm_cleanup_on_interrupt(const std::string& temporary_path) {
    if (temporary_path.size() >= sizeof interrupted_cleanup_path) return;
    std::memcpy(interrupted_cleanup_path, temporary_path.c_str(), temporary_path.size() + 1);
    interrupted_cleanup_armed = 1;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal_number, remove_temporary_and_reraise);
}

void disarm_cleanup_on_interrupt() { interrupted_cleanup_armed = 0; }

std::string temporary_name_for(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + base + ".vornel-XXXXXX";
}

// Formatted text, filled without the zero-filling that growing a std::string would do.
class text_chunk {
public:
    text_chunk() = default;
    text_chunk(text_chunk&& other) noexcept
        : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    text_chunk& operator=(text_chunk&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }

    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }

    // A place to write up to `bytes` characters at the end; commit_to() then marks how far
    // they were written.
    char* make_room(std::size_t bytes) {
        if (size_ + bytes > capacity_) {
            const std::size_t wanted = std::max({size_ + bytes, 2 * capacity_, first_capacity});
            std::unique_ptr<char[]> larger(new char[wanted]);
            std::copy(data_.get(), data_.get() + size_, larger.get());
            data_ = std::move(larger);
            capacity_ = wanted;
        }
        return data_.get() + size_;
    }
    void commit_to(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

private:
    // A full chunk plus room for the line that crosses the limit, so a chunk rarely regrows.
    static constexpr std::size_t first_capacity = (std::size_t{1} << 20) + (std::size_t{1} << 12);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Characters one line may need beyond the two identifiers: two tabs, a newline and the longest
// shortest-form double (24 characters).
constexpr std::size_t line_overhead = 32;

std::pair<std::string_view, std::string_view> pair_names(const score_record& record, const pair_naming& naming) {
    if (naming.listed) {
        const auto& pair = naming.listed->pairs[record.tie];
        return {naming.net->name(pair.first), naming.net->name(pair.second)};
    }
    return {naming.net->name(static_cast<std::uint32_t>(record.tie >> 32)),
            naming.net->name(static_cast<std::uint32_t>(record.tie & 0xffffffffu))};
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
void append_line(text_chunk& text, const score_record& record, const pair_naming& naming,
                 score_text_cache& scores) {
    const auto [a, b] = pair_names(record, naming);
    const std::string_view score = scores.text_of(record);
    char* out = text.make_room(a.size() + b.size() + line_overhead);
    out = std::copy(a.begin(), a.end(), out);
    *out++ = '\t';
    out = std::copy(b.begin(), b.end(), out);
    *out++ = '\t';
    out = std::copy(score.begin(), score.end(), out);
    *out++ = '\n';
    text.commit_to(out);
}

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

// Runs fn(r) for every run r, each on a thread of its own.
template <class Fn>
void for_each_run_in_parallel(std::size_t runs, Fn fn) {
    std::vector<std::thread> helpers;
    for (std::size_t r = 1; r < runs; ++r) helpers.emplace_back(fn, r);
    if (runs > 0) fn(0);
    for (auto& helper : helpers) helper.join();
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

// The smallest and largest value(field) over the ranges.
template <class Field>
std::pair<std::uint64_t, std::uint64_t> value_range(const record_runs& runs, const run_ranges& ranges, Field field) {
    std::vector<std::uint64_t> lows(runs.size(), ~std::uint64_t{0});
    std::vector<std::uint64_t> highs(runs.size(), 0);
    for_each_run_in_parallel(runs.size(), [&](std::size_t r) {
        for (std::size_t i = ranges.first[r]; i < ranges.last[r]; ++i) {
            lows[r] = std::min(lows[r], field(runs[r][i]));
            highs[r] = std::max(highs[r], field(runs[r][i]));
        }
    });
    return {*std::min_element(lows.begin(), lows.end()), *std::max_element(highs.begin(), highs.end())};
}

// Reorders records [first, last) so that their buckets are contiguous and in order (in-place
// radix partitioning); returns the start of every bucket, plus `last`.
template <class Field>
std::vector<std::size_t> partition_range(score_record* data, std::size_t first, std::size_t last,
                                         const bucket_scheme& scheme, Field field) {
    std::vector<std::size_t> starts(scheme.count + 1, 0);
    for (std::size_t i = first; i < last; ++i) ++starts[scheme.of(field(data[i])) + 1];
    starts[0] = first;
    for (std::size_t b = 0; b < scheme.count; ++b) starts[b + 1] += starts[b];
    std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
    for (std::size_t b = 0; b < scheme.count; ++b) {
        while (next[b] < starts[b + 1]) {
            score_record moving = data[next[b]];
            std::size_t target = scheme.of(field(moving));
            while (target != b) {
                std::swap(moving, data[next[target]++]);
                target = scheme.of(field(moving));
            }
            data[next[b]++] = moving;
        }
    }
    return starts;
}

struct segment_plan {
    std::vector<std::vector<std::size_t>> bounds;  // bounds[segment][run]: start in that run
    std::size_t segment_count() const { return bounds.size() - 1; }
};

// Partitions the ranges of all runs by `field` into buckets; returns, for every bucket, its
// start in every run: starts[bucket][run], plus the ends.
template <class Field>
std::vector<std::vector<std::size_t>> partition_runs(record_runs& runs, const run_ranges& ranges, Field field) {
    const auto [low, high] = value_range(runs, ranges, field);
    const bucket_scheme scheme = scheme_for_range(low, high);
    std::vector<std::vector<std::size_t>> by_run(runs.size());
    for_each_run_in_parallel(runs.size(), [&](std::size_t r) {
        by_run[r] = partition_range(runs[r].begin(), ranges.first[r], ranges.last[r], scheme, field);
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

segment_plan plan_segments(record_runs& runs, std::size_t records_per_segment) {
    segment_plan plan;
    if (runs.empty()) return plan;
    run_ranges all{std::vector<std::size_t>(runs.size(), 0), {}};
    for (const auto& run : runs) all.last.push_back(run.size());
    const auto by_key = partition_runs(runs, all, [](const score_record& x) { return x.key; });

    // Units of work in output order: key buckets, or tie buckets of a big single-score bucket.
    std::vector<std::vector<std::size_t>> units;
    for (std::size_t b = 0; b + 1 < by_key.size(); ++b) {
        const run_ranges bucket{by_key[b], by_key[b + 1]};
        if (bucket.size() > 4 * records_per_segment && holds_one_score(runs, bucket)) {
            auto by_tie = partition_runs(runs, bucket, [](const score_record& x) { return x.tie; });
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
            helpers.emplace_back(sort_part, r);
        } else {
            sort_part(r);
        }
    }
    if (!runs.empty()) sort_part(0);
    for (auto& helper : helpers) helper.join();
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
template <class Emit>
bool format_segment(const record_runs& runs, const segment_plan& plan, std::size_t segment,
                    const pair_naming& naming, text_chunk& text, Emit emit) {
    score_text_cache scores;
    const bool merged = merge_segment(runs, plan, segment, [&](const score_record& record) {
        append_line(text, record, naming, scores);
        return text.size() < chunk_bytes || emit(text);
    });
    return merged && (text.empty() || emit(text));
}

// Formatted text passes from the formatting threads to the writing thread in chunks. Segment i
// uses slot i % size; the writer takes the chunks of segment 0, then of segment 1, and so on, so
// the file keeps the sorted order while several segments are formatted at once. Each slot holds
// a few chunks at most, which bounds memory however large a segment is.
class chunk_ring {
public:
    explicit chunk_ring(std::size_t size) : slots_(size) {}

    // Blocks until segment i may use its slot; false when writing has stopped.
    bool acquire(std::size_t i) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || i < written_ + slots_.size(); });
        return !stopped_;
    }
    // Hands a chunk of segment i to the writer, waiting while the slot is full; returns an empty
    // string to fill next. False when writing has stopped.
    bool push(std::size_t i, text_chunk& chunk) {
        std::unique_lock lock(mutex_);
        slot& s = slots_[i % slots_.size()];
        changed_.wait(lock, [&] { return stopped_ || s.chunks.size() < max_pending; });
        if (stopped_) return false;
        s.chunks.push_back(std::move(chunk));
        chunk = take_spare();
        changed_.notify_all();
        return true;
    }
    void finish(std::size_t i) {
        std::lock_guard lock(mutex_);
        slots_[i % slots_.size()].done = true;
        changed_.notify_all();
    }
    // Writer side: the next chunk of segment i, or false once the segment is complete.
    bool pop(std::size_t i, text_chunk& chunk) {
        std::unique_lock lock(mutex_);
        slot& s = slots_[i % slots_.size()];
        changed_.wait(lock, [&] { return !s.chunks.empty() || s.done; });
        if (s.chunks.empty()) return false;
        spares_.push_back(std::move(chunk));
        chunk = std::move(s.chunks.front());
        s.chunks.pop_front();
        changed_.notify_all();
        return true;
    }
    // Writer side: segment i is written; its slot goes to segment i + size.
    void release(std::size_t i) {
        std::lock_guard lock(mutex_);
        slots_[i % slots_.size()].done = false;
        written_ = i + 1;
        changed_.notify_all();
    }
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    static constexpr std::size_t max_pending = 4;
    struct slot {
        std::deque<text_chunk> chunks;
        bool done = false;
    };
    text_chunk take_spare() {
        if (spares_.empty()) return {};
        text_chunk spare = std::move(spares_.back());
        spares_.pop_back();
        spare.clear();
        return spare;
    }

    std::vector<slot> slots_;
    std::vector<text_chunk> spares_;  // written chunks, kept for their capacity
    std::size_t written_ = 0;
    bool stopped_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace

output_file::output_file(std::string path) : path_(std::move(path)) {
    temporary_path_ = temporary_name_for(path_);
    fd_ = ::mkostemp(temporary_path_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = path_ + ": cannot create a file in its directory: " + std::strerror(errno);
        return;
    }
    created_ = true;
    arm_cleanup_on_interrupt(temporary_path_);
    // mkostemp creates the file private to its owner; give it the usual permissions instead.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

output_file::~output_file() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !committed_) ::unlink(temporary_path_.c_str());
    if (created_) disarm_cleanup_on_interrupt();
}

bool output_file::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd_, data, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            error_ = path_ + ": cannot write: " + std::strerror(errno);
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool output_file::commit() {
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        error_ = path_ + ": cannot write: " + std::strerror(errno);
        return false;
    }
    if (::rename(temporary_path_.c_str(), path_.c_str()) != 0) {
        error_ = path_ + ": cannot rename the finished file into place: " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    disarm_cleanup_on_interrupt();
    return true;
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

bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          std::size_t records_per_segment) {
    threads = std::max(1u, threads);
    const segment_plan plan = plan_segments(runs, segment_size_for(runs, threads, records_per_segment));
    const std::size_t segments = plan.segment_count();
    chunk_ring ring(2 * threads);
    std::atomic<std::size_t> next_segment{0};

    auto format_all = [&] {
        text_chunk text;
        for (;;) {
            const std::size_t i = next_segment.fetch_add(1);
            if (i >= segments || !ring.acquire(i)) return;
            sort_segment(runs, plan, i);
            if (!format_segment(runs, plan, i, naming, text, [&](text_chunk& full) { return ring.push(i, full); })) {
                return;
            }
            ring.finish(i);
        }
    };
    std::vector<std::thread> formatters;
    for (unsigned t = 0; t < threads; ++t) formatters.emplace_back(format_all);

    bool ok = true;
    text_chunk chunk;
    for (std::size_t i = 0; i < segments && ok; ++i) {
        while (ok && ring.pop(i, chunk)) ok = out.write(chunk.data(), chunk.size());
        ring.release(i);
    }
    ring.stop();
    for (auto& formatter : formatters) formatter.join();
    return ok;
}

void sort_records(record_runs& runs, unsigned threads, const sorted_part_taker& take,
                  std::size_t records_per_segment) {
    threads = std::max(1u, threads);
    const segment_plan plan = plan_segments(runs, segment_size_for(runs, threads, records_per_segment));
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
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(sort_all);
    sort_all();
    for (auto& helper : helpers) helper.join();
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
