#include "held_network.hpp"

#include "interruptible.hpp"

#include "io/block_reader.hpp"
#include "scorer/graph/empty_network.hpp"
#include "scorer/graph/readable_names.hpp"

#include <pybind11/stl.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

namespace vornel::python {

void raise_read_error(read_failure failure, const std::string& message) {
    if (failure == read_failure::unreadable) {
        PyErr_SetString(PyExc_OSError, message.c_str());
        throw py::error_already_set();
    }
    throw py::value_error(message);
}

namespace {

std::shared_ptr<py_network> finish_network(network_result read, std::string source) {
    if (!read.error.empty()) raise_read_error(read.failure, read.error);
    if (read.net.interaction_count() == 0) {
        throw py::value_error(
            empty_network_error(source.empty() ? std::string("the pairs given") : source, read.table));
    }
    auto held = std::make_shared<py_network>();
    held->read = std::move(read);
    held->source = std::move(source);
    return held;
}

// The reading options as the program checks them (nullopt for an option not given); the first
// refused one raises ValueError named as the keyword argument (min-weight is min_weight).
ppi::io::format_options format_options_of(const file_options& given) {
    const auto view = [](const std::optional<std::string>& text) {
        return text ? std::optional<std::string_view>(*text) : std::nullopt;
    };
    ppi::io::format_options options;
    const auto errors = ppi::io::check_format_options(
        {view(given.format), view(given.columns), view(given.taxon), view(given.ids), given.genetic,
         given.min_weight.value_or(std::numeric_limits<double>::quiet_NaN())},
        options);
    if (!errors.empty()) {
        const auto& error = errors.front();
        std::string keyword = error.option;
        std::replace(keyword.begin(), keyword.end(), '-', '_');
        throw py::value_error(keyword + "='" + error.value + "' " + error.problem);
    }
    return options;
}

// The size of the regular file at `path`; 0 for anything else (or when it cannot be looked at,
// which reading then reports).
std::uint64_t regular_file_size(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

// Makes the block readers of this thread publish their file position into `position` while it
// lives.
class file_position_scope {
public:
    explicit file_position_scope(std::atomic<std::uint64_t>& position)
        : previous_(std::exchange(ppi::io::reported_file_position, &position)) {}
    ~file_position_scope() { ppi::io::reported_file_position = previous_; }
    file_position_scope(const file_position_scope&) = delete;
    file_position_scope& operator=(const file_position_scope&) = delete;

private:
    std::atomic<std::uint64_t>* previous_;
};

} // namespace

std::shared_ptr<py_network> network_from_file(const std::string& path, const file_options& given,
                                              const py::object& progress) {
    const ppi::io::format_options options = format_options_of(given);
    network_result read;
    // The readers of the worker thread publish how far into the file they are; the callback
    // sees the furthest position so far (a format's first look reads the start once more).
    // Without a size (a pipe, a device) there is nothing to measure against: no calls.
    std::atomic<std::uint64_t> position{0};
    const std::uint64_t size = regular_file_size(path);
    const py::object report = size == 0 ? py::none() : progress;
    const call_clock clock;
    // A whole-proteome file takes seconds to read: Ctrl-C stops it.
    std::atomic<bool> cancel{false};
    run_interruptibly(
        cancel,
        [&] {
            const file_position_scope reported(position);
            read = read_network(path, options, given.weights, &cancel);
        },
        progress_tick(report, clock, [&position, size, furthest = std::uint64_t{0}]() mutable {
            furthest = std::min(size, std::max(furthest, position.load(std::memory_order_relaxed)));
            return std::pair(furthest, size);
        }));
    auto held = finish_network(std::move(read), path);
    if (!report.is_none()) report(size, size, clock.seconds());
    return held;
}

std::vector<std::pair<std::string, std::string>> zip_identifiers(const std::vector<std::string>& a,
                                                                 const std::vector<std::string>& b) {
    if (a.size() != b.size()) throw py::value_error("the two identifier columns differ in length");
    std::vector<std::pair<std::string, std::string>> pairs(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) pairs[i] = {a[i], b[i]};
    return pairs;
}

std::shared_ptr<py_network> network_from_pairs(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                               std::optional<weight_array> weights) {
    const auto pairs = zip_identifiers(a, b);
    std::span<const double> weight_span;
    if (weights) {
        if (weights->ndim() != 1 || static_cast<std::size_t>(weights->size()) != pairs.size()) {
            throw py::value_error("the weight column differs in length from the identifier columns");
        }
        weight_span = {weights->data(), pairs.size()};
    }
    network_result read;
    {
        py::gil_scoped_release release;
        read = build_network(pairs, weight_span);
    }
    return finish_network(std::move(read), "");
}

py::list names_of(const py_network& held) {
    const network& net = held.read.net;
    py::list names(net.protein_count());
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        const std::string_view name = net.name(u);
        names[u] = py::str(name.data(), name.size());
    }
    return names;
}

// The interactions as listed (file order, first orientation, self-pairs left out) by id.
py::tuple lines_of(const py_network& held) {
    const auto& lines = held.read.lines;
    py::array_t<std::uint32_t> a(static_cast<py::ssize_t>(lines.size()));
    py::array_t<std::uint32_t> b(static_cast<py::ssize_t>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        a.mutable_data()[i] = lines[i].first;
        b.mutable_data()[i] = lines[i].second;
    }
    return py::make_tuple(a, b);
}

py::dict counts_of(const py_network& held) {
    const pair_file_counts& c = held.read.counts;
    py::dict counts;
    counts["lines"] = c.lines;
    counts["pairs_read"] = c.pairs_read;
    counts["self_pairs"] = c.self_pairs;
    counts["repeated_pairs"] = c.repeated_pairs;
    counts["pairs_without_weight"] = c.pairs_without_weight;
    return counts;
}

// Readable names of the network's proteins from a mapping table (--names): the name of every
// protein by id (its identifier where the map has none), and how many were named and not.
py::tuple readable_names_of(const py_network& held, const std::string& path) {
    readable_names names;
    {
        py::gil_scoped_release release;
        names = read_readable_names(path, held.read.net);
    }
    if (!names.error.empty()) raise_read_error(names.failure, names.error);
    return py::make_tuple(names.by_protein, names.mapped, names.missing);
}

} // namespace vornel::python
