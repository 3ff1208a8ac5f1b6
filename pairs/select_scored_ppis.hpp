#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/unique_fd.hpp"

namespace ppi {

// An open scored-pair file and the name used for it in messages.
struct scored_pair_stream {
    io::unique_fd fd;
    std::string name;
};

struct selection_result {
    // False when the output file could not be opened: nothing was read or appended and the
    // pass has no report.
    bool output_opened = false;
    std::int64_t read_count = 0;       // well-formed triples handled
    std::int64_t kept_count = 0;       // triples appended to the output file
    std::int64_t malformed_count = 0;  // triples skipped: a score that is not a number, or an
                                       // incomplete last triple
    double last_kept_score = 0.0;      // top-N mode only
    std::vector<std::string> errors;   // "Error: " lines without newlines, in order of occurrence
};

// True when `threshold` selects the first pairs of the file rather than a minimum score.
inline bool is_top_n(double threshold) noexcept { return threshold > 1.0; }

// Reads the triples "protein_a protein_b score" (any white space between fields) of `scored`
// and appends the kept ones to `output_file` as "%s\t%s\t%.2E\n" lines. A threshold of 1 or
// less keeps every pair scoring at least the threshold; a greater one keeps the first pairs
// while fewer than `threshold` were kept and stops reading there. Takes over and closes the
// stream. Errors: the output file cannot be opened ("Error: cannot open file <name> for
// write"), a read or write failure, and the number of malformed triples skipped.
selection_result select_scored_ppis(double threshold, const std::string& output_file,
                                    scored_pair_stream scored);

// The two report lines of a pass, framed by empty lines as the console shows them:
// "\n#PPIs with non-zero score: <read>\n" and then either
// "#PPIs selected with score>=<threshold %.2f>: <kept>\n\n" or
// "Minimum score of top <kept> PPIs: <last kept score %.4f>\n\n".
std::string selection_report(double threshold, const selection_result& result);

}  // namespace ppi
