#include "scorer/run_scoring.hpp"

#include "scorer/methods.hpp"
#include "scorer/output.hpp"

#include <chrono>
#include <sys/stat.h>
#include <ctime>
#include <new>
#include <thread>

namespace vornel {

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Processor time of all threads so far, in seconds.
double cpu_seconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

unsigned resolve_threads(unsigned requested) {
    if (requested > 0) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

unsigned long long ull(std::uint64_t value) { return static_cast<unsigned long long>(value); }

// The format lines of a pair file; nothing for a plain edge list, whose log stays as it was.
void report_table(std::FILE* log, const char* role, const std::string& path, const table_report& table,
                  const pair_file_counts& c) {
    if (table.layout.family == ppi::io::table_family::plain) return;
    std::fprintf(log, "vornel: %s %s: format %s\n", role, path.c_str(), ppi::io::describe_layout(table.layout).c_str());
    const std::string skips = ppi::io::describe_skips(table.layout, table.skipped);
    const std::uint64_t skipped = table.skipped.genetic + table.skipped.other_taxon + table.skipped.missing_id;
    std::fprintf(log, "vornel: %s %s: %llu rows, %llu pairs read%s%s; %s\n", role, path.c_str(),
                 ull(c.pairs_read + skipped), ull(c.pairs_read), skips.empty() ? "" : "; skipped: ", skips.c_str(),
                 table.has_weights ? "with weights" : "no weights");
}

void report_network(std::FILE* log, const std::string& path, const network& net, const pair_file_counts& c) {
    std::fprintf(log,
                 "vornel: network %s: %u proteins, %llu interactions (%llu self-pairs dropped, "
                 "%llu repeated pairs merged)\n",
                 path.c_str(), net.protein_count(), ull(net.interaction_count()), ull(c.self_pairs),
                 ull(c.repeated_pairs));
}

void report_listed(std::FILE* log, const std::string& path, const listed_pairs& listed, const pair_file_counts& c) {
    std::fprintf(log,
                 "vornel: pairs %s: %llu pairs to score (%llu self-pairs dropped, %llu repeated pairs "
                 "merged, %llu with a protein missing from the network score 0)\n",
                 path.c_str(), ull(listed.pairs.size()), ull(c.self_pairs), ull(c.repeated_pairs),
                 ull(c.unknown_pairs));
}

// Whether two names refer to the same existing file (then it is read only once).
bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino && S_ISREG(sa.st_mode);
}

std::size_t total_records(const record_runs& runs) {
    std::size_t total = 0;
    for (const auto& run : runs) total += run.size();
    return total;
}

}  // namespace

std::string run_scoring(const options& opts, std::FILE* log) {
    const auto start = clock_type::now();
    const method_entry* method = find_method(opts.method);
    if (!method) return "unknown method '" + opts.method + "'";

    output_file out(opts.output_path);
    if (!out.error().empty()) return out.error();

    network_result read = read_network(opts.network_path, opts.formats, method->weighted);
    if (!read.error.empty()) return read.error;
    const network& net = read.net;
    listed_result listed;
    if (!opts.proposes_candidates()) {
        listed = same_file(opts.pairs_path, opts.network_path) ? listed_pairs_of_network(read)
                                                               : read_listed_pairs(opts.pairs_path, net, opts.formats);
        if (!listed.error.empty()) return listed.error;
    }
    read.lines = {};
    // Reported only once both files are read, so that a bad input gives a single error line.
    report_table(log, "network", opts.network_path, read.table, read.counts);
    report_network(log, opts.network_path, net, read.counts);
    if (!opts.proposes_candidates()) {
        report_table(log, "pairs", opts.pairs_path, listed.table, listed.counts);
        report_listed(log, opts.pairs_path, listed.listed, listed.counts);
    }
    if (method->weighted && !net.weighted()) {
        std::fprintf(log, "vornel: network %s has no weights (%llu interactions without a weight, a number >= 0): "
                          "%s weighs every interaction 1\n",
                     opts.network_path.c_str(), ull(read.counts.pairs_without_weight), opts.method.c_str());
    }

    scoring_job job;
    job.net = &net;
    job.listed = opts.proposes_candidates() ? nullptr : &listed.listed;
    job.threads = resolve_threads(opts.threads);
    job.note = [log](const std::string& line) { std::fprintf(log, "vornel: %s\n", line.c_str()); };
    job.rounds = static_cast<int>(std::min<long long>(std::max<long long>(opts.iterations, 1), 1 << 30));
    if (method->iterative && opts.iterations < 1) {
        std::fprintf(log, "vornel: ITERATIONS %lld is below 1: running one round\n", opts.iterations);
    }
    std::fprintf(log, "vornel: scoring %s with %s on %u thread%s\n",
                 job.listed ? "the listed pairs" : "candidate pairs", opts.method.c_str(), job.threads,
                 job.threads == 1 ? "" : "s");

    record_runs runs;
    try {
        runs = method->score(job);
    } catch (const std::bad_alloc&) {
        return "out of memory while scoring";
    }
    const std::size_t written = total_records(runs);
    std::fprintf(log, "vornel: %llu pairs with a non-zero score after %.2f s (cpu %.2f s); sorting and writing %s\n",
                 ull(written), seconds_since(start), cpu_seconds(), opts.output_path.c_str());

    const pair_naming naming{&net, job.listed};
    if (!write_sorted_records(runs, naming, job.threads, out) || !out.commit()) return out.error();

    const std::uint64_t scored = job.listed ? job.listed->pairs.size() : written;
    std::fprintf(log,
                 "vornel: done: %u proteins, %llu interactions, %llu pairs scored, %llu written, %.2f s "
                 "(cpu %.2f s)\n",
                 net.protein_count(), ull(net.interaction_count()), ull(scored), ull(written),
                 seconds_since(start), cpu_seconds());
    return {};
}

}  // namespace vornel
