#pragma once

// Starting work on threads: a refused thread slows a run down instead of ending it, an
// exception on any thread is rethrown on the caller's once all have stopped, and a shared
// cancellation flag stops the work between small steps.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vornel {

// Thrown by parallel_for_items (and long sequential steps) when the cancellation flag was set.
struct scoring_cancelled {};

// Throws scoring_cancelled when `cancel` is given and set (between the steps of a long run).
inline void stop_if_cancelled(const std::atomic<bool>* cancel) {
    if (cancel && cancel->load()) throw scoring_cancelled{};
}

// Starts a thread running fn(args...) into `threads`; false when the system refuses one (too
// many threads, or no memory for a stack). Callers then share the work among the threads they
// have, so a refused thread slows a run down instead of ending it.
template <class Fn, class... Args>
bool try_start_thread(std::vector<std::thread>& threads, Fn&& fn, Args&&... args) {
    try {
        threads.emplace_back(std::forward<Fn>(fn), std::forward<Args>(args)...);
        return true;
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// How far the row loops of a run have come, for a progress meter on another thread: the items
// (rows, anchors) of every loop started so far, and those done.
struct work_progress {
    std::atomic<std::uint64_t> total{0};
    std::atomic<std::uint64_t> done{0};
};

// The progress that row loops started on this thread count into (null: none).
inline thread_local work_progress* reported_progress = nullptr;

// Makes the row loops this thread starts count into `progress` while it lives.
class progress_scope {
public:
    explicit progress_scope(work_progress& progress) : previous_(std::exchange(reported_progress, &progress)) {}
    ~progress_scope() { reported_progress = previous_; }
    progress_scope(const progress_scope&) = delete;
    progress_scope& operator=(const progress_scope&) = delete;

private:
    work_progress* previous_;
};

// Calls fn(thread_index, item) for every item in [0, count), on `threads` threads that take
// small chunks from a shared counter (work per protein is very uneven in hub-rich networks).
// An exception thrown by fn is rethrown here after all threads have stopped. When `cancel` is
// set, the threads stop at their next chunk and scoring_cancelled is thrown.
template <class Fn>
void parallel_for_items(std::uint32_t count, unsigned threads, Fn fn, const std::atomic<bool>* cancel = nullptr) {
    constexpr std::uint32_t chunk = 16;
    std::atomic<std::uint32_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex error_mutex;
    work_progress* const progress = reported_progress;
    if (progress) progress->total.fetch_add(count, std::memory_order_relaxed);
    auto work = [&](unsigned thread_index) {
        try {
            for (;;) {
                if (failed.load(std::memory_order_relaxed)) return;
                if (cancel && cancel->load(std::memory_order_relaxed)) return;
                const std::uint32_t start = next.fetch_add(chunk, std::memory_order_relaxed);
                if (start >= count) return;
                const std::uint32_t stop = std::min(count, start + chunk);
                for (std::uint32_t item = start; item < stop; ++item) fn(thread_index, item);
                if (progress) progress->done.fetch_add(stop - start, std::memory_order_relaxed);
            }
        } catch (...) {
            std::lock_guard lock(error_mutex);
            if (!error) error = std::current_exception();
            failed = true;
        }
    };
    threads = std::max(1u, threads);
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (unsigned t = 1; t < threads && try_start_thread(helpers, work, t); ++t) {}
    work(0);
    for (auto& helper : helpers) helper.join();
    if (error) std::rethrow_exception(error);
    if (cancel && cancel->load()) throw scoring_cancelled{};
}

// Runs fn(part) for every part in [0, parts), each on a thread of its own (on the calling
// thread when the system refuses one). An exception thrown by fn (no memory for a partition's
// counts) is rethrown here once all have ended, rather than ending the process from a helper
// thread.
template <class Fn>
void for_each_part(std::size_t parts, Fn fn) {
    std::exception_ptr error;
    std::mutex error_mutex;
    const auto guarded = [&](std::size_t part) {
        try {
            fn(part);
        } catch (...) {
            std::lock_guard lock(error_mutex);
            if (!error) error = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t part = 1; part < parts; ++part) {
        if (!try_start_thread(helpers, guarded, part)) guarded(part);
    }
    if (parts > 0) guarded(0);
    for (auto& helper : helpers) helper.join();
    if (error) std::rethrow_exception(error);
}

// Threads that each run the same function, joined when the object ends: up to `count` of
// them, fewer when the system refuses some (size() says how many started).
class helper_threads {
public:
    template <class Fn>
    helper_threads(unsigned count, const Fn& fn) {
        threads_.reserve(count);
        for (unsigned t = 0; t < count && try_start_thread(threads_, fn); ++t) {}
    }
    ~helper_threads() { join(); }
    helper_threads(const helper_threads&) = delete;
    helper_threads& operator=(const helper_threads&) = delete;

    std::size_t size() const { return threads_.size(); }
    void join() {
        for (auto& thread : threads_) {
            if (thread.joinable()) thread.join();
        }
    }

private:
    std::vector<std::thread> threads_;
};

} // namespace vornel
