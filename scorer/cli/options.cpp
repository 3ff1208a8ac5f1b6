#include "scorer/cli/options.hpp"

#include "scorer/cli/method_registry.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#ifndef VORNEL_VERSION
#define VORNEL_VERSION "unknown"
#endif

namespace vornel {

namespace {

// A bound that catches a mistyped count (10000 for 100) before it costs anything: every thread
// reserves a stack and a network-sized workspace, and no machine this runs on has more cores.
// The threads actually started are further capped by the work there is (see run_scoring).
constexpr unsigned max_threads = 1024;

// Whole-string integer parse with one optional leading '+' or '-' ("+-5" and "-+5" are not
// numbers; from_chars takes a '-' but no '+', so a '+' is removed first and a sign after it
// refused).
bool parse_integer(std::string_view text, long long& value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) return false;
    }
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

void parse_threads(std::string_view text, parsed_options& parsed) {
    long long value = 0;
    if (!parse_integer(text, value) || value < 1 || value > max_threads) {
        parsed.errors.push_back("--threads '" + std::string(text) + "' is not a whole number from 1 to " +
                                std::to_string(max_threads));
        return;
    }
    parsed.values.threads = static_cast<unsigned>(value);
}

void parse_format(std::string_view text, parsed_options& parsed) {
    if (!ppi::io::is_format_name(text)) {
        parsed.errors.push_back("--format '" + std::string(text) + "' is not one of " + ppi::io::format_names());
        return;
    }
    parsed.values.formats.format = text;
}

void parse_columns(std::string_view text, parsed_options& parsed) {
    std::size_t items = 1;
    bool empty_item = text.empty() || text.front() == ',' || text.back() == ',';
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ',') continue;
        ++items;
        if (i + 1 < text.size() && text[i + 1] == ',') empty_item = true;
    }
    if (empty_item || items < 2 || items > 3) {
        parsed.errors.push_back("--columns '" + std::string(text) +
                                "' is not A,B or A,B,W (column numbers from 1 or header names)");
        return;
    }
    parsed.values.formats.columns = text;
}

void parse_taxon(std::string_view text, parsed_options& parsed) {
    const bool digits = !text.empty() && text.size() <= 12 &&
                        text.find_first_not_of("0123456789") == std::string_view::npos;
    if (!digits) {
        parsed.errors.push_back("--taxon '" + std::string(text) + "' is not an NCBI taxon id (digits)");
        return;
    }
    parsed.values.formats.taxon = text;
}

void parse_ids(std::string_view text, parsed_options& parsed) {
    if (!ppi::io::parse_id_choice(text, parsed.values.formats.ids)) {
        parsed.errors.push_back("--ids '" + std::string(text) +
                                "' is not one of entrez, biogrid, systematic, symbol, uniprot");
    }
}

void parse_min_weight(std::string_view text, parsed_options& parsed) {
    double value = 0;
    if (!ppi::io::parse_number(text, value)) {
        parsed.errors.push_back("--min-weight '" + std::string(text) + "' is not a number");
        return;
    }
    parsed.values.formats.min_weight = value;
}

void parse_names(std::string_view text, parsed_options& parsed) {
    if (text.empty()) parsed.errors.push_back("--names is an empty file name");
    parsed.values.names_path = text;
}

void parse_write_network(std::string_view text, parsed_options& parsed) {
    if (text.empty()) parsed.errors.push_back("--write-network is an empty file name");
    parsed.values.write_network_path = text;
}

void parse_top(std::string_view text, parsed_options& parsed) {
    long long value = 0;
    if (!parse_integer(text, value) || value < 0) {
        parsed.errors.push_back("--top '" + std::string(text) + "' is not a whole number of 0 or more");
        return;
    }
    parsed.values.top = static_cast<std::uint64_t>(value);
}

void parse_min_score(std::string_view text, parsed_options& parsed) {
    double value = 0;
    if (!ppi::io::parse_number(text, value)) {
        parsed.errors.push_back("--min-score '" + std::string(text) + "' is not a finite number");
        return;
    }
    parsed.values.min_score = value;
}

// Options that take a value, as "--name VALUE" or "--name=VALUE".
struct valued_option {
    std::string_view long_name;
    std::string_view short_name;
    void (*parse)(std::string_view, parsed_options&);
};

constexpr valued_option valued_options[] = {
    {"--threads", "-t", parse_threads}, {"--format", "", parse_format}, {"--columns", "", parse_columns},
    {"--taxon", "", parse_taxon},       {"--ids", "", parse_ids},
    {"--min-weight", "", parse_min_weight}, {"--names", "", parse_names}, {"--write-network", "", parse_write_network},
    {"--top", "", parse_top},           {"--min-score", "", parse_min_score},
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
        parsed.errors.push_back("--write-network takes one argument, NETWORK, got " + std::to_string(positional.size()));
        return;
    }
    parsed.values.network_path = positional[0];
    if (parsed.values.network_path.empty()) parsed.errors.push_back("NETWORK is an empty file name");
    if (!parsed.values.names_path.empty()) parsed.errors.push_back("--names applies to OUTPUT, not to --write-network");
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
        parsed.errors.push_back("expected 5 arguments, got " + std::to_string(positional.size()) +
                                " (first extra: '" + std::string(positional[5]) + "')");
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
    if (!parse_integer(positional[3], values.iterations)) {
        parsed.errors.push_back("ITERATIONS '" + std::string(positional[3]) + "' is not an integer");
    }
}

// The valued option `arg` names (alone or with "=VALUE"), or null.
const valued_option* find_valued(std::string_view arg) {
    for (const valued_option& option : valued_options) {
        if (arg == option.long_name || (!option.short_name.empty() && arg == option.short_name)) return &option;
        if (arg.starts_with(option.long_name) && arg.size() > option.long_name.size() &&
            arg[option.long_name.size()] == '=') {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

parsed_options parse_options(std::span<const char* const> args) {
    parsed_options parsed;
    std::vector<std::string_view> positional;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (options_ended || arg.size() < 2 || arg.front() != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-h" || arg == "--help") {
            parsed.values.action = requested_action::help;
            return parsed;
        } else if (arg == "--version") {
            parsed.values.action = requested_action::version;
            return parsed;
        } else if (arg == "--genetic") {
            parsed.values.formats.keep_genetic = true;
        } else if (const valued_option* option = find_valued(arg)) {
            if (arg.size() > option->long_name.size() && arg[option->long_name.size()] == '=') {
                option->parse(arg.substr(option->long_name.size() + 1), parsed);
            } else if (i + 1 == args.size()) {
                parsed.errors.push_back(std::string(arg) + " needs a value");
            } else {
                option->parse(args[++i], parsed);
            }
        } else if (arg.size() > 1 && arg[1] >= '0' && arg[1] <= '9') {
            positional.push_back(arg);  // a negative ITERATIONS value
        } else {
            parsed.errors.push_back("unknown option '" + std::string(arg) + "'");
        }
    }
    check_positionals(positional, parsed);
    return parsed;
}

namespace {

// The help's list of methods, from the registry, and what the weighted ones read.
std::string methods_text() {
    std::string text = "Methods:\n";
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

}  // namespace

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
        "\n";
    return text + methods_text();
}

std::string version_line() { return std::string("vornel ") + VORNEL_VERSION; }

}  // namespace vornel
