#include "scorer/cli/run_scoring.hpp"

#include "scorer/cli/method_registry.hpp"
#include "scorer/cli/progress_meter.hpp"
#include "scorer/graph/empty_network.hpp"
#include "scorer/graph/readable_names.hpp"
#include "scorer/methods/record_selection.hpp"
#include "scorer/output/graphml.hpp"
#include "scorer/output/network_writer.hpp"
#include "scorer/output/text_writer.hpp"
#include "scorer/parallel/processors.hpp"

#include "io/same_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <new>
#include <system_error>

namespace vornel {

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Processor time of all threads so far, in seconds.
double cpu_seconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// A count as printf's %llu takes it.
unsigned long long as_llu(std::uint64_t value) { return static_cast<unsigned long long>(value); }

// The format lines of a pair file; nothing for a plain edge list, whose log stays as it was.
void report_table(std::FILE* log, const char* role, const std::string& path, const table_report& table,
                  const pair_file_counts& counts) {
    if (table.byte_order_mark) {
        std::fprintf(log, "vornel: %s %s: skipped the UTF-8 byte-order mark at its start\n", role, path.c_str());
    }
    if (table.layout.family == ppi::io::table_family::plain) return;
    std::fprintf(log, "vornel: %s %s: format %s\n", role, path.c_str(), ppi::io::describe_layout(table.layout).c_str());
    const std::string skips = ppi::io::describe_skips(table.layout, table.skipped);
    const std::uint64_t skipped =
        table.skipped.genetic + table.skipped.other_taxon + table.skipped.missing_id + table.below_min_weight;
    std::fprintf(log, "vornel: %s %s: %llu rows, %llu pairs read%s%s; %s\n", role, path.c_str(),
                 as_llu(counts.pairs_read + skipped), as_llu(counts.pairs_read),
                 skips.empty() ? "" : "; skipped: ", skips.c_str(), table.has_weights ? "with weights" : "no weights");
}

// The rows --min-weight dropped, when it is given.
void report_cut(std::FILE* log, const std::string& path, double min_weight, const table_report& table,
                const pair_file_counts& counts) {
    if (std::isnan(min_weight)) return;
    char digits[32];
    *std::to_chars(digits, digits + sizeof digits - 1, min_weight).ptr = '\0';
    std::fprintf(log, "vornel: network %s: --min-weight %s: %llu rows dropped (a lower weight or none), %llu kept\n",
                 path.c_str(), digits, as_llu(table.below_min_weight), as_llu(counts.pairs_read));
}

void report_network(std::FILE* log, const std::string& path, const network& net, const pair_file_counts& counts) {
    std::fprintf(log,
                 "vornel: network %s: %u proteins, %llu interactions (%llu self-pairs dropped, "
                 "%llu repeated pairs merged)\n",
                 path.c_str(), net.protein_count(), as_llu(net.interaction_count()), as_llu(counts.self_pairs),
                 as_llu(counts.repeated_pairs));
}

void report_listed(std::FILE* log, const std::string& path, const listed_pairs& listed,
                   const pair_file_counts& counts) {
    std::fprintf(log,
                 "vornel: pairs %s: %llu pairs to score (%llu self-pairs dropped, %llu repeated pairs "
                 "merged, %llu with a protein missing from the network score 0)\n",
                 path.c_str(), as_llu(listed.pairs.size()), as_llu(counts.self_pairs), as_llu(counts.repeated_pairs),
                 as_llu(counts.unknown_pairs));
}

// Whether two names refer to the same existing regular file (then it is read only once).
bool same_regular_file(const std::string& a, const std::string& b) {
    return ppi::io::same_file(a, b).value_or(false) && ppi::io::is_regular_file(a);
}

// Whether two names refer to the same existing file, of any kind (links followed).
bool same_existing_file(const std::string& a, const std::string& b) { return ppi::io::same_file(a, b).value_or(false); }

std::size_t total_records(const record_runs& runs) {
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    return total;
}

// OUTPUT must not be one of the inputs: the finished file is renamed over it.
std::string check_output_is_no_input(const options& opts) {
    if (same_existing_file(opts.output_path, opts.network_path)) {
        return "OUTPUT '" + opts.output_path + "' is the same file as NETWORK '" + opts.network_path +
               "'; refusing to replace it";
    }
    if (!opts.proposes_candidates() && same_existing_file(opts.output_path, opts.pairs_path)) {
        return "OUTPUT '" + opts.output_path + "' is the same file as PAIRS '" + opts.pairs_path +
               "'; refusing to replace it";
    }
    return {};
}

// PAIRS and --names MAP are read after NETWORK: one that cannot be read is refused before the
// network is (the network itself reports its own error when it is read).
std::string check_inputs_readable(const options& opts) {
    for (const std::string* path : {&opts.pairs_path, &opts.names_path}) {
        if (path->empty() || (path == &opts.pairs_path && opts.proposes_candidates())) continue;
        if (::access(path->c_str(), R_OK) != 0) return *path + ": cannot read: " + std::strerror(errno);
    }
    return {};
}

// Progress of the re-weighting rounds, at most every few seconds, and where they are cut short.
std::function<void(const round_report&)> round_reporter(std::FILE* log, int rounds) {
    constexpr double report_every_seconds = 5.0;
    const int last_round = rounds - 1;
    return [log, last_round, last = clock_type::now()](const round_report& report) mutable {
        if (report.period == 1) {
            std::fprintf(log, "vornel: round %d of %d changed no weight: the remaining rounds would change none\n",
                         report.round, last_round);
        } else if (report.period > 1) {
            std::fprintf(log,
                         "vornel: weights repeat every %d rounds from round %d of %d: rounds that would "
                         "repeat them are skipped\n",
                         report.period, report.round, last_round);
        } else if (seconds_since(last) >= report_every_seconds) {
            last = clock_type::now();
            std::fprintf(log, "vornel: round %d of %d: %llu weights changed\n", report.round, last_round,
                         as_llu(report.changed));
        }
    };
}

// The records a run writes: every one its method makes, or those within its bound, picked as
// they are made; and how many were made.
struct scored_records {
    record_runs runs;
    std::uint64_t made = 0;
};

scored_records score_within_bound(const method_entry& method, scoring_job& job, const record_bound& bound) {
    scored_records scored;
    if (!bound.bounded()) {
        scored.runs = method.score(job);
        scored.made = total_records(scored.runs);
        return scored;
    }
    record_selection selection(bound, job.threads);
    selection.attach(job);
    record_runs rest = method.score(job);
    hand_over_rest(rest);
    rest.clear();
    scored.made = selection.seen();
    scored.runs = selection.release();
    return scored;
}

// What the bound keeps, for the log: "the best 500", "those scoring at least 0.5", or both.
std::string describe_bound(const record_bound& bound) {
    std::string text;
    if (bound.top) text = "the best " + std::to_string(*bound.top);
    if (bound.min_score) {
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, *bound.min_score).ptr;
        text += (text.empty() ? "those" : "") + std::string(" scoring at least ") + std::string(digits, end);
    }
    return text;
}

