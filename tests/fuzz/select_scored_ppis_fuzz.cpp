// The scored-pair selection against the formatted-input oracle: for every scored-pair file that
// the selection finds well formed, output file and report must be byte-identical.
#include "fuzz_support.hpp"

#include "oracle/formatted_input_selection.hpp"
#include "io/unique_fd.hpp"
#include "pairs/select_scored_ppis.hpp"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Thresholds of both modes and their edges; the first input byte picks one.
constexpr double thresholds[] = {0.5, 0.0, -1.0, 1.0, 0.456, 0.005, 0.135, 1e-300, 1.0000001,
                                 1.5, 2.0, 2.5, 3.0, 7.0, 100.0, 1e9};

const std::string scored_name = fuzz_support::scratch_file("ppi.temp.txt");
const std::string output_name = fuzz_support::scratch_file("out.txt");
const std::string oracle_output_name = fuzz_support::scratch_file("oracle_out.txt");

std::string oracle_report(double threshold) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* console = ::open_memstream(&text, &size);
    ppi::oracle::select_scored_ppis(threshold, oracle_output_name.c_str(), std::fopen(scored_name.c_str(), "r"),
                                    console);
    std::fclose(console);
    std::string report(text, size);
    std::free(text);
    return report;
}

// The oracle reads tokens into a 64 KiB buffer and prints them with %s: only inputs without NUL
// bytes and with shorter tokens are within what it can judge.
bool oracle_can_judge(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return false;
    std::size_t run = 0;
    for (const char c : text) {
        run = (c == ' ' || (c >= '\t' && c <= '\r')) ? 0 : run + 1;
        if (run >= 60000) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const double threshold = thresholds[data[0] % std::size(thresholds)];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (!oracle_can_judge(text)) return 0;
    fuzz_support::write_whole_file(scored_name, text);
    ::unlink(output_name.c_str());
    ::unlink(oracle_output_name.c_str());

    const ppi::selection_result ours =
        ppi::select_scored_ppis(threshold, output_name, {ppi::io::open_for_read(scored_name.c_str()), scored_name});
    if (ours.malformed_count > 0 || !ours.errors.empty()) return 0;  // the oracle judges well-formed files only

    const std::string expected_report = oracle_report(threshold);
    const std::string report = ppi::selection_report(threshold, ours);
    if (report != expected_report) fuzz_support::disagree("report", report, expected_report);
    const std::string output = fuzz_support::read_whole_file(output_name);
    const std::string expected_output = fuzz_support::read_whole_file(oracle_output_name);
    if (output != expected_output) fuzz_support::disagree("output file", output, expected_output);
    return 0;
}
