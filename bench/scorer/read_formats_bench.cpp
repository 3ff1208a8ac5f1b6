// Reading speed of a STRING protein.links file against the plain edge list of the same pairs,
// measured in the same run: writes both files (STRING-style ids, every pair in both
// orientations, the STRING file with its header and a combined_score column), reads each with
// read_network a few times, reports bytes per second and their ratio, and removes the files.
//
//   read_formats_bench [--megabytes N] [--dir DIR] [--rounds R]    (defaults: 500, /tmp, 3)
#include "scorer/graph/network.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

struct bench_options {
    double megabytes = 500;
    std::string dir = "/tmp";
    int rounds = 3;
};

bool parse_args(int argc, char** argv, bench_options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        if (name == "--megabytes") {
            options.megabytes = std::atof(argv[i + 1]);
        } else if (name == "--dir") {
            options.dir = argv[i + 1];
        } else if (name == "--rounds") {
            options.rounds = std::max(1, std::atoi(argv[i + 1]));
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.megabytes > 0;
}

void append_id(std::string& out, std::uint32_t protein) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, protein).ptr;
    out += "9606.ENSP";
    out.append(11 - static_cast<std::size_t>(end - digits), '0');
    out.append(digits, end);
}

// Writes both files until the STRING one reaches `bytes`; returns false on a write error.
bool write_files(const std::string& string_path, const std::string& plain_path, double bytes) {
    std::FILE* string_file = std::fopen(string_path.c_str(), "wb");
    std::FILE* plain_file = std::fopen(plain_path.c_str(), "wb");
    if (!string_file || !plain_file) return false;
    std::fputs("protein1 protein2 combined_score\n", string_file);
    std::mt19937_64 random(42);
    const std::uint32_t proteins = 20000;
    std::string string_block, plain_block, a, b;
    double written = 0;
    bool ok = true;
    while (written < bytes && ok) {
        string_block.clear();
        plain_block.clear();
        for (int i = 0; i < 4096; ++i) {
            const auto x = static_cast<std::uint32_t>(random() % proteins);
            const auto y = static_cast<std::uint32_t>(random() % proteins);
            const unsigned score = 150 + static_cast<unsigned>(random() % 850);
            a.clear();
            b.clear();
            append_id(a, x);
            append_id(b, y);
            for (const auto& [first, second] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
                string_block += *first + ' ' + *second + ' ' + std::to_string(score) + '\n';
                plain_block += *first + ' ' + *second + '\n';
            }
        }
        ok = std::fwrite(string_block.data(), 1, string_block.size(), string_file) == string_block.size() &&
             std::fwrite(plain_block.data(), 1, plain_block.size(), plain_file) == plain_block.size();
        written += static_cast<double>(string_block.size());
    }
    ok = (std::fclose(string_file) == 0) && ok;
    return (std::fclose(plain_file) == 0) && ok;
}

double file_bytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    std::fseek(file, 0, SEEK_END);
    const double size = static_cast<double>(std::ftell(file));
    std::fclose(file);
    return size;
}

// Best wall time of `rounds` reads; -1 on a read error.
double best_read_seconds(const std::string& path, int rounds, std::uint64_t& interactions) {
    double best = -1;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const vornel::network_result read = vornel::read_network(path);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!read.error.empty()) {
            std::fprintf(stderr, "read_formats_bench: %s\n", read.error.c_str());
            return -1;
        }
        interactions = read.net.interaction_count();
        if (best < 0 || seconds < best) best = seconds;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    bench_options options;
    if (!parse_args(argc, argv, options)) {
        std::fputs("usage: read_formats_bench [--megabytes N] [--dir DIR] [--rounds R]\n", stderr);
        return 2;
    }
    const std::string prefix = options.dir + "/read_formats_bench." + std::to_string(::getpid());
    const std::string string_path = prefix + ".string.txt";
    const std::string plain_path = prefix + ".plain.txt";
    int status = 0;
    if (!write_files(string_path, plain_path, options.megabytes * 1e6)) {
        std::fprintf(stderr, "read_formats_bench: cannot write the files in %s\n", options.dir.c_str());
        status = 1;
    } else {
        std::uint64_t string_edges = 0, plain_edges = 0;
        // Alternating order would be fairer on a noisy machine; plain first, then STRING, each
        // best of R, keeps the page cache warm for both.
        const double plain_seconds = best_read_seconds(plain_path, options.rounds, plain_edges);
        const double string_seconds = best_read_seconds(string_path, options.rounds, string_edges);
        if (plain_seconds < 0 || string_seconds < 0) {
            status = 1;
        } else {
            const double plain_rate = file_bytes(plain_path) / plain_seconds / 1e6;
            const double string_rate = file_bytes(string_path) / string_seconds / 1e6;
            std::printf("plain edge list:      %8.1f MB in %6.3f s = %7.1f MB/s (%llu interactions)\n",
                        file_bytes(plain_path) / 1e6, plain_seconds, plain_rate,
                        static_cast<unsigned long long>(plain_edges));
            std::printf("STRING protein.links: %8.1f MB in %6.3f s = %7.1f MB/s (%llu interactions)\n",
                        file_bytes(string_path) / 1e6, string_seconds, string_rate,
                        static_cast<unsigned long long>(string_edges));
            std::printf("STRING bytes/s over plain bytes/s: %.2f (target >= 0.80); pairs/s: %.2f; same network: %s\n",
                        string_rate / plain_rate, plain_seconds / string_seconds,
                        string_edges == plain_edges ? "yes" : "NO");
            if (string_edges != plain_edges) status = 1;
        }
    }
    std::remove(string_path.c_str());
    std::remove(plain_path.c_str());
    return status;
}
