// Work run on a thread of its own while the calling thread, without the GIL, watches for
// Ctrl-C and reports progress.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace vornel::python {

namespace py = pybind11;

// One check of the waiting thread, with the GIL held: a pending signal (Ctrl-C) or an exception
// raised by the progress callback `tick` stops the run; returns whether it must stop.
inline bool stop_requested(const std::function<void()>& tick) {
    py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) return true;
    if (!tick) return false;
    try {
        tick();
    } catch (py::error_already_set& raised) {
        raised.restore();
        return true;
    }
    return false;
}

// How long a call has run, for the progress callback's `seconds`.
class call_clock {
public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The tick of run_interruptibly for a progress callback: progress(done, total, seconds) at most
// twice a second, with the (done, total) pair `counts()` gives then; none for progress None.
template <class Counts>
std::function<void()> progress_tick(const py::object& progress, const call_clock& clock, Counts counts) {
    if (progress.is_none()) return {};
    return [&progress, &clock, counts = std::move(counts), last = clock.seconds()]() mutable {
        const double now = clock.seconds();
        if (now - last < 0.5) return;
        last = now;
        const std::pair<std::uint64_t, std::uint64_t> reached = counts();
        progress(reached.first, reached.second, now);
    };
}

// Raises the exception the work ended with; running out of memory raises MemoryError.
inline void rethrow_work_error(const std::exception_ptr& error) {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        PyErr_SetString(PyExc_MemoryError, "out of memory while scoring");
        throw py::error_already_set();
    }
}

// Runs `work` on a thread of its own while this thread, without the GIL, checks for signals
// (Ctrl-C) every 100 ms; a signal handler that raises (KeyboardInterrupt) sets `cancel`, and
// the exception is raised here once the work has stopped.
// `tick` (if set) is called with the GIL held at each check, for progress reports.
template <class Work>
void run_interruptibly(std::atomic<bool>& cancel, Work work, const std::function<void()>& tick = {}) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool interrupted = false;
    std::exception_ptr error;
    {
        py::gil_scoped_release release;
        std::thread worker([&] {
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(mutex);
            done = true;
            finished.notify_one();
        });
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) {
            if (interrupted) continue;
            lock.unlock();
            interrupted = stop_requested(tick);
            if (interrupted) cancel = true;
            lock.lock();
        }
        lock.unlock();
        worker.join();
    }
    if (interrupted) throw py::error_already_set();
    rethrow_work_error(error);
}

} // namespace vornel::python
