// The compiled half of the Python package: networks, scoring and the method list over the same
// library as the command-line scorer. Errors become Python exceptions whose messages are the
// scorer's error lines; the Python half (vornel/*.py) checks the arguments and turns arrays into
// DataFrames. The signatures here are mirrored in vornel/_vornel.pyi.
#include "held_network.hpp"
#include "scoring.hpp"

#include "scorer/parallel/processors.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

namespace py = pybind11;
using namespace vornel::python;

namespace {

void define_network(py::module_& m) {
    py::class_<py_network, std::shared_ptr<py_network>>(m, "Network")
        .def_property_readonly("protein_count", [](const py_network& h) { return h.read.net.protein_count(); })
        .def_property_readonly("interaction_count", [](const py_network& h) { return h.read.net.interaction_count(); })
        .def_property_readonly("weighted", [](const py_network& h) { return h.read.net.weighted(); })
        .def_property_readonly("source", [](const py_network& h) { return h.source; })
        .def_property_readonly("format", [](const py_network& h) { return h.read.table.layout.name; })
        .def("names", &names_of)
        .def("lines", &lines_of)
        .def("counts", &counts_of);
}

std::shared_ptr<py_network> read_network_file(const std::string& path, std::optional<std::string> format,
                                              std::optional<std::string> columns, std::optional<std::string> taxon,
                                              std::optional<std::string> ids, bool genetic, bool weights,
                                              std::optional<double> min_weight, const py::object& progress) {
    return network_from_file(path,
                             file_options{std::move(format), std::move(columns), std::move(taxon), std::move(ids),
                                          genetic, weights, min_weight},
                             progress);
}

py::tuple score_network(const std::shared_ptr<py_network>& held, const std::string& method, pair_source source,
                        const std::vector<std::string>& pairs_a, const std::vector<std::string>& pairs_b,
                        long long iterations, unsigned threads, std::optional<std::size_t> top, bool ordered,
                        const py::object& progress) {
    return score_pairs(held, method, source, pairs_a, pairs_b, score_request{iterations, threads, top, ordered},
                       progress);
}

} // namespace

PYBIND11_MODULE(_vornel, m) {
    m.doc() = "Compiled core of the vornel package; use the functions of `vornel` instead.";
    m.attr("__version__") = VORNEL_VERSION; // project(VERSION) of the CMake build
    define_network(m);
    py::enum_<pair_source>(m, "PairSource")
        .value("candidates", pair_source::candidates)
        .value("own_interactions", pair_source::own_interactions)
        .value("given", pair_source::given);
    m.def("read_network", &read_network_file, py::arg("path"), py::kw_only(), py::arg("format") = py::none(),
          py::arg("columns") = py::none(), py::arg("taxon") = py::none(), py::arg("ids") = py::none(),
          py::arg("genetic") = false, py::arg("weights") = true, py::arg("min_weight") = py::none(),
          py::arg("progress") = py::none());
    m.def("readable_names", &readable_names_of, py::arg("network"), py::arg("path"));
    m.def("build_network", &network_from_pairs, py::arg("a"), py::arg("b"), py::arg("weights"));
    m.def("score", &score_network, py::arg("network"), py::arg("method"), py::arg("source"), py::arg("pairs_a"),
          py::arg("pairs_b"), py::arg("iterations"), py::arg("threads"), py::arg("top"), py::arg("ordered"),
          py::arg("progress") = py::none());
    m.def("methods", &method_list);
    m.def("refine_line_count", &refine_line_count, py::arg("path"));
    m.attr("max_threads") = vornel::max_requested_threads;
}