void report_scored(std::FILE* log, const scored_records& scored, const record_bound& bound, double seconds,
                   const std::string& output_path) {
    std::fprintf(log, "vornel: %llu pairs with a non-zero score after %.2f s (cpu %.2f s); ", as_llu(scored.made),
                 seconds, cpu_seconds());
    if (bound.bounded()) {
        std::fprintf(log, "%llu kept (%s); ", as_llu(total_records(scored.runs)), describe_bound(bound).c_str());
    }
    std::fprintf(log, "sorting and writing %s\n", output_path.c_str());
}

// Sorts and writes the records into OUTPUT in the encoding its name asks for, and commits it;
// returns the error line, or "".
std::string write_output(record_runs& runs, const pair_naming& naming, unsigned threads, output_file& out,
                         std::FILE* log) {
    output_encoding encoding = encoding_for_path(out.path());
    if (encoding.lines == line_style::graphml) {
        graphml_frame frame = make_graphml_frame(runs, naming, out.path());
        if (!frame.error.empty()) return frame.error;
        encoding.prologue = std::move(frame.prologue);
        encoding.epilogue = std::move(frame.epilogue);
    }
    {
        work_progress writing;
        const progress_scope counted(writing);
        const progress_meter meter(log, "sorting and writing " + out.path(), writing);
        if (!write_sorted_records(runs, naming, threads, out, encoding)) return out.error();
    }
    return out.commit() ? std::string() : out.error();
}

