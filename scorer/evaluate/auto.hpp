#pragma once

#include "scorer/methods/scoring_job.hpp"

namespace vornel {

// Evaluates candidate methods on the network (auto.cpp), says on job.note which it
// chose and why, and runs it.
record_runs score_auto(const scoring_job& job);

} // namespace vornel
