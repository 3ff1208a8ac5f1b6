// Networks as the Python package holds them: read from a file or built from pairs, with what
// reading found, and the views of them the Python half turns into pandas objects.
#pragma once

#include "scorer/graph/network.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vornel::python {

namespace py = pybind11;

// A network and what reading it found, kept whole: its own lines are the pair list when the
// network's own interactions are scored.
struct py_network {
    network_result read;
    std::string source; // the file name, or "" for a network built from pairs
};

using weight_array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The options of read_network as the Python half passes them: None (nullopt) for one not given.
struct file_options {
    std::optional<std::string> format, columns, taxon, ids;
    bool genetic = false;
    bool weights = true;
    std::optional<double> min_weight;
};

// A failed read as the exception Python code expects, chosen by the kind the reader reports:
// a file that could not be read raises OSError, contents that are not a network ValueError.
[[noreturn]] void raise_read_error(read_failure failure, const std::string& message);

// The network in the file at `path`. `progress` (None or a callable) is called about twice a
// second as progress(done, total, seconds), done and total in bytes of the file as stored
// (compressed ones for gzip), and once done == total when the network is read.
std::shared_ptr<py_network> network_from_file(const std::string& path, const file_options& options,
                                              const py::object& progress);
std::shared_ptr<py_network> network_from_pairs(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                               std::optional<weight_array> weights);

// The two identifier columns as pairs (ValueError when their lengths differ).
std::vector<std::pair<std::string, std::string>> zip_identifiers(const std::vector<std::string>& a,
                                                                 const std::vector<std::string>& b);

py::list names_of(const py_network& held);
py::tuple lines_of(const py_network& held);
py::dict counts_of(const py_network& held);
py::tuple readable_names_of(const py_network& held, const std::string& path);

} // namespace vornel::python
