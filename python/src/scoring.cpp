#include "scoring.hpp"

#include "interruptible.hpp"
#include "result_rows.hpp"

#include "pairs/count_ppis.hpp"
#include "scorer/parallel/processors.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <atomic>
#include <utility>

namespace vornel::python {
namespace {

// A numpy array of Shown over the vector's memory, which the array then owns (no copy).
template <class Shown, class T>
py::array_t<Shown> to_numpy(big_vector<T>&& values) {
    static_assert(sizeof(Shown) == sizeof(T));
    auto* owned = new big_vector<T>(std::move(values));
    py::capsule release(owned, [](void* p) { delete static_cast<big_vector<T>*>(p); });
    return py::array_t<Shown>(static_cast<py::ssize_t>(owned->size()), reinterpret_cast<Shown*>(owned->data()),
                              release);
}

// Scores on a thread of its own (Ctrl-C stops it) and returns the rows as numpy arrays.
template <class Code>
py::tuple score_interruptibly(const method_entry& method, scoring_job& job, const score_request& request,
                              const py::object& progress) {
    std::atomic<bool> cancel{false};
    job.cancel = &cancel;
    result_rows<Code> out;
    work_progress counts;
    const call_clock clock;
    run_interruptibly(
        cancel,
        [&] {
            const progress_scope counted(counts);
            out = score_into_rows<Code>(method, job, request.top, request.ordered);
        },
        progress_tick(progress, clock, [&counts] {
            const std::uint64_t done = counts.done.load();
            return std::pair(done, counts.total.load());
        }));
    return py::make_tuple(to_numpy<Code>(std::move(out.a)), to_numpy<Code>(std::move(out.b)),
                          to_numpy<double>(std::move(out.score_bits)));
}

// The pairs a call scores, by id: none for the candidates (then `job.listed` stays null).
listed_result listed_pairs_of(py_network& held, pair_source source, const std::vector<std::string>& pairs_a,
                              const std::vector<std::string>& pairs_b) {
    network_result& read = held.read;
    if (source == pair_source::own_interactions) {
        // listed_pairs_of_network takes the lines over: give it a copy and keep ours.
        big_vector<pair_ids> kept = read.lines;
        listed_result listed = listed_pairs_of_network(read);
        read.lines = std::move(kept);
        return listed;
    }
    if (source == pair_source::given) return resolve_listed_pairs(zip_identifiers(pairs_a, pairs_b), read.net);
    return {};
}

// The method called `name`; an unknown name raises ValueError listing the known ones, as the
// program's error does.
const method_entry& method_named(const std::string& name) {
    if (const method_entry* method = find_method(name)) return *method;
    std::string known;
    for (const method_entry& entry : all_methods()) {
        if (!known.empty()) known += ", ";
        known += entry.name;
    }
    throw py::value_error("unknown method '" + name + "' (known: " + known + ")");
}

} // namespace

py::tuple score_pairs(const std::shared_ptr<py_network>& held, const std::string& method_name, pair_source source,
                      const std::vector<std::string>& pairs_a, const std::vector<std::string>& pairs_b,
                      const score_request& request, const py::object& progress) {
    const method_entry& method = method_named(method_name);
    network_result& read = held->read;
    listed_result listed = listed_pairs_of(*held, source, pairs_a, pairs_b);

    scoring_job job = make_scoring_job(read.net, source == pair_source::candidates ? nullptr : &listed.listed,
                                       request.iterations, request.threads);

    const std::uint32_t proteins = read.net.protein_count();
    if (proteins < INT8_MAX) return score_interruptibly<std::int8_t>(method, job, request, progress);
    if (proteins < INT16_MAX) return score_interruptibly<std::int16_t>(method, job, request, progress);
    return score_interruptibly<std::int32_t>(method, job, request, progress);
}

std::int64_t refine_line_count(const std::string& path) {
    ppi::count_result counted;
    {
        py::gil_scoped_release release;
        counted = ppi::count_ppis(path);
    }
    // count_ppis fails only when the file cannot be opened or read.
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

} // namespace vornel::python
