// Drives the pair-file operations on their own, so the benchmark can time them apart from a
// whole run:
//   pairs_bench select <threshold> <scored_pairs> <output>   prints the report and the time of
//                                                            the pass on standard error
//   pairs_bench count <file>                                 prints the line count
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pairs/count_ppis.hpp"
#include "pairs/select_scored_ppis.hpp"

namespace {

int select_command(double threshold, const char* scored_pairs, const char* output)
{
    const auto start = std::chrono::steady_clock::now();
    ppi::io::unique_fd scored = ppi::io::open_for_read(scored_pairs);
    if (!scored) {
        std::printf("Error: cannot open file %s for read\n", scored_pairs);
        return 1;
    }
    const ppi::selection_result result =
        ppi::select_scored_ppis(threshold, output, {std::move(scored), scored_pairs});
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    for (const std::string& error : result.errors) std::printf("%s\n", error.c_str());
    std::fputs(ppi::selection_report(threshold, result).c_str(), stdout);
    std::fprintf(stderr, "work_ms %.3f\n", elapsed.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "select") == 0) {
        return select_command(std::atof(argv[2]), argv[3], argv[4]);
    }
    if (argc == 3 && std::strcmp(argv[1], "count") == 0) {
        const ppi::count_result result = ppi::count_ppis(argv[2]);
        if (!result.error.empty()) std::printf("%s\n", result.error.c_str());
        std::printf("%lld\n", static_cast<long long>(result.count));
        return 0;
    }
    std::fprintf(stderr, "usage: %s select <threshold> <scored_pairs> <output> | count <file>\n", argv[0]);
    return 2;
}
