#include "scorer/cli/progress_meter.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace vornel {

namespace {

// A terminal shows the bar after this long; logs get their first line after this long too, and
// then one line per this many seconds.
constexpr double bar_after_seconds = 2.0;
constexpr double line_every_seconds = 5.0;
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

}  // namespace

progress_meter::progress_meter(std::FILE* log, std::string step, const work_progress& progress)
    : log_(log), step_(std::move(step)), progress_(progress), terminal_(::isatty(::fileno(log)) == 1),
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
    if (bar) {
        const int filled = static_cast<int>(share * bar_width);
        text.append("[").append(std::size_t(filled), '#').append(std::size_t(bar_width - filled), '.').append("] ");
    }
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%", std::floor(share * 100));
    text += std::string(percent) + " after " + duration_text(elapsed);
    if (share > 0.01) text += ", about " + duration_text(elapsed * (1 - share) / share) + " left";
    return text;
}

void progress_meter::watch() {
    double next_line = line_every_seconds;
    std::unique_lock lock(mutex_);
    while (!stop_.wait_for(lock, std::chrono::milliseconds(terminal_ ? 250 : 500), [&] { return stopping_; })) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const std::uint64_t done = progress_.done.load(std::memory_order_relaxed);
        const std::uint64_t total = progress_.total.load(std::memory_order_relaxed);
        if (terminal_ && elapsed >= bar_after_seconds) {
            std::fprintf(log_, "\r%s\033[K", describe(step_, done, total, elapsed, true).c_str());
            std::fflush(log_);
            drawn_ = true;
        } else if (!terminal_ && elapsed >= next_line) {
            std::fprintf(log_, "%s\n", describe(step_, done, total, elapsed, false).c_str());
            next_line += line_every_seconds;
        }
    }
}

}  // namespace vornel
