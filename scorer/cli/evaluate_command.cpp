#include "scorer/cli/evaluate_command.hpp"

#include "io/same_file.hpp"
#include "io/strict_number.hpp"
#include "scorer/cli/evaluation_progress.hpp"
#include "scorer/cli/method_registry.hpp"
#include "scorer/cli/options.hpp"
#include "scorer/cli/progress_meter.hpp"
#include "scorer/evaluate/report.hpp"
#include "scorer/graph/empty_network.hpp"
#include "scorer/output/gnuplot_png.hpp"
#include "scorer/output/output_file.hpp"
#include "scorer/parallel/processors.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace vornel {

namespace {

// What the parse has gathered so far; the format options are checked together once all are read.
struct evaluate_parse_state {
    parsed_evaluate_options parsed;
    std::vector<std::string_view> positional;
    ppi::io::format_request formats;
    bool only_proposing = false;
    bool only_filtering = false;
};

std::vector<std::string_view> split_commas(std::string_view text) {
    std::vector<std::string_view> items;
    for (;;) {
        const std::size_t comma = text.find(',');
        items.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return items;
        text.remove_prefix(comma + 1);
    }
}

void parse_methods(std::string_view, std::string_view text, evaluate_parse_state& state) {
    auto& methods = state.parsed.values.settings.methods;
    methods.clear();
    for (const std::string_view name : split_commas(text)) {
        if (!find_method(name)) {
            state.parsed.errors.push_back("--methods: unknown method '" + std::string(name) + "'");
        } else if (std::find(methods.begin(), methods.end(), name) == methods.end()) {
            methods.emplace_back(name);
        }
    }
}

void parse_top(std::string_view, std::string_view text, evaluate_parse_state& state) {
    auto& top = state.parsed.values.settings.top_k;
    top.clear();
    for (const std::string_view item : split_commas(text)) {
        std::uint64_t k = 0;
        if (!ppi::io::parse_count(item, 1, std::uint64_t{1} << 40, k)) {
            state.parsed.errors.push_back("--top '" + std::string(text) + "' is not a list of whole numbers >= 1");
            return;
        }
        top.push_back(k);
    }
}

// A share strictly between 0 and 1.
void parse_share(std::string_view name, std::string_view text, double& share, evaluate_parse_state& state) {
    if (!ppi::io::parse_real(text, share) || share <= 0 || share >= 1) {
        state.parsed.errors.push_back(std::string(name) + " '" + std::string(text) +
                                      "' is not a number between 0 and 1");
    }
}

// A share above 0 and at most 1.
void parse_sample(std::string_view name, std::string_view text, evaluate_parse_state& state) {
    double& share = state.parsed.values.sample_share;
    if (!ppi::io::parse_real(text, share) || share <= 0 || share > 1) {
        state.parsed.errors.push_back(std::string(name) + " '" + std::string(text) +
                                      "' is not a number above 0 and at most 1");
        share = 0;
    }
}

// A whole number from `low` to `high`; 0 when it is not one (the error is reported).
std::uint64_t parse_bounded(std::string_view name, std::string_view text, std::uint64_t low, std::uint64_t high,
                            evaluate_parse_state& state) {
    std::uint64_t value = 0;
    if (!ppi::io::parse_count(text, low, high, value)) {
        state.parsed.errors.push_back(std::string(name) + " '" + std::string(text) + "' is not a whole number from " +
                                      std::to_string(low) + " to " + std::to_string(high));
        return 0;
    }
    return value;
}

// The format options are read as the scorer reads them; their words are kept for the cut line.
void parse_format_option(std::string_view name, std::string_view text, evaluate_parse_state& state) {
    ppi::io::note_format_option(name, text, state.formats, state.parsed.errors);
    state.parsed.values.reading_options.emplace_back(name);
    state.parsed.values.reading_options.emplace_back(text);
}

void parse_plot(std::string_view, std::string_view text, evaluate_parse_state& state) {
    if (text.empty()) state.parsed.errors.push_back("--plot needs a file name");
    state.parsed.values.plot_path = text;
}

evaluation_settings& settings_of(evaluate_parse_state& state) { return state.parsed.values.settings; }

// Options that take a value, as "--name VALUE" or "--name=VALUE"; `parse` gets the long name.
struct valued_option {
    std::string_view long_name;
    std::string_view short_name;
    void (*parse)(std::string_view, std::string_view, evaluate_parse_state&);
};

constexpr valued_option valued_options[] = {
    {"--methods", "", parse_methods},
    {"--top", "", parse_top},
    {"--hide", "",
     [](auto name, auto text, auto& state) { parse_share(name, text, settings_of(state).hide_share, state); }},
    {"--plant", "",
     [](auto name, auto text, auto& state) { parse_share(name, text, settings_of(state).plant_share, state); }},
    {"--repeats", "",
     [](auto name, auto text, auto& state) {
         settings_of(state).repeats = static_cast<int>(parse_bounded(name, text, 1, 1000, state));
     }},
    {"--seed", "",
     [](auto name, auto text, auto& state) {
         settings_of(state).seed = parse_bounded(name, text, 0, ~std::uint64_t{0}, state);
     }},
    {"--iterations", "",
     [](auto name, auto text, auto& state) {
         settings_of(state).rounds = static_cast<int>(parse_bounded(name, text, 1, 1000, state));
     }},
    {"--threads", "-t",
     [](auto name, auto text, auto& state) {
         settings_of(state).threads = static_cast<unsigned>(parse_bounded(name, text, 1, 1024, state));
     }},
    {"--sample", "", parse_sample},
    {"--plot", "", parse_plot},
    {"--format", "", parse_format_option},
    {"--columns", "", parse_format_option},
    {"--taxon", "", parse_format_option},
    {"--ids", "", parse_format_option},
    {"--min-weight", "", parse_format_option},
};

// Options without a value.
struct flag_option {
    std::string_view name;
    void (*apply)(evaluate_parse_state&);
};

constexpr flag_option flag_options[] = {
    {"--help", [](evaluate_parse_state& state) { state.parsed.values.help = true; }},
    {"-h", [](evaluate_parse_state& state) { state.parsed.values.help = true; }},
    {"--propose-only", [](evaluate_parse_state& state) { state.only_proposing = true; }},
    {"--filter-only", [](evaluate_parse_state& state) { state.only_filtering = true; }},
    {"--genetic",
     [](evaluate_parse_state& state) {
         state.formats.genetic = true;
         state.parsed.values.reading_options.emplace_back("--genetic");
     }},
};

// The valued option named by `name` (the part of an argument before any '='), or null.
const valued_option* find_valued(std::string_view name) {
    for (const valued_option& option : valued_options) {
        if (name == option.long_name || (!option.short_name.empty() && name == option.short_name)) return &option;
    }
    return nullptr;
}

const flag_option* find_flag(std::string_view arg) {
    for (const flag_option& flag : flag_options) {
        if (arg == flag.name) return &flag;
    }
    return nullptr;
}

void take_argument(std::span<const char* const> args, std::size_t& i, evaluate_parse_state& state) {
    const std::string_view arg = args[i];
    if (arg.size() < 2 || arg.front() != '-') return state.positional.push_back(arg);
    if (const flag_option* flag = find_flag(arg)) return flag->apply(state);
    const std::size_t equals = arg.find('=');
    const valued_option* option = find_valued(arg.substr(0, equals));
    if (!option) {
        state.parsed.errors.push_back("unknown option '" + std::string(arg) + "'");
    } else if (equals != std::string_view::npos) {
        option->parse(option->long_name, arg.substr(equals + 1), state);
    } else if (i + 1 < args.size()) {
        option->parse(option->long_name, args[++i], state);
    } else {
        state.parsed.errors.push_back(std::string(arg) + " needs a value");
    }
}

// Which evaluations run, the one NETWORK, and the checks across options: the plot draws the
// proposal figures, so it needs them.
void check_whole(evaluate_parse_state& state) {
    auto& [values, errors] = state.parsed;
    for (const auto& error : ppi::io::check_format_options(state.formats, values.formats)) {
        errors.push_back(error.command_line_text());
    }
    if (state.only_proposing && state.only_filtering)
        errors.push_back("--propose-only and --filter-only exclude each other");
    values.settings.propose = !state.only_filtering;
    values.settings.filter = !state.only_proposing;
    if (state.only_filtering && !values.plot_path.empty()) {
        errors.push_back("--plot draws the proposal figures, which --filter-only skips");
    }
    if (state.positional.size() != 1) {
        errors.push_back("expected 1 argument (NETWORK), got " + std::to_string(state.positional.size()));
    } else {
        values.network_path = state.positional[0];
    }
    if (values.settings.methods.empty()) errors.push_back("--methods names no method");
}

} // namespace

