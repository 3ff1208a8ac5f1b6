#include "test_support.hpp"

#include "scorer/cli/method_registry.hpp"
#include "scorer/output/text_writer.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
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

program_result run_vornel(const std::vector<std::string>& args) { return run_vornel(args, [] {}); }

program_result run_vornel(const std::vector<std::string>& args, const std::function<void()>& in_child) {
    std::vector<char*> argv;
    std::string program = VORNEL_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::string out_path = ".vornel-test-stdout";
    const std::string err_path = ".vornel-test-stderr";
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
        in_child();
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    program_result result;
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    return result;
}

}  // namespace test_support
