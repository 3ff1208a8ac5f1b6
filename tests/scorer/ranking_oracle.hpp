#pragma once

// The plain computation of the proposal figures from stored records, which proposal_tally
// does without them: the oracle the tally is checked against.

#include "scorer/evaluate/proposal_tally.hpp"
#include "scorer/output/records.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace vornel {

// The 0-based positions of the hidden pairs in the ranking the records give (best first, ties
// broken as in the scorer's output), sorted; hidden pairs without a record are left out.
// `hidden` holds candidate_tie(smaller id, larger id) values.
std::vector<std::uint64_t> hidden_ranks(const record_runs& runs, std::vector<std::uint64_t> hidden);

// From sorted ranks (hidden_ranks) and the number of hidden pairs (>= ranks.size()).
proposal_figures figures_from_ranks(std::span<const std::uint64_t> ranks, std::uint64_t hidden_count,
                                    std::span<const std::uint64_t> top_k);

} // namespace vornel
