// The compiled half of the Python package: networks, scoring and the method list over the same
// library as the command-line scorer. Errors become Python exceptions whose messages are the
// scorer's error lines; the Python half (vornel/__init__.py) turns arrays into DataFrames.
#include "pairs/count_ppis.hpp"
#include "scorer/empty_network.hpp"
#include "scorer/methods.hpp"
#include "scorer/network.hpp"
#include "scorer/output.hpp"
#include "scorer/output_sort.hpp"
#include "scorer/processors.hpp"
#include "scorer/readable_names.hpp"
#include "scorer/record_selection.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace vornel {
namespace {

// A network and what reading it found, kept whole: its own lines are the pair list of a filter
// phase.
struct py_network {
    network_result read;
    std::string source;  // the file name, or "" for a network built from pairs
};

// A reading error as the exception Python code expects: failures to read a file are OSError,
// everything wrong with its contents ValueError.
[[noreturn]] void raise_read_error(const std::string& message) {
    if (message.find(": cannot read: ") != std::string::npos) {
        PyErr_SetString(PyExc_OSError, message.c_str());
        throw py::error_already_set();
    }
    throw py::value_error(message);
}

std::shared_ptr<py_network> finish_network(network_result read, std::string source) {
    if (!read.error.empty()) raise_read_error(read.error);
    if (read.net.interaction_count() == 0) {
        throw py::value_error(empty_network_error(source.empty() ? std::string("the pairs given") : source, read.table));
    }
    auto held = std::make_shared<py_network>();
    held->read = std::move(read);
    held->source = std::move(source);
    return held;
}

// The reading options as the program checks them ("" for an option not given).
ppi::io::format_options format_options_of(const std::string& format, const std::string& columns,
                                          const std::string& taxon, const std::string& ids, bool genetic,
                                          double min_weight) {
    const auto given = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional<std::string_view>(text);
    };
    ppi::io::format_options options;
    const auto errors = ppi::io::check_format_options(
        {given(format), given(columns), given(taxon), given(ids), genetic, min_weight}, options);
    if (!errors.empty()) {
        const auto& error = errors.front(); // named as the keyword argument: min-weight is min_weight
        std::string keyword = error.option;
        std::replace(keyword.begin(), keyword.end(), '-', '_');
        throw py::value_error(keyword + "='" + error.value + "' " + error.problem);
    }
    return options;
}

std::vector<std::pair<std::string, std::string>> zip_identifiers(const std::vector<std::string>& a,
                                                                 const std::vector<std::string>& b) {
    if (a.size() != b.size()) throw py::value_error("the two identifier columns differ in length");
    std::vector<std::pair<std::string, std::string>> pairs(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) pairs[i] = {a[i], b[i]};
    return pairs;
}

std::shared_ptr<py_network> network_from_pairs(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                               std::optional<py::array_t<double, py::array::c_style | py::array::forcecast>> weights) {
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
            {
                py::gil_scoped_acquire acquire;
                if (PyErr_CheckSignals() != 0) interrupted = true;
                if (!interrupted && tick) {
                    // A progress callback that raises stops the run as Ctrl-C does, with its exception.
                    try {
                        tick();
                    } catch (py::error_already_set& raised) {
                        raised.restore();
                        interrupted = true;
                    }
                }
            }
            if (interrupted) cancel = true;
            lock.lock();
        }
        lock.unlock();
        worker.join();
    }
    if (interrupted) throw py::error_already_set();
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::bad_alloc&) {
            PyErr_SetString(PyExc_MemoryError, "out of memory while scoring");
            throw py::error_already_set();
        }
    }
}

std::shared_ptr<py_network> network_from_file(const std::string& path, const std::string& format,
                                              const std::string& columns, const std::string& taxon,
                                              const std::string& ids, bool genetic, bool weights,
                                              double min_weight) {
    const ppi::io::format_options options = format_options_of(format, columns, taxon, ids, genetic, min_weight);
    network_result read;
    // A whole-proteome file takes seconds to read: Ctrl-C stops it.
    std::atomic<bool> cancel{false};
    run_interruptibly(cancel, [&] { read = read_network(path, options, weights, &cancel); });
    return finish_network(std::move(read), path);
}

// A numpy array of Shown over the vector's memory, which the array then owns (no copy).
template <class Shown, class T>
py::array_t<Shown> to_numpy(big_vector<T>&& values) {
    static_assert(sizeof(Shown) == sizeof(T));
    auto* owned = new big_vector<T>(std::move(values));
    py::capsule release(owned, [](void* p) { delete static_cast<big_vector<T>*>(p); });
    return py::array_t<Shown>(static_cast<py::ssize_t>(owned->size()), reinterpret_cast<Shown*>(owned->data()), release);
}

