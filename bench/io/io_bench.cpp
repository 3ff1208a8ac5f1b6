// Drives the input layer on its own for bench/io/run_io_bench.sh:
//   io_bench lines FILE       reads FILE's lines and their first two fields with io::line_reader
//                             (plain or gzip) and prints "<lines> <bytes of fields>"
//   io_bench old-lines FILE   the same with the line reader vornel had before (plain files only)
//   io_bench network LINES PROTEINS SEED
//                             writes a network of LINES "P<i>\tP<j>" lines over PROTEINS
//                             proteins to standard output, reproducible from SEED
// The time of the reading goes to standard error as "work_ms <milliseconds>".
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/line_reader.hpp"
#include "old_line_reader.hpp"

namespace {

template <class Reader, class Split>
int read_lines(const char* path, Split split)
{
    const auto start = std::chrono::steady_clock::now();
    Reader reader(path);
    std::uint64_t lines = 0;
    std::uint64_t field_bytes = 0;
    std::string_view line;
    while (reader.next_line(line)) {
        const auto fields = split(line);
        field_bytes += fields.first.size() + fields.second.size();
        ++lines;
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    if (!reader.error().empty()) {
        std::fprintf(stderr, "%s: %s\n", path, reader.error().c_str());
        return 1;
    }
    std::printf("%llu %llu\n", static_cast<unsigned long long>(lines), static_cast<unsigned long long>(field_bytes));
    std::fprintf(stderr, "work_ms %.3f\n", elapsed.count());
    return 0;
}

std::uint64_t next_random(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

int write_network(std::uint64_t lines, std::uint64_t proteins, std::uint64_t seed)
{
    for (std::uint64_t i = 0; i < lines; ++i) {
        const std::uint64_t a = next_random(seed) % proteins;
        const std::uint64_t b = next_random(seed) % proteins;
        std::printf("P%llu\tP%llu\n", static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "lines") == 0) {
        return read_lines<ppi::io::line_reader>(argv[2], ppi::io::split_two_fields);
    }
    if (argc == 3 && std::strcmp(argv[1], "old-lines") == 0) {
        return read_lines<old_reader::line_reader>(argv[2], old_reader::split_two_fields);
    }
    if (argc == 5 && std::strcmp(argv[1], "network") == 0) {
        return write_network(std::strtoull(argv[2], nullptr, 10), std::strtoull(argv[3], nullptr, 10),
                             std::strtoull(argv[4], nullptr, 10));
    }
    std::fprintf(stderr, "usage: %s lines FILE | old-lines FILE | network LINES PROTEINS SEED\n", argv[0]);
    return 2;
}
