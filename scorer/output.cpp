#include "scorer/output.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vornel {

namespace {

std::string temporary_name_for(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + base + ".vornel-XXXXXX";
}

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

// Appends a line at the end of `text`, growing it as needed.
void append_line(std::string& text, const score_record& record, const pair_naming& naming) {
    const auto [a, b] = pair_names(record, naming);
    const std::size_t used = text.size();
    const std::size_t needed = used + a.size() + b.size() + line_overhead;
    if (needed > text.capacity()) text.reserve(std::max(needed, text.capacity() * 2));
    text.resize(needed);
    char* out = text.data() + used;
    out = std::copy(a.begin(), a.end(), out);
    *out++ = '\t';
    out = std::copy(b.begin(), b.end(), out);
    *out++ = '\t';
    out = std::to_chars(out, text.data() + text.size(), score_of(record)).ptr;
    *out++ = '\n';
    text.resize(static_cast<std::size_t>(out - text.data()));
}

// The records of each run between two splitters form one independent piece of the output.
struct segment_plan {
    std::vector<std::vector<std::size_t>> bounds;  // bounds[segment][run]: start in that run
    std::size_t segment_count() const { return bounds.size() - 1; }
};

segment_plan plan_segments(const record_runs& runs, std::size_t records_per_segment) {
    std::size_t largest = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].size() > runs[largest].size()) largest = r;
    }
    const std::size_t step = std::max<std::size_t>(1, records_per_segment / std::max<std::size_t>(1, runs.size()));
    segment_plan plan;
    plan.bounds.push_back(std::vector<std::size_t>(runs.size(), 0));
    for (std::size_t at = step; at < runs[largest].size(); at += step) {
        const score_record splitter = runs[largest][at];
        std::vector<std::size_t> cut(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r) {
            cut[r] = static_cast<std::size_t>(std::lower_bound(runs[r].begin(), runs[r].end(), splitter) -
                                              runs[r].begin());
        }
        plan.bounds.push_back(std::move(cut));
    }
    std::vector<std::size_t> ends(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) ends[r] = runs[r].size();
    plan.bounds.push_back(std::move(ends));
    return plan;
}

// Merges the runs' parts of one segment and formats them, in order, into `text`.
void format_segment(const record_runs& runs, const segment_plan& plan, std::size_t segment,
                    const pair_naming& naming, std::string& text) {
    text.clear();
    std::vector<const score_record*> next, stop;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::size_t from = plan.bounds[segment][r];
        const std::size_t to = plan.bounds[segment + 1][r];
        if (from < to) {
            next.push_back(runs[r].begin() + from);
            stop.push_back(runs[r].begin() + to);
        }
    }
    while (!next.empty()) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < next.size(); ++i) {
            if (*next[i] < *next[best]) best = i;
        }
        append_line(text, *next[best], naming);
        if (++next[best] == stop[best]) {
            next.erase(next.begin() + static_cast<std::ptrdiff_t>(best));
            stop.erase(stop.begin() + static_cast<std::ptrdiff_t>(best));
        }
    }
}

void sort_runs(record_runs& runs) {
    std::vector<std::thread> sorters;
    for (std::size_t r = 1; r < runs.size(); ++r) {
        sorters.emplace_back([&runs, r] { std::sort(runs[r].begin(), runs[r].end()); });
    }
    if (!runs.empty()) std::sort(runs[0].begin(), runs[0].end());
    for (auto& sorter : sorters) sorter.join();
}

// Formatted segments pass from the formatting threads to the writing thread through a ring of
// slots; segment i uses slot i % size and is written strictly in order.
class segment_ring {
public:
    explicit segment_ring(std::size_t size) : slots_(size), ready_(size, false) {}

    // Blocks until segment i may be formatted into its slot; false when writing has stopped.
    bool acquire(std::size_t i) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || i < written_ + slots_.size(); });
        return !stopped_;
    }
    std::string& slot(std::size_t i) { return slots_[i % slots_.size()]; }
    void publish(std::size_t i) {
        {
            std::lock_guard lock(mutex_);
            ready_[i % slots_.size()] = true;
        }
        changed_.notify_all();
    }
    // Blocks until segment i is formatted.
    void wait_ready(std::size_t i) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ready_[i % slots_.size()]; });
    }
    void release(std::size_t i) {
        {
            std::lock_guard lock(mutex_);
            ready_[i % slots_.size()] = false;
            written_ = i + 1;
        }
        changed_.notify_all();
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

private:
    std::vector<std::string> slots_;
    std::vector<bool> ready_;
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
    // mkostemp creates the file private to its owner; give it the usual permissions instead.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

output_file::~output_file() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !committed_) ::unlink(temporary_path_.c_str());
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
    return true;
}

bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                          std::size_t records_per_segment) {
    sort_runs(runs);
    const segment_plan plan = plan_segments(runs, records_per_segment);
    const std::size_t segments = plan.segment_count();
    threads = std::max(1u, threads);
    segment_ring ring(2 * threads);
    std::atomic<std::size_t> next_segment{0};

    auto format_all = [&] {
        for (;;) {
            const std::size_t i = next_segment.fetch_add(1);
            if (i >= segments || !ring.acquire(i)) return;
            format_segment(runs, plan, i, naming, ring.slot(i));
            ring.publish(i);
        }
    };
    std::vector<std::thread> formatters;
    for (unsigned t = 0; t < threads; ++t) formatters.emplace_back(format_all);

    bool ok = true;
    for (std::size_t i = 0; i < segments && ok; ++i) {
        ring.wait_ready(i);
        const std::string& text = ring.slot(i);
        ok = out.write(text.data(), text.size());
        ring.release(i);
    }
    ring.stop();
    for (auto& formatter : formatters) formatter.join();
    return ok;
}

}  // namespace vornel
