#include "scorer/cli/evaluate_command.hpp"
#include "scorer/cli/options.hpp"
#include "scorer/cli/run_scoring.hpp"

#include <csignal>
#include <cstdio>
#include <span>
#include <string_view>

namespace {

int evaluate_main(std::span<const char* const> args) {
    const auto parsed = vornel::parse_evaluate_options(args);
    if (parsed.values.help) {
        std::fputs(vornel::evaluate_help_text().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!parsed.errors.empty()) {
        for (const auto& error : parsed.errors) std::fprintf(stderr, "vornel evaluate: %s\n", error.c_str());
        std::fputs("Usage: vornel evaluate [OPTIONS] NETWORK (see vornel evaluate --help)\n", stderr);
        return 2;
    }
    const std::string error = vornel::run_evaluate(parsed.values, stdout, stderr);
    if (!error.empty()) {
        std::fprintf(stderr, "vornel evaluate: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader of our progress lines that goes away (`2>&1 | head`) is no reason to stop: a
    // failed write to stderr is ignored, and OUTPUT is a file of our own.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 1 && std::string_view(argv[1]) == "evaluate") {
        return evaluate_main(std::span<const char* const>(argv + 2, argv + argc));
    }
    const auto parsed = vornel::parse_options(std::span<const char* const>(argv + 1, argv + argc));
    if (parsed.values.action == vornel::requested_action::help) {
        std::fputs(vornel::help_text().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (parsed.values.action == vornel::requested_action::version) {
        std::puts(vornel::version_line().c_str());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!parsed.errors.empty()) {
        for (const auto& error : parsed.errors) std::fprintf(stderr, "vornel: %s\n", error.c_str());
        if (parsed.missing_arguments) {
            std::fputs("Usage: vornel [OPTIONS] NETWORK PAIRS METHOD ITERATIONS OUTPUT (see vornel --help)\n",
                       stderr);
        }
        return 2;
    }
    const std::string error = vornel::run_scoring(parsed.values, stderr);
    if (!error.empty()) {
        std::fprintf(stderr, "vornel: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
