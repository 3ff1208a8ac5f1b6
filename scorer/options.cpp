#include "scorer/options.hpp"

#include "scorer/methods.hpp"

#include "io/strict_number.hpp"

#include <string_view>
#include <utility>

#ifndef VORNEL_VERSION
#define VORNEL_VERSION "unknown"
#endif

namespace vornel {

namespace {

// A bound that catches a mistyped count (10000 for 100) before it costs anything: every thread
// reserves a stack and a network-sized workspace, and no machine this runs on has more cores.
// The threads actually started are further capped by the work there is (see run_scoring).
constexpr unsigned max_threads = 1024;

// What the parse has gathered so far: the options, the positional arguments and the format
// options, which are checked together once all are read.
struct parse_state {
    parsed_options parsed;
    std::vector<std::string_view> positional;
    ppi::io::format_request formats;
    bool options_ended = false;
};

void parse_threads(std::string_view, std::string_view text, parse_state& state) {
    std::uint64_t value = 0;
    if (!ppi::io::parse_count(text, 1, max_threads, value)) {
        state.parsed.errors.push_back("--threads '" + std::string(text) + "' is not a whole number from 1 to " +
                                      std::to_string(max_threads));
        return;
    }
    state.parsed.values.threads = static_cast<unsigned>(value);
}

void parse_format_option(std::string_view name, std::string_view text, parse_state& state) {
    ppi::io::note_format_option(name, text, state.formats, state.parsed.errors);
}

void parse_names(std::string_view, std::string_view text, parse_state& state) {
    if (text.empty()) state.parsed.errors.push_back("--names is an empty file name");
    state.parsed.values.names_path = text;
}

void parse_write_network(std::string_view, std::string_view text, parse_state& state) {
    if (text.empty()) state.parsed.errors.push_back("--write-network is an empty file name");
    state.parsed.values.write_network_path = text;
}

void parse_top(std::string_view, std::string_view text, parse_state& state) {
    std::uint64_t value = 0;
    if (!ppi::io::parse_count(text, 0, ~std::uint64_t{0} >> 1, value)) {
        state.parsed.errors.push_back("--top '" + std::string(text) + "' is not a whole number of 0 or more");
        return;
    }
    state.parsed.values.top = value;
}

void parse_min_score(std::string_view, std::string_view text, parse_state& state) {
    double value = 0;
    if (!ppi::io::parse_real(text, value)) {
        state.parsed.errors.push_back("--min-score '" + std::string(text) + "' is not a finite number");
        return;
    }
    state.parsed.values.min_score = value;
}

// Options that take a value, as "--name VALUE" or "--name=VALUE"; `parse` gets the long name.
struct valued_option {
    std::string_view long_name;
    std::string_view short_name;
    void (*parse)(std::string_view, std::string_view, parse_state&);
};

constexpr valued_option valued_options[] = {
    {"--threads", "-t", parse_threads},
    {"--format", "", parse_format_option},
    {"--columns", "", parse_format_option},
    {"--taxon", "", parse_format_option},
    {"--ids", "", parse_format_option},
    {"--min-weight", "", parse_format_option},
    {"--names", "", parse_names},
    {"--write-network", "", parse_write_network},
    {"--top", "", parse_top},
    {"--min-score", "", parse_min_score},
};

// Options without a value.
struct flag_option {
    std::string_view long_name;
    std::string_view short_name;
    void (*apply)(parse_state&);
};

constexpr flag_option flag_options[] = {
    {"--help", "-h", [](parse_state& state) { state.parsed.values.action = requested_action::help; }},
    {"--version", "", [](parse_state& state) { state.parsed.values.action = requested_action::version; }},
    {"--genetic", "", [](parse_state& state) { state.formats.genetic = true; }},
    {"--", "", [](parse_state& state) { state.options_ended = true; }},
};

std::string method_names() {
    std::string names;
    for (const method_entry& entry : all_methods()) {
        if (!names.empty()) names += ", ";
        names += entry.name;
    }
    return names;
}

// --write-network OUT NETWORK: the network read (and cut) is all there is to do.
void check_write_network(const std::vector<std::string_view>& positional, parsed_options& parsed) {
    if (positional.size() != 1) {
        parsed.missing_arguments = positional.empty();
        parsed.errors.push_back("--write-network takes one argument, NETWORK, got " +
                                std::to_string(positional.size()));
        return;
    }
    parsed.values.network_path = positional[0];
    if (parsed.values.network_path.empty()) parsed.errors.push_back("NETWORK is an empty file name");
    if (!parsed.values.names_path.empty()) parsed.errors.push_back("--names applies to OUTPUT, not to --write-network");
    if (parsed.values.top) parsed.errors.push_back("--top applies to OUTPUT, not to --write-network");
    if (parsed.values.min_score) parsed.errors.push_back("--min-score applies to OUTPUT, not to --write-network");
}

void check_positionals(const std::vector<std::string_view>& positional, parsed_options& parsed) {
    if (!parsed.values.write_network_path.empty()) return check_write_network(positional, parsed);
    if (positional.size() < 5) {
        parsed.missing_arguments = true;
        parsed.errors.push_back("expected 5 arguments (NETWORK PAIRS METHOD ITERATIONS OUTPUT), got " +
                                std::to_string(positional.size()));
        return;
    }
    if (positional.size() > 5) {
        parsed.errors.push_back("expected 5 arguments, got " + std::to_string(positional.size()) + " (first extra: '" +
                                std::string(positional[5]) + "')");
    }
    options& values = parsed.values;
    values.network_path = positional[0];
    values.pairs_path = positional[1];
    values.method = positional[2];
    values.output_path = positional[4];
    if (values.network_path.empty()) parsed.errors.push_back("NETWORK is an empty file name");
    if (values.pairs_path.empty()) parsed.errors.push_back("PAIRS is an empty file name");
    if (values.output_path.empty()) parsed.errors.push_back("OUTPUT is an empty file name");
    if (!find_method(values.method)) {
        parsed.errors.push_back("unknown method '" + values.method + "' (known: " + method_names() + ")");
    }
    if (!ppi::io::parse_integer(positional[3], values.iterations)) {
        parsed.errors.push_back("ITERATIONS '" + std::string(positional[3]) + "' is not an integer");
    }
}

bool names_option(std::string_view arg, std::string_view long_name, std::string_view short_name) {
    return arg == long_name || (!short_name.empty() && arg == short_name);
}

// The valued option `arg` names (alone or with "=VALUE"), or null.
const valued_option* find_valued(std::string_view arg) {
    for (const valued_option& option : valued_options) {
        if (names_option(arg, option.long_name, option.short_name)) return &option;
        if (arg.starts_with(option.long_name) && arg.size() > option.long_name.size() &&
            arg[option.long_name.size()] == '=') {
            return &option;
        }
    }
    return nullptr;
}

const flag_option* find_flag(std::string_view arg) {
    for (const flag_option& flag : flag_options) {
        if (names_option(arg, flag.long_name, flag.short_name)) return &flag;
    }
    return nullptr;
}

// The value of `option` from "--name=VALUE" or from the next argument (then consumed).
void take_value(const valued_option& option, std::span<const char* const> args, std::size_t& i, parse_state& state) {
    const std::string_view arg = args[i];
    if (arg.size() > option.long_name.size() && arg[option.long_name.size()] == '=') {
        option.parse(option.long_name, arg.substr(option.long_name.size() + 1), state);
    } else if (i + 1 == args.size()) {
        state.parsed.errors.push_back(std::string(arg) + " needs a value");
    } else {
        option.parse(option.long_name, args[++i], state);
    }
}

void take_argument(std::span<const char* const> args, std::size_t& i, parse_state& state) {
    const std::string_view arg = args[i];
    if (state.options_ended || arg.size() < 2 || arg.front() != '-') {
        state.positional.push_back(arg);
    } else if (const flag_option* flag = find_flag(arg)) {
        flag->apply(state);
    } else if (const valued_option* option = find_valued(arg)) {
        take_value(*option, args, i, state);
    } else if (arg[1] >= '0' && arg[1] <= '9') {
        state.positional.push_back(arg); // a negative ITERATIONS value
    } else {
        state.parsed.errors.push_back("unknown option '" + std::string(arg) + "'");
    }
}

// The help's list of methods, one line each, and how the weighted ones read weights.
std::string method_list_text() {
    std::string text;
    for (const method_entry& entry : all_methods()) {
        std::string name(entry.name);
        name.resize(9, ' ');
        text += "  " + name + std::string(entry.summary) + "\n";
    }
    return text +
           "\n"
           "Weighted methods (-w) take the weight w of an interaction from NETWORK: a plain list's\n"
           "numeric third column, or the confidence column of a STRING or PSI-MITAB file (s_x: the\n"
           "sum of x's weights; a repeated pair keeps its largest weight). On a network without\n"
           "weights every interaction weighs 1. The other methods ignore weights.\n";
}

} // namespace

parsed_options parse_options(std::span<const char* const> args) {
    parse_state state;
    for (std::size_t i = 0; i < args.size(); ++i) {
        take_argument(args, i, state);
        if (state.parsed.values.action != requested_action::score) return state.parsed;
    }
    for (const auto& error : ppi::io::check_format_options(state.formats, state.parsed.values.formats)) {
        state.parsed.errors.push_back(error.command_line_text());
    }
    check_positionals(state.positional, state.parsed);
    return std::move(state.parsed);
}

std::string help_text() {
    std::string text =
        "Usage: vornel [OPTIONS] NETWORK PAIRS METHOD ITERATIONS OUTPUT\n"
        "       vornel evaluate [OPTIONS] NETWORK   (which method fits NETWORK; see\n"
        "                                           vornel evaluate --help)\n"
        "\n"
        "Scores protein pairs of an interaction network by its topology and writes\n"
        "\"A<TAB>B<TAB>score\" lines to OUTPUT, best first, pairs with a zero score left out.\n"
        "\n"
        "  NETWORK     interactions, one per line: two identifiers separated by blanks or tabs\n"
        "              (a numeric third column is a weight, further columns ignored; blank\n"
        "              lines and lines starting with # skipped), or a STRING, BioGRID,\n"
        "              PSI-MITAB, HuRI, BioPlex, HIPPIE, HINT or comma-separated file,\n"
        "              recognised by its content\n"
        "  PAIRS       pairs to score, in the same format, or NULL to propose every\n"
        "              non-interacting pair with a non-zero score\n"
        "  METHOD      one of the methods below\n"
        "  ITERATIONS  rounds of the iterative method (below 1 means 1); others ignore it\n"
        "  OUTPUT      result file, replaced only when the run succeeds; a name ending\n"
        "              in .gz is written gzip-compressed, one ending in .graphml (or\n"
        "              .graphml.gz) as GraphML (Cytoscape, networkx), scores on the edges\n"
        "\n"
        "Options:\n"
        "  -t, --threads N  worker threads (default: the processors this process may use,\n"
        "                   by CPU affinity and cgroup quota)\n"
        "      --format F   read NETWORK and PAIRS as F (default: detected), one of\n"
        "                   plain, string, string-export, biogrid, mitab, huri,\n"
        "                   huri-table9, bioplex, hippie, hint, csv\n"
        "      --columns A,B[,W]  identifiers from columns A and B, weights from W\n"
        "                   (numbers from 1, or names from the header line)\n"
        "      --taxon ID   keep interactions whose two proteins are of NCBI taxon ID\n"
        "                   (PSI-MITAB, BioGRID, STRING protein.links)\n"
        "      --ids KIND   BioGRID/BioPlex/HIPPIE/HINT identifiers: entrez (default),\n"
        "                   biogrid, systematic, symbol, uniprot (SWISS-PROT)\n"
        "      --genetic    BioGRID: keep genetic interactions too (default: physical only)\n"
        "      --min-weight X  keep only the interactions of NETWORK whose weight is at\n"
        "                   least X (weights as read, 0-1: STRING's combined_score 700 is 0.7)\n"
        "      --names MAP  add a fourth OUTPUT column of readable names, \"nameA|nameB\",\n"
        "                   from MAP: STRING's protein.info or any two-column table (id name)\n"
        "      --write-network FILE  read NETWORK (as the options say), write it to FILE\n"
        "                   as a plain list \"A<TAB>B[<TAB>weight]\" and score nothing:\n"
        "                   vornel --write-network FILE [OPTIONS] NETWORK\n"
        "      --top K      write only the best K pairs (the first K lines of the full OUTPUT)\n"
        "      --min-score S  write only the pairs scoring at least S\n"
        "  -h, --help       show this help\n"
        "      --version    show the version\n"
        "\n"
        "Methods:\n";
    return text + method_list_text();
}

std::string version_line() { return std::string("vornel ") + VORNEL_VERSION; }

} // namespace vornel
