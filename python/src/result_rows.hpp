// The rows a scoring call returns to Python, and how they are put in order.
#pragma once

#include "scorer/graph/big_vector.hpp"
#include "scorer/cli/method_registry.hpp"
#include "scorer/methods/scoring_job.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vornel::python {

// The returned rows: protein ids as Categorical codes of type Code, and the scores' bit patterns
// (float64 to numpy; before that, the counting sort's room for the ties).
// Huge pages: on this virtual machine, filling 136 MB took 0.55 s in 4 KiB pages and 0.03 s in
// huge pages (5.7 million rows need 67 MB).
template <class Code>
struct result_rows {
    big_vector<Code> a, b;
    big_vector<std::uint64_t> score_bits;

    void put(std::size_t i, pair_ids pair, std::uint64_t key) {
        a[i] = static_cast<Code>(pair.first);
        b[i] = static_cast<Code>(pair.second);
        score_bits[i] = ~key; // the inverse of descending_key
    }
};

// Scores (with the job's stop flag) and fills the rows, best first in the command line's order:
// every record with a positive score, or the best `top` of them. Unordered, the records come as
// the scoring threads made them (with `top`, the best `top` in no order).
template <class Code>
result_rows<Code> score_into_rows(const method_entry& method, scoring_job& job, std::optional<std::size_t> top,
                                  bool ordered);

extern template result_rows<std::int8_t> score_into_rows(const method_entry&, scoring_job&, std::optional<std::size_t>,
                                                         bool);
extern template result_rows<std::int16_t> score_into_rows(const method_entry&, scoring_job&, std::optional<std::size_t>,
                                                          bool);
extern template result_rows<std::int32_t> score_into_rows(const method_entry&, scoring_job&, std::optional<std::size_t>,
                                                          bool);

} // namespace vornel::python
