#pragma once

#include "scorer/parallel/parallel.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace vornel {

// Reports how far a long step has come on standard error, from a thread of its own: on a
// terminal a bar redrawn in place (erased when the step ends), otherwise a line every few
// seconds so that logs stay readable; each with the share done and an estimate of the time
// left. A step that ends within its first seconds prints nothing.
class progress_meter {
public:
    progress_meter(std::FILE* log, std::string step, const work_progress& progress);
    ~progress_meter();
    progress_meter(const progress_meter&) = delete;
    progress_meter& operator=(const progress_meter&) = delete;

    // The line or bar for `done` of `total` after `elapsed` seconds (for tests).
    static std::string describe(const std::string& step, std::uint64_t done, std::uint64_t total, double elapsed,
                                bool bar);

private:
    void watch();

    std::FILE* log_;
    std::string step_;
    const work_progress& progress_;
    bool terminal_;
    bool drawn_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable stop_;
    std::thread thread_;
};

}  // namespace vornel
