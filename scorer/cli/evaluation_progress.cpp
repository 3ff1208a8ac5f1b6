#include "scorer/cli/evaluation_progress.hpp"

#include "scorer/cli/progress_meter.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace vornel {

namespace {

struct parsed_start {
    std::string phase;
    std::size_t repeat = 0; // from 1
    std::size_t repeats = 0;
};

// "proposal repeat 2/5: l3" -> proposal, 2, 5; nothing for any other line.
std::optional<parsed_start> parse_start(const std::string& line) {
    const std::string marker = " repeat ";
    const std::size_t at = line.find(marker);
    const std::size_t colon = line.find(": ", at == std::string::npos ? 0 : at);
    if (at == std::string::npos || at == 0 || colon == std::string::npos) return std::nullopt;
    parsed_start start;
    start.phase = line.substr(0, at);
    const char* first = line.data() + at + marker.size();
    const char* last = line.data() + colon;
    const auto slash = std::from_chars(first, last, start.repeat);
    if (slash.ec != std::errc() || slash.ptr == last || *slash.ptr != '/') return std::nullopt;
    const auto end = std::from_chars(slash.ptr + 1, last, start.repeats);
    if (end.ec != std::errc() || end.ptr != last || start.repeat == 0) return std::nullopt;
    return start;
}

double mean_of(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

std::string percent_text(double share) {
    char text[8];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<int>(std::floor(share * 100))).ptr;
    return std::string(text, end) + "%";
}

std::string count_text(std::size_t value) {
    char text[24];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

} // namespace

evaluation_progress::evaluation_progress(std::size_t methods, int repeats, int phases)
    : methods_(std::max<std::size_t>(1, methods)), repeats_(std::size_t(std::max(1, repeats))),
      phases_(std::size_t(std::max(1, phases))), times_(phases_, std::vector<std::vector<double>>(methods_)) {}

void evaluation_progress::finish_current(double seconds) {
    if (!current_) return;
    times_[current_->phase][current_->method].push_back(std::max(0.0, seconds - current_->seconds));
    ++finished_;
    current_.reset();
}

void evaluation_progress::note(const std::string& line, double seconds) {
    const std::optional<parsed_start> start = parse_start(line);
    std::lock_guard lock(mutex_);
    finish_current(seconds); // any line after a run's start ends that run ("done" ends the last)
    if (!start) return;
    auto known = std::find(phase_names_.begin(), phase_names_.end(), start->phase);
    if (known == phase_names_.end()) {
        if (phase_names_.size() == phases_) return; // more phases than announced: not counted
        known = phase_names_.insert(phase_names_.end(), start->phase);
    }
    run_start run;
    run.phase = std::size_t(known - phase_names_.begin());
    run.repeat = std::min(start->repeat, repeats_) - 1;
    run.seconds = seconds;
    // Methods run in the same order in every repeat: the run's place within its repeat.
    const std::size_t before = run.phase * repeats_ + run.repeat;
    run.method = std::min(finished_ >= before * methods_ ? finished_ - before * methods_ : 0, methods_ - 1);
    current_ = run;
    current_line_ = line;
}

// A run's expected time: the mean of the same method's earlier runs in the same phase, else in
// another phase, else the mean of every run of the phase, else of every run so far.
std::optional<double> evaluation_progress::expected(std::size_t phase, std::size_t method) const {
    if (!times_[phase][method].empty()) return mean_of(times_[phase][method]);
    for (const auto& other : times_) {
        if (!other[method].empty()) return mean_of(other[method]);
    }
    std::vector<double> all;
    for (const auto& runs : times_[phase]) all.insert(all.end(), runs.begin(), runs.end());
    if (all.empty()) {
        for (const auto& other : times_) {
            for (const auto& runs : other) all.insert(all.end(), runs.begin(), runs.end());
        }
    }
    if (all.empty()) return std::nullopt;
    return mean_of(all);
}

std::size_t evaluation_progress::index_of(const run_start& run) const {
    return (run.phase * repeats_ + run.repeat) * methods_ + run.method;
}

std::optional<double> evaluation_progress::seconds_left(double seconds) const {
    std::lock_guard lock(mutex_);
    if (finished_ == 0) return std::nullopt;
    const std::size_t total = phases_ * repeats_ * methods_;
    std::size_t next = finished_;
    double left = 0;
    if (current_) {
        const std::optional<double> own = expected(current_->phase, current_->method);
        if (!own) return std::nullopt;
        left += std::max(0.0, *own - (seconds - current_->seconds));
        next = index_of(*current_) + 1;
    }
    for (std::size_t i = next; i < total; ++i) {
        const std::optional<double> each = expected(i / (repeats_ * methods_), i % methods_);
        if (!each) return std::nullopt;
        left += *each;
    }
    return left;
}

std::string evaluation_progress::describe(double seconds, bool bar) const {
    const std::optional<double> left = seconds_left(seconds);
    std::size_t run = 0;
    {
        std::lock_guard lock(mutex_);
        run = current_ ? index_of(*current_) + 1 : finished_;
    }
    const std::size_t total = phases_ * repeats_ * methods_;
    // By time once there is an estimate (runs differ by orders of magnitude), by runs before.
    const double share =
        left ? seconds / std::max(1e-9, seconds + *left) : double(run > 0 ? run - 1 : 0) / double(total);
    std::string text = bar ? progress_meter::bar_of(share) : std::string();
    text += "run " + count_text(run) + " of " + count_text(total) + ", " + percent_text(share);
    if (left) text += ", about " + progress_meter::duration(*left) + " left";
    return text;
}

std::string evaluation_progress::current_line() const {
    std::lock_guard lock(mutex_);
    return current_line_;
}

} // namespace vornel
