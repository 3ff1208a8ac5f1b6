// Scoring calls of the Python package: pairs scored on a thread of their own (Ctrl-C stops
// them), returned as numpy arrays; the method list; ppi-refine's line count.
#pragma once

#include "held_network.hpp"

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vornel::python {

namespace py = pybind11;

// Which pairs a call scores.
enum class pair_source { candidates, own_interactions, given };

// What a scoring call asks for beyond the network, the method and the pairs.
struct score_request {
    long long iterations = 1;
    unsigned threads = 0;
    std::optional<std::size_t> top;
    bool ordered = true;
};

// Scores and returns (a codes, b codes, scores), best first unless unordered. The codes come
// in the narrowest integer type pandas keeps Categorical codes in for this many proteins, so
// that building the Categoricals copies nothing. `progress` (None, or called as
// progress(done, total, seconds) about twice a second) hears how many rows are done.
py::tuple score_pairs(const std::shared_ptr<py_network>& held, const std::string& method_name, pair_source source,
                      const std::vector<std::string>& pairs_a, const std::vector<std::string>& pairs_b,
                      const score_request& request, const py::object& progress);

// The lines of a file as ppi-refine counts them: its '\n' bytes, and a last line without one.
std::int64_t refine_line_count(const std::string& path);

// (name, summary, iterative, weighted) of every method, in the order vornel --help lists them.
py::list method_list();

} // namespace vornel::python
