#include "run_pipeline.hpp"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "pairs/count_ppis.hpp"
#include "pairs/select_scored_ppis.hpp"
#include "run/console.hpp"
#include "run/protected_files.hpp"
#include "run/shell_commands.hpp"

namespace ppi {

namespace {

std::int64_t counted_ppis(const std::string& path)
{
    const count_result result = count_ppis(path);
    if (!result.error.empty()) print_line(result.error);
    return result.count;
}

// Opens the scored-pair file the scorer just wrote and selects from it into output_file.
void select_phase(double threshold, const std::string& output_file)
{
    io::unique_fd scored = io::open_for_read(scored_pair_file.c_str());
    if (!scored) {
        print_line("Error: cannot open file " + scored_pair_file + " for read");
        return;
    }
    const selection_result result =
        select_scored_ppis(threshold, output_file, {std::move(scored), scored_pair_file});
    for (const std::string& error : result.errors) print_line(error);
    if (!result.output_opened) return;
    print_text(selection_report(threshold, result));
}

}  // namespace

void run_pipeline(const run_parameters& parameters)
{
    if (const std::string refusal = check_protected_files(parameters); !refusal.empty()) {
        print_line(refusal);
        return;
    }
    working_directory_lock lock;
    if (const std::string refusal = lock.acquire(); !refusal.empty()) {
        print_line(refusal);
        return;
    }

    shell_delete(scorer_scratch_ids);
    shell_delete(scorer_scratch_pairs);
    const std::int64_t original_count = counted_ppis(parameters.ppi_filename);
    shell_delete(parameters.output_file);

    // The network reaches the scorer as a file name even when it reads like a keyword or option.
    const std::string network = scorer_file_argument(parameters.ppi_filename);
    if (run_scorer(network, network, parameters.filter_method, parameters.iterations, scored_pair_file)) {
        select_phase(parameters.filter_min_score, parameters.output_file);
    }
    const std::int64_t filtered_count = counted_ppis(parameters.output_file);

    if (parameters.add_min_score > 0) {
        if (run_scorer(network, proposed_pairs, parameters.add_method, parameters.iterations, scored_pair_file)) {
            select_phase(parameters.add_min_score, parameters.output_file);
        }
    }
    const std::int64_t final_count = counted_ppis(parameters.output_file);

    std::printf("#PPIs in the original file: %" PRId64 "\n", original_count);
    std::printf("#PPIs after filtering: %" PRId64 "\n", filtered_count);
    std::printf("#PPIs after adding new PPIs: %" PRId64 "\n", final_count);
    std::fflush(stdout);
}

}  // namespace ppi