// What a run refuses before it reads anything: an unknown method, an OUTPUT that is an input,
// and --names with a GraphML OUTPUT.
std::string check_run(const options& opts) {
    if (!find_method(opts.method)) return "unknown method '" + opts.method + "'";
    if (std::string refusal = check_output_is_no_input(opts); !refusal.empty()) return refusal;
    // GraphML has no column for the readable names: refused rather than silently left out.
    if (!opts.names_path.empty() && encoding_for_path(opts.output_path).lines == line_style::graphml) {
        std::string refusal = "--names adds a column to a tab-separated OUTPUT; the GraphML OUTPUT '";
        return refusal.append(opts.output_path).append("' has no place for it");
    }
    return {};
}

// The inputs of a scoring run, read.
struct run_inputs {
    network_result read;
    listed_result listed; // empty when proposing candidates
    readable_names names; // empty without --names
};

// Reads NETWORK and PAIRS and checks the network; returns the error line, or "".
std::string read_inputs(const options& opts, const method_entry& method, run_inputs& in, std::FILE* log) {
    {
        const reading_meter meter(log, opts.network_path);
        in.read = read_network(opts.network_path, opts.formats, method.weighted);
    }
    if (!in.read.error.empty()) return in.read.error;
    if (!opts.proposes_candidates()) {
        if (same_regular_file(opts.pairs_path, opts.network_path)) {
            in.listed = listed_pairs_of_network(in.read);
        } else {
            const reading_meter meter(log, opts.pairs_path);
            in.listed = read_listed_pairs(opts.pairs_path, in.read.net, opts.formats);
        }
        if (!in.listed.error.empty()) return in.listed.error;
    }
    in.read.lines = {};
    if (in.read.net.interaction_count() == 0) return empty_network_error(opts.network_path, in.read.table);
    return {};
}

// The log lines of the inputs (once both files are read, so that a bad input gives a single
// error line), and --names read; returns the error line, or "".
std::string report_inputs(const options& opts, const method_entry& method, run_inputs& in, std::FILE* log) {
    const network& net = in.read.net;
    report_table(log, "network", opts.network_path, in.read.table, in.read.counts);
    report_cut(log, opts.network_path, opts.formats.min_weight, in.read.table, in.read.counts);
    report_network(log, opts.network_path, net, in.read.counts);
    if (!opts.proposes_candidates()) {
        report_table(log, "pairs", opts.pairs_path, in.listed.table, in.listed.counts);
        report_listed(log, opts.pairs_path, in.listed.listed, in.listed.counts);
    }
    if (!opts.names_path.empty()) {
        in.names = read_readable_names(opts.names_path, net);
        if (!in.names.error.empty()) return in.names.error;
        std::fprintf(log, "vornel: names %s: %llu of %u proteins named; %llu keep their identifier\n",
                     opts.names_path.c_str(), as_llu(in.names.mapped), net.protein_count(), as_llu(in.names.missing));
    }
    if (method.weighted && !net.weighted()) {
        std::fprintf(log,
                     "vornel: network %s has no weights (%llu interactions without a weight, a number >= 0): "
                     "%s weighs every interaction 1\n",
                     opts.network_path.c_str(), as_llu(in.read.counts.pairs_without_weight), opts.method.c_str());
    }
    return {};
}

// The run's job, with its notes and round reports going to the log, and the log lines of its
// rounds and threads.
scoring_job logged_job(const options& opts, const method_entry& method, const run_inputs& in, std::FILE* log) {
    const network& net = in.read.net;
    scoring_job job =
        make_scoring_job(net, opts.proposes_candidates() ? nullptr : &in.listed.listed, opts.iterations, opts.threads);
    job.note = [log](const std::string& line) { std::fprintf(log, "vornel: %s\n", line.c_str()); };
    if (method.iterative && opts.iterations < 1) {
        std::fprintf(log, "vornel: ITERATIONS %lld is below 1: running one round\n", opts.iterations);
    }
    if (method.iterative) job.round_done = round_reporter(log, job.rounds);
    if (opts.threads > job.threads) {
        std::fprintf(log, "vornel: %u threads requested; starting %u: %u proteins give work for no more\n",
                     opts.threads, job.threads, net.protein_count());
    }
    std::fprintf(log, "vornel: scoring %s with %s on %u thread%s\n",
                 job.listed ? "the listed pairs" : "candidate pairs", opts.method.c_str(), job.threads,
                 job.threads == 1 ? "" : "s");
    return job;
}

