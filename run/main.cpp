#include <csignal>

#include "run/command_line.hpp"
#include "run/console.hpp"
#include "run/run_pipeline.hpp"

int main(int argc, char** argv)
{
    // A reader of our standard output that goes away (a pipe into `head`) must not end the run
    // half-way: the output file is still made, and the exit status stays 0.
    std::signal(SIGPIPE, SIG_IGN);
    const std::optional<ppi::run_parameters> parameters = ppi::parse_run_parameters(argc, argv);
    if (!parameters) {
        ppi::print_text(ppi::usage_text(argc > 0 ? argv[0] : "ppi-refine"));
        return 0;
    }
    ppi::run_pipeline(*parameters);
    // Scripts detect failures by the "Error: " lines; the status is 0 whatever happened.
    return 0;
}
