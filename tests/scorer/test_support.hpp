#pragma once

#include "process.hpp"
#include "scorer/network.hpp"
#include "temp_files.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

using pair_list = std::vector<std::pair<std::string, std::string>>;

// Pairs as "A B" lines.
std::string pair_lines(const pair_list& pairs);

// One line of scorer output.
struct scored_line {
    std::string a;
    std::string b;
    double score;
};
// Parses "A\tB\tscore\n" lines strictly (exact tabs and newline); fails the test on a bad line.
std::vector<scored_line> parse_output(const std::string& text);

// Scores with the library exactly as the program does, and returns the output file's text.
// `listed` null: propose candidates.
std::string score_to_text(const vornel::network& net, const vornel::listed_pairs* listed,
                          const std::string& method, int rounds, unsigned threads,
                          std::size_t records_per_segment = std::size_t{1} << 18);

// Runs the built vornel with `args` in the current directory, capturing both streams.
program_result run_vornel(const std::vector<std::string>& args);
// The same, calling `in_child` in the child just before the program starts (to set limits,
// signal dispositions or other standard streams).
program_result run_vornel(const std::vector<std::string>& args, const std::function<void()>& in_child);

}  // namespace test_support
