#pragma once

#include "scorer/methods/scoring_job.hpp"

#include <string_view>

namespace vornel {

// Scores the pairs of a job; returns the records with a positive score.
using score_function = record_runs (*)(const scoring_job& job);

struct method_entry {
    std::string_view name;
    std::string_view summary; // one line for the help text
    bool iterative;           // uses the ITERATIONS argument
    bool weighted;            // uses the interaction weights (the network's third column)
    score_function score;
};

} // namespace vornel