parsed_evaluate_options parse_evaluate_options(std::span<const char* const> args) {
    evaluate_parse_state state;
    evaluation_settings& settings = settings_of(state);
    settings.threads = 0;
    for (const method_entry& entry : all_methods()) {
        if (in_default_evaluation(entry)) settings.methods.emplace_back(entry.name);
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        take_argument(args, i, state);
        if (state.parsed.values.help) return std::move(state.parsed);
    }
    check_whole(state);
    return std::move(state.parsed);
}

std::string evaluate_help_text() {
    return "Usage: vornel evaluate [OPTIONS] NETWORK\n"
           "\n"
           "Evaluates the methods on NETWORK itself and prints a Markdown report: for\n"
           "proposing, it hides a random share of the interactions and ranks them back\n"
           "(precision and recall at k, average precision); for filtering, it plants\n"
           "random pairs drawn in proportion to degree and scores them with the real\n"
           "interactions (AUC, planted share among the lowest fifth). Figures are mean\n"
           "+- standard deviation over the repeats; the report ends with a recommendation\n"
           "per job and the ppi-refine command line that follows from it. For a network\n"
           "read with --format, --columns, --taxon, --ids, --genetic or --min-weight,\n"
           "which ppi-refine cannot pass on, a vornel --write-network line that cuts it\n"
           "into a plain list comes first, and ppi-refine refines that list. A network too\n"
           "small to evaluate gets neither figures nor advice.\n"
           "\n"
           "Records are counted as they are scored, not kept. Precision and recall at k\n"
           "rank ties by pair as vornel's output does. Average precision places a hidden\n"
           "pair in the middle of the records scored equal to it (beyond the largest k:\n"
           "within a relative 1.5e-5 of it), where a random order of ties puts it on\n"
           "average.\n"
           "\n"
           "Options:\n"
           "      --methods A,B,..  methods to compare (default: every unweighted\n"
           "                        one but auto, l3n, sim and mps)\n"
           "      --hide SHARE      share of interactions hidden per repeat (default 0.1)\n"
           "      --plant SHARE     planted pairs per interaction (default 0.25)\n"
           "      --repeats N       repeats of each evaluation (default 5)\n"
           "      --seed N          seed of the hidden and planted draws (default 1)\n"
           "      --top K1,K2,..    k of precision and recall at k (default 100,500,1000)\n"
           "      --iterations N    rounds of iterative methods (default 2)\n"
           "      --sample SHARE    share of the rows (proposing) and of the listed pairs\n"
           "                        (filtering) scored in each repeat, drawn afresh by\n"
           "                        a seeded hash (default: 1 up to 2,000,000\n"
           "                        interactions, 2,000,000 / interactions above); the\n"
           "                        report states the share and the sampling error\n"
           "      --propose-only    skip the filtering evaluation\n"
           "      --filter-only     skip the proposal evaluation\n"
           "      --plot FILE.png   draw precision against k per method (needs gnuplot;\n"
           "                        checked before the evaluation starts)\n"
           "  -t, --threads N       worker threads (default: one per core); the figures\n"
           "                        do not depend on it\n"
           "      --format, --columns, --taxon, --ids, --genetic, --min-weight  read\n"
           "                        NETWORK as vornel does (see vornel --help)\n"
           "  -h, --help            show this help\n";
}

