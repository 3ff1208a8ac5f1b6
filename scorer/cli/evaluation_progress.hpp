#pragma once

// How far a `vornel evaluate` run has come and how long the rest should take, from the lines its
// evaluation reports as each method starts ("proposal repeat 2/5: l3"): every method runs once
// per repeat of each evaluation, in the same order, so a method's time in earlier repeats
// foretells its time in the later ones.

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vornel {

class evaluation_progress {
public:
    // `methods` run in each of `repeats` repeats of each of `phases` evaluations (proposing,
    // filtering).
    evaluation_progress(std::size_t methods, int repeats, int phases);

    // Takes note of a line of the evaluation at `seconds` since the start; lines that do not
    // start a method's run ("phase repeat r/R: method") are ignored.
    void note(const std::string& line, double seconds);

    // The time the runs not finished yet should take, at `seconds` since the start; none until
    // a run has finished.
    std::optional<double> seconds_left(double seconds) const;

    // "run 12 of 100, 24%, about 3m10s left" (without the estimate until a run has finished),
    // with the share as a bar in front when `bar`.
    std::string describe(double seconds, bool bar) const;

    // The current line of the evaluation ("proposal repeat 2/5: l3"); empty before the first.
    std::string current_line() const;

private:
    struct run_start {
        std::size_t phase = 0;
        std::size_t repeat = 0;
        std::size_t method = 0;
        double seconds = 0;
    };

    std::optional<double> expected(std::size_t phase, std::size_t method) const;
    std::size_t index_of(const run_start& run) const;
    void finish_current(double seconds);

    std::size_t methods_;
    std::size_t repeats_;
    std::size_t phases_;
    std::vector<std::string> phase_names_;                // in the order they came
    std::vector<std::vector<std::vector<double>>> times_; // [phase][method]: seconds of each run
    std::optional<run_start> current_;
    std::string current_line_;
    std::size_t finished_ = 0;
    mutable std::mutex mutex_;
};

} // namespace vornel
