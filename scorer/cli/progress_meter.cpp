#include "scorer/cli/progress_meter.hpp"

#include "io/block_reader.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace vornel {

namespace {

constexpr int bar_width = 30;

std::string duration_text(double seconds) {
    char text[32];
    if (seconds < 100) {
        std::snprintf(text, sizeof text, "%.0f s", seconds);
    } else {
        const auto whole = static_cast<long long>(std::llround(seconds));
        std::snprintf(text, sizeof text, "%lldm%02llds", whole / 60, whole % 60);
    }
    return text;
}

// How often the meter looks at the counters: often enough for the bar to move smoothly and for
// a log's lines to come on time.
std::chrono::milliseconds poll_interval(bool terminal, const progress_timing& timing) {
    const double every = terminal ? 0.25 : std::min(0.5, timing.line_every / 4);
    return std::chrono::milliseconds(std::max<long long>(1, std::llround(every * 1000)));
}

// The size of the regular file at `path`; 0 for anything else.
std::uint64_t regular_file_size(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace

progress_meter::progress_meter(std::FILE* log, std::string step, const work_progress& progress, progress_timing timing)
    : progress_meter(
          log,
          [step = std::move(step), &progress](double elapsed, bool bar) {
              return describe(step, progress.done.load(std::memory_order_relaxed),
                              progress.total.load(std::memory_order_relaxed), elapsed, bar);
          },
          timing) {}

progress_meter::progress_meter(std::FILE* log, text_source text, progress_timing timing)
    : log_(log), text_(std::move(text)), timing_(timing), terminal_(::isatty(::fileno(log)) == 1),
      start_(std::chrono::steady_clock::now()) {
    // Without a thread there is no meter: the step runs as before.
    try {
        thread_ = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
    }
}

progress_meter::~progress_meter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (drawn_) std::fputs("\r\033[K", log_);  // the bar goes; the step's own report follows
}

std::string progress_meter::describe(const std::string& step, std::uint64_t done, std::uint64_t total, double elapsed,
                                     bool bar) {
    const double share = total == 0 ? 0.0 : std::min(1.0, double(done) / double(total));
    // Appended piecewise: "literal" + std::string draws a false -Wrestrict from g++ 12.
    std::string text = "vornel: ";
    text.append(step).append(": ");
    if (bar) text += bar_of(share);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%", std::floor(share * 100));
    text += std::string(percent) + " after " + duration_text(elapsed);
    if (share > 0.01) text += ", about " + duration_text(elapsed * (1 - share) / share) + " left";
    return text;
}

std::string progress_meter::duration(double seconds) { return duration_text(seconds); }

std::string progress_meter::bar_of(double share) {
    const int filled = static_cast<int>(std::clamp(share, 0.0, 1.0) * bar_width);
    std::string text = "[";
    text.append(std::size_t(filled), '#').append(std::size_t(bar_width - filled), '.').append("] ");
    return text;
}

void progress_meter::watch() {
    double next_line = timing_.line_every;
    const auto poll = poll_interval(terminal_, timing_);
    std::unique_lock lock(mutex_);
    while (!stop_.wait_for(lock, poll, [&] { return stopping_; })) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        if (terminal_ && elapsed >= timing_.bar_after) {
            std::fprintf(log_, "\r%s\033[K", text_(elapsed, true).c_str());
            std::fflush(log_);
            drawn_ = true;
        } else if (!terminal_ && elapsed >= next_line) {
            std::fprintf(log_, "%s\n", text_(elapsed, false).c_str());
            next_line += timing_.line_every;
        }
    }
}

reading_meter::reading_meter(std::FILE* log, const std::string& path, progress_timing timing)
    : previous_(ppi::io::reported_file_position) {
    progress_.total = regular_file_size(path);
    if (progress_.total == 0) return;
    ppi::io::reported_file_position = &progress_.done;
    meter_.emplace(log, "reading " + path, progress_, timing);
}

reading_meter::~reading_meter() {
    meter_.reset();
    ppi::io::reported_file_position = previous_;
}

}  // namespace vornel