namespace {

// A name as a log line shows it: control characters (a newline) as \n, \t or \xNN, so one
// name stays one line and says which file it is.
std::string printable(const std::string& name) {
    std::string shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            constexpr char hex[] = "0123456789abcdef";
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 15];
        }
    }
    return shown;
}

bool same_existing_file(const std::string& a, const std::string& b) { return ppi::io::same_file(a, b).value_or(false); }

bool is_directory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Why the plot cannot go to its file, checked before any work; empty when it can.
std::string plot_refusal(const evaluate_options& opts) {
    const std::string& plot = opts.plot_path;
    if (same_existing_file(plot, opts.network_path)) {
        return "--plot '" + printable(plot) + "' is the same file as NETWORK; refusing to replace it";
    }
    if (same_existing_file(plot, "/dev/stdout")) {
        return "--plot '" + printable(plot) + "' is the report's own standard output; give the plot a file of its own";
    }
    if (is_directory(plot)) return "--plot '" + printable(plot) + "' is a directory; give a file name";
    if (!gnuplot_on_path()) return "--plot needs gnuplot, which is not on PATH";
    return {};
}

// A word as a POSIX shell reads it back: as it is when every character is safe, else quoted.
std::string shell_word(std::string_view word) {
    const bool safe = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("_-.,/:+=@%").find(c) != std::string_view::npos;
    });
    if (safe) return std::string(word);
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Where the plain cut of NETWORK goes: its file name without the directory, ".gz" and one
// further ending, then ".plain.tsv", in the working directory (never NETWORK's own name).
std::string cut_file_name(const std::string& network_path) {
    std::string name = network_path.substr(network_path.find_last_of('/') + 1);
    if (name.size() > 3 && name.ends_with(".gz")) name.resize(name.size() - 3);
    if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return (name.empty() ? std::string("network") : name) + ".plain.tsv";
}

