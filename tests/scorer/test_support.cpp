#include "test_support.hpp"

#include "scorer/methods.hpp"
#include "scorer/output.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <unistd.h>

namespace test_support {

std::string pair_lines(const pair_list& pairs) {
    std::string text;
    for (const auto& [a, b] : pairs) text += a + " " + b + "\n";
    return text;
}

std::vector<scored_line> parse_output(const std::string& text) {
    std::vector<scored_line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "last output line has no newline";
            break;
        }
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos || line.find('\t', tab2 + 1) != std::string::npos) {
            ADD_FAILURE() << "malformed output line: " << line;
            continue;
        }
        scored_line parsed{line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1), 0.0};
        const char* first = line.data() + tab2 + 1;
        const char* last = line.data() + line.size();
        const auto [ptr, ec] = std::from_chars(first, last, parsed.score);
        if (ec != std::errc() || ptr != last) ADD_FAILURE() << "bad score in line: " << line;
        lines.push_back(parsed);
    }
    return lines;
}

std::string score_to_text(const vornel::network& net, const vornel::listed_pairs* listed,
                          const std::string& method, int rounds, unsigned threads,
                          std::size_t records_per_segment) {
    const vornel::method_entry* entry = vornel::find_method(method);
    if (!entry) throw std::invalid_argument("no method " + method);
    vornel::scoring_job job;
    job.net = &net;
    job.listed = listed;
    job.rounds = rounds;
    job.threads = threads;
    auto runs = entry->score(job);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("vornel-scores-" + std::to_string(::getpid()) + ".txt")).string();
    vornel::output_file out(path);
    const bool ok = vornel::write_sorted_records(runs, {&net, listed}, threads, out, records_per_segment) &&
                    out.commit();
    if (!ok) throw std::runtime_error(out.error());
    std::string text = read_file(path);
    std::filesystem::remove(path);
    return text;
}

program_result run_vornel(const std::vector<std::string>& args) { return run_program(VORNEL_BINARY, args); }

program_result run_vornel(const std::vector<std::string>& args, const std::function<void()>& in_child) {
    run_options options;
    options.in_child = in_child;
    return run_program(VORNEL_BINARY, args, options);
}

}  // namespace test_support