// Which pairs a run scores.
enum class pair_source { candidates, own_lines, given };

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
        score_bits[i] = ~key;  // the inverse of descending_key
    }
};

// Grows `column` to `size` zeroed elements in steps, stopping (scoring_cancelled) when `cancel`
// is set: filling the gigabytes of a large result takes seconds.
template <class T>
void resize_interruptibly(big_vector<T>& column, std::size_t size, const std::atomic<bool>* cancel) {
    constexpr std::size_t step = std::size_t{1} << 24;
    column.reserve(size);
    while (column.size() < size) {
        stop_if_cancelled(cancel);
        column.resize(std::min(size, column.size() + step));
    }
}

// The pair a record's tie stands for.
pair_ids pair_of(std::uint64_t tie, const listed_pairs* listed) {
    if (listed) return listed->pairs[tie];
    return {static_cast<std::uint32_t>(tie >> 32), static_cast<std::uint32_t>(tie & 0xffffffffu)};
}

// Scores (with `cancel` as the run's stop flag) and fills the rows, best first in the command
// line's order: every record with a positive score, or the best `top` of them. Unordered, the
// records come as the scoring threads made them (with `top`, the best `top` in no order).
template <class Code>
result_rows<Code> score_into_rows(const method_entry& method, scoring_job& job, std::optional<std::size_t> top,
                                  bool ordered) {
    record_runs runs;
    if (top) {
        // The best `top` are picked as the threads make them, as for the program's --top: memory
        // stays at the network and the selection.
        record_selection selection(record_bound{*top, std::nullopt}, job.threads);
        selection.attach(job);
        runs = method.score(job);
        hand_over_rest(runs);
        runs.clear();
        runs = selection.release();
    } else {
        runs = method.score(job);
    }
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    const std::size_t rows = std::min(total, top.value_or(total));
    const bool sort_all = ordered && rows >= total / 2;
    result_rows<Code> out;
    resize_interruptibly(out.a, rows, job.cancel);
    resize_interruptibly(out.b, rows, job.cancel);
    // Sorting all, the counting sort first places every record's tie in the score column.
    resize_interruptibly(out.score_bits, sort_all ? total : rows, job.cancel);
    const auto put = [&](std::size_t i, const score_record& record) {
        out.put(i, pair_of(record.tie, job.listed), record.key);
    };
    if (!ordered) {
        // Records as the runs hold them: no sort at all.
        std::size_t i = 0;
        for (const auto& run : runs) {
            for (const score_record& record : run) {
                if (i == rows) return out;
                put(i++, record);
            }
        }
    } else if (!sort_all) {
        // A few best records: selected in every run, then merged; the rest are never sorted.
        order_runs(runs, rows);
        std::size_t i = 0;
        merge_ordered_runs(runs, rows, [&](const score_record& record) { put(i++, record); });
    } else {
        // Each piece of ties handed over is overwritten by its rows (a position read before it
        // is written).
        const bool counted = sort_by_counting(runs, job.threads, out.score_bits,
                                              [&](std::size_t first, std::uint64_t key, std::span<const std::uint64_t> ties) {
            const std::size_t stop = std::min(ties.size(), rows - std::min(rows, first));
            for (std::size_t i = 0; i < stop; ++i) out.put(first + i, pair_of(ties[i], job.listed), key);
        }, 8, job.cancel);
        if (!counted) {
            sort_records(runs, job.threads, [&](std::size_t first, std::span<const score_record> part) {
                for (std::size_t i = 0; i < part.size() && first + i < rows; ++i) put(first + i, part[i]);
            }, std::size_t{1} << 18, job.cancel);
        }
        out.score_bits.resize(rows);
    }
    return out;
}

// Scores on a thread of its own (Ctrl-C stops it) and returns the rows as numpy arrays.
// `progress` (None, or called as progress(done, total, seconds) about twice a second) hears how
// many rows of the scoring loops are done.
template <class Code>
py::tuple score_interruptibly(const method_entry& method, scoring_job& job, std::optional<std::size_t> top, bool ordered,
                              const py::object& progress) {
    std::atomic<bool> cancel{false};
    job.cancel = &cancel;
    result_rows<Code> out;
    work_progress counts;
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    std::function<void()> tick;
    if (!progress.is_none()) {
        tick = [&] {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < std::chrono::milliseconds(500)) return;
            last = now;
            progress(counts.done.load(), counts.total.load(), std::chrono::duration<double>(now - start).count());
        };
    }
    run_interruptibly(cancel, [&] {
        const progress_scope counted(counts);
        out = score_into_rows<Code>(method, job, top, ordered);
    }, tick);
    return py::make_tuple(to_numpy<Code>(std::move(out.a)), to_numpy<Code>(std::move(out.b)),
                          to_numpy<double>(std::move(out.score_bits)));
}