// The vornel line that writes the network as read here, with its reading options, to cut_path;
// empty when no reading option was given (ppi-refine then reads NETWORK as it is).
std::string cut_command(const evaluate_options& opts, const std::string& cut_path) {
    if (opts.reading_options.empty()) return {};
    std::string line = "vornel --write-network " + shell_word(cut_path);
    for (const auto& word : opts.reading_options) line.append(1, ' ').append(shell_word(word));
    return line.append(1, ' ').append(shell_word(opts.network_path));
}

unsigned long long ull(std::uint64_t value) { return static_cast<unsigned long long>(value); }

bool uses_weights(const evaluation_settings& settings) {
    return std::any_of(settings.methods.begin(), settings.methods.end(),
                       [](const std::string& name) { return find_method(name)->weighted; });
}

std::string draw_plot(const evaluation_result& result, const std::string& plot_path, output_file& plot,
                      std::FILE* log) {
    if (std::string error = draw_with_gnuplot(precision_plot_script(result), plot); !error.empty()) {
        return "--plot '" + printable(plot_path) + "': " + error;
    }
    if (!plot.commit()) return plot.error();
    std::fprintf(log, "vornel evaluate: plot written to %s\n", printable(plot_path).c_str());
    return {};
}

// Seconds with one decimal, as the progress lines give them.
std::string seconds_text(double seconds) { return fixed(seconds, 1); }

}  // namespace

double sampled_share_for(std::uint64_t interactions) {
    return double(interactions) <= unsampled_interactions ? 1.0 : unsampled_interactions / double(interactions);
}

