#pragma once

#include "scorer/parallel/parallel.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vornel {

// When a meter shows itself: a terminal's bar after bar_after seconds, a log's lines every
// line_every seconds (the first after as long).
struct progress_timing {
    double bar_after = 2.0;
    double line_every = 5.0;
};

// Reports how far a long step has come on standard error, from a thread of its own: on a
// terminal a bar redrawn in place (erased when the step ends), otherwise a line every few
// seconds so that logs stay readable; each with the share done and an estimate of the time
// left. A step that ends within its first seconds prints nothing.
class progress_meter {
public:
    progress_meter(std::FILE* log, std::string step, const work_progress& progress, progress_timing timing = {});
    // The same cadence for a text of the caller's own: text(elapsed seconds, as a bar?), asked
    // on the meter's thread.
    using text_source = std::function<std::string(double, bool)>;
    progress_meter(std::FILE* log, text_source text, progress_timing timing = {});
    ~progress_meter();
    progress_meter(const progress_meter&) = delete;
    progress_meter& operator=(const progress_meter&) = delete;

    // The line or bar for `done` of `total` after `elapsed` seconds (for tests).
    static std::string describe(const std::string& step, std::uint64_t done, std::uint64_t total, double elapsed,
                                bool bar);
    // "42 s" below 100 seconds, "3m05s" from there on.
    static std::string duration(double seconds);
    // A bar of `share` (0 to 1): "[#####.........] ".
    static std::string bar_of(double share);

private:
    void watch();

    std::FILE* log_;
    text_source text_;
    progress_timing timing_;
    bool terminal_;
    bool drawn_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable stop_;
    std::thread thread_;
};

// Reports how far this thread's reading of the file at `path` has come while it lives, as
// progress_meter does: by the bytes of the file read (compressed ones for gzip) against its
// size, counted by the block readers once per block. Nothing for a file without a size (a
// pipe, standard input).
class reading_meter {
public:
    reading_meter(std::FILE* log, const std::string& path, progress_timing timing = {});
    ~reading_meter();
    reading_meter(const reading_meter&) = delete;
    reading_meter& operator=(const reading_meter&) = delete;

private:
    work_progress progress_;
    std::atomic<std::uint64_t>* previous_;
    std::optional<progress_meter> meter_;
};

}  // namespace vornel