// Scores and returns (a codes, b codes, scores) as score_into_rows fills them. The codes come
// in the narrowest integer type pandas keeps Categorical codes in for this many proteins, so
// that building the Categoricals copies nothing.
py::tuple score_pairs(const std::shared_ptr<py_network>& held, const std::string& method_name,
                      const std::string& source_name, const std::vector<std::string>& pairs_a,
                      const std::vector<std::string>& pairs_b, long long iterations, unsigned threads,
                      std::optional<std::size_t> top, bool ordered, const py::object& progress) {
    const method_entry* method = find_method(method_name);
    if (!method) throw py::value_error("unknown method '" + method_name + "'");
    const pair_source source = source_name == "candidates" ? pair_source::candidates
                               : source_name == "network"  ? pair_source::own_lines
                                                           : pair_source::given;
    network_result& read = held->read;
    listed_result listed;
    if (source == pair_source::own_lines) {
        // listed_pairs_of_network takes the lines over: give it a copy and keep ours.
        big_vector<pair_ids> kept = read.lines;
        listed = listed_pairs_of_network(read);
        read.lines = std::move(kept);
    } else if (source == pair_source::given) {
        listed = resolve_listed_pairs(zip_identifiers(pairs_a, pairs_b), read.net);
    }

    scoring_job job;
    job.net = &read.net;
    job.listed = source == pair_source::candidates ? nullptr : &listed.listed;
    // As the program: at most one thread per rows_per_thread proteins.
    job.threads = threads_for_rows(threads, read.net.protein_count());
    job.rounds = static_cast<int>(std::min<long long>(std::max<long long>(iterations, 1), 1 << 30));

    const std::uint32_t proteins = read.net.protein_count();
    if (proteins < INT8_MAX) return score_interruptibly<std::int8_t>(*method, job, top, ordered, progress);
    if (proteins < INT16_MAX) return score_interruptibly<std::int16_t>(*method, job, top, ordered, progress);
    return score_interruptibly<std::int32_t>(*method, job, top, ordered, progress);
}

// The lines of a file as ppi-refine counts them: its '\n' bytes, and a last line without one.
std::int64_t refine_line_count(const std::string& path) {
    ppi::count_result counted;
    {
        py::gil_scoped_release release;
        counted = ppi::count_ppis(path);
    }
    if (!counted.error.empty()) {
        PyErr_SetString(PyExc_OSError, counted.error.c_str());
        throw py::error_already_set();
    }
    return counted.count;
}

py::list method_list() {
    py::list methods;
    for (const method_entry& m : all_methods()) {
        methods.append(py::make_tuple(std::string(m.name), std::string(m.summary), m.iterative, m.weighted));
    }
    return methods;
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
    if (!names.error.empty()) raise_read_error(names.error);
    return py::make_tuple(names.by_protein, names.mapped, names.missing);
}

}  // namespace
}  // namespace vornel

PYBIND11_MODULE(_vornel, m) {
    using namespace vornel;
    m.doc() = "Compiled core of the vornel package; use the functions of `vornel` instead.";
    m.attr("__version__") = VORNEL_VERSION;  // project(VERSION) of the CMake build
    py::class_<py_network, std::shared_ptr<py_network>>(m, "Network")
        .def_property_readonly("protein_count", [](const py_network& h) { return h.read.net.protein_count(); })
        .def_property_readonly("interaction_count", [](const py_network& h) { return h.read.net.interaction_count(); })
        .def_property_readonly("weighted", [](const py_network& h) { return h.read.net.weighted(); })
        .def_property_readonly("source", [](const py_network& h) { return h.source; })
        .def_property_readonly("format", [](const py_network& h) { return h.read.table.layout.name; })
        .def("names", &names_of)
        .def("lines", &lines_of)
        .def("counts", &counts_of);
    m.def("read_network", &network_from_file, py::arg("path"), py::arg("format"), py::arg("columns"),
          py::arg("taxon"), py::arg("ids"), py::arg("genetic"), py::arg("weights"),
          py::arg("min_weight") = std::numeric_limits<double>::quiet_NaN());
    m.def("readable_names", &readable_names_of, py::arg("network"), py::arg("path"));
    m.def("build_network", &network_from_pairs, py::arg("a"), py::arg("b"), py::arg("weights"));
    m.def("score", &score_pairs, py::arg("network"), py::arg("method"), py::arg("source"), py::arg("pairs_a"),
          py::arg("pairs_b"), py::arg("iterations"), py::arg("threads"), py::arg("top"), py::arg("ordered"),
          py::arg("progress") = py::none());
    m.def("methods", &method_list);
    m.def("refine_line_count", &refine_line_count, py::arg("path"));
    m.attr("max_threads") = max_requested_threads;
}