std::string run_evaluate(const evaluate_options& opts, std::FILE* out, std::FILE* log) {
    const auto start = std::chrono::steady_clock::now();
    std::optional<output_file> plot;
    if (!opts.plot_path.empty()) {
        if (std::string refusal = plot_refusal(opts); !refusal.empty()) return refusal;
        plot.emplace(opts.plot_path);
        if (!plot->error().empty()) return "--plot " + printable(plot->error());
    }
    evaluation_settings settings = opts.settings;
    network_result read;
    {
        const reading_meter meter(log, opts.network_path);
        read = read_network(opts.network_path, opts.formats, uses_weights(settings));
    }
    if (!read.error.empty()) return read.error;
    read.lines = {};
    if (read.net.interaction_count() == 0) return empty_network_error(opts.network_path, read.table);
    // As many threads as the network gives rows for (the figures do not depend on them).
    settings.threads = threads_for_rows(settings.threads, read.net.protein_count());
    const double share =
        opts.sample_share > 0 ? opts.sample_share : sampled_share_for(read.net.interaction_count());
    settings.row_share = share;
    settings.listed_share = share;
    if (share < 1.0) {
        std::fprintf(log, "vornel evaluate: each repeat scores a hashed %s%% of the rows and of the listed pairs "
                          "(--sample %s; --sample 1 scores every one)\n",
                     fixed(100 * share, 1).c_str(), fixed(share, 4).c_str());
    }
    std::fprintf(log, "vornel evaluate: network %s: %u proteins, %llu interactions; %zu methods, %d repeats\n",
                 opts.network_path.c_str(), read.net.protein_count(), ull(read.net.interaction_count()),
                 settings.methods.size(), settings.repeats);
    if (uses_weights(settings) && !read.net.weighted()) {
        std::fprintf(log, "vornel evaluate: network %s has no weights (%llu interactions without a weight, a number "
                          ">= 0): the weighted methods weigh every interaction 1\n",
                     opts.network_path.c_str(), ull(read.counts.pairs_without_weight));
    }
    const auto since_start = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    evaluation_progress tracker(settings.methods.size(), settings.repeats,
                                int(settings.propose) + int(settings.filter));
    const bool terminal = ::isatty(::fileno(log)) == 1;
    const auto progress = [&](const std::string& line) {
        const double seconds = since_start();
        tracker.note(line, seconds);
        if (terminal) std::fputs("\r\033[K", log); // the bar goes; it is redrawn below the line
        if (tracker.current_line() == line) {
            std::fprintf(log, "vornel evaluate: %.1f s: %s (%s)\n", seconds, line.c_str(),
                         tracker.describe(seconds, false).c_str());
        } else {
            std::fprintf(log, "vornel evaluate: %.1f s: %s\n", seconds, line.c_str());
        }
    };
    evaluation_result result;
    try {
        // Between the lines above: a bar on a terminal, a line every few seconds in a log.
        const progress_meter meter(log, [&](double, bool bar) {
            const double seconds = since_start();
            const std::string line = tracker.current_line();
            return "vornel evaluate: " + seconds_text(seconds) + " s: " + (line.empty() ? "starting" : line) + ": " +
                   tracker.describe(seconds, bar);
        });
        result = evaluate_methods(read.net, settings, progress);
    } catch (const std::bad_alloc&) {
        return "out of memory while evaluating";
    } catch (const std::system_error& error) {
        return std::string("cannot start a thread: ") + error.code().message();
    }
    const std::string cut_path = cut_file_name(opts.network_path);
    const std::string report =
        evaluation_report(result, settings, opts.network_path, cut_command(opts, cut_path), shell_word(cut_path));
    if (std::fputs(report.c_str(), out) < 0 || std::fflush(out) != 0) return "cannot write the report";
    if (plot) {
        if (std::string error = draw_plot(result, opts.plot_path, *plot, log); !error.empty()) return error;
    }
    progress("done");
    return {};
}

}  // namespace vornel