// Scores the job under a progress meter; false when memory ran out.
bool score_with_meter(const options& opts, const method_entry& method, scoring_job& job, scored_records& records,
                      std::FILE* log) {
    try {
        work_progress scoring;
        const progress_scope counted(scoring);
        const progress_meter meter(log, "scoring with " + opts.method, scoring);
        records = score_within_bound(method, job, record_bound{opts.top, opts.min_score});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::string score_and_write(const options& opts, std::FILE* log) {
    const auto start = clock_type::now();
    if (std::string refusal = check_run(opts); !refusal.empty()) return refusal;
    const method_entry& method = *find_method(opts.method);
    if (std::string refusal = check_inputs_readable(opts); !refusal.empty()) return refusal;
    output_file out(opts.output_path);
    if (!out.error().empty()) return out.error();
    run_inputs in;
    if (std::string error = read_inputs(opts, method, in, log); !error.empty()) return error;
    if (std::string error = report_inputs(opts, method, in, log); !error.empty()) return error;
    const network& net = in.read.net;
    scoring_job job = logged_job(opts, method, in, log);

    scored_records records;
    if (!score_with_meter(opts, method, job, records, log)) return "out of memory while scoring";
    const std::size_t written = total_records(records.runs);
    report_scored(log, records, record_bound{opts.top, opts.min_score}, seconds_since(start), opts.output_path);

    const pair_naming naming{&net, job.listed, opts.names_path.empty() ? nullptr : &in.names.by_protein};
    if (std::string error = write_output(records.runs, naming, job.threads, out, log); !error.empty()) return error;

    const std::uint64_t scored = job.listed ? job.listed->pairs.size() : records.made;
    std::fprintf(log,
                 "vornel: done: %u proteins, %llu interactions, %llu pairs scored, %llu written, %.2f s "
                 "(cpu %.2f s)\n",
                 net.protein_count(), as_llu(net.interaction_count()), as_llu(scored), as_llu(written),
                 seconds_since(start), cpu_seconds());
    return {};
}

// --write-network: reads NETWORK as the options say (cut by --min-weight) and writes it as a
// plain list.
std::string write_network_only(const options& opts, std::FILE* log) {
    if (same_existing_file(opts.write_network_path, opts.network_path)) {
        return "--write-network '" + opts.write_network_path + "' is the same file as NETWORK '" + opts.network_path +
               "'; refusing to replace it";
    }
    output_file out(opts.write_network_path);
    if (!out.error().empty()) return out.error();
    network_result read;
    {
        const reading_meter meter(log, opts.network_path);
        read = read_network(opts.network_path, opts.formats, true);
    }
    if (!read.error.empty()) return read.error;
    report_table(log, "network", opts.network_path, read.table, read.counts);
    report_cut(log, opts.network_path, opts.formats.min_weight, read.table, read.counts);
    report_network(log, opts.network_path, read.net, read.counts);
    const listed_result listed = listed_pairs_of_network(read);
    if (!write_network_list(read.net, listed.listed, out) || !out.commit()) return out.error();
    std::fprintf(log, "vornel: wrote %llu interactions%s to %s\n", as_llu(listed.listed.pairs.size()),
                 read.net.weighted() ? " with weights" : "", opts.write_network_path.c_str());
    return {};
}

} // namespace

std::string run_scoring(const options& opts, std::FILE* log) {
    // Whatever runs out (memory, threads), the output_file is unwound before the error is
    // returned, so its temporary file is removed and an earlier OUTPUT stays as it was.
    try {
        if (!opts.write_network_path.empty()) return write_network_only(opts, log);
        return score_and_write(opts, log);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::system_error& error) {
        return std::string("cannot start a thread: ") + error.code().message();
    } catch (const std::exception& error) {
        return std::string("unexpected failure: ") + error.what();
    }
}

} // namespace vornel
