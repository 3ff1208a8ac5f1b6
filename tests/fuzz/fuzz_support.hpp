#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

namespace fuzz_support {

// A fresh directory under the temporary directory for the files a target writes, made once;
// returns "<directory>/<name>". The working directory is left alone: libFuzzer reads and
// writes its corpus and artifacts by relative names.
inline std::string scratch_file(const char* name) {
    static const std::string directory = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/ppi-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return directory + "/" + name;
}

inline void write_whole_file(const std::string& name, std::string_view text) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fclose(file) != 0) {
        std::abort();
    }
}

inline std::string read_whole_file(const std::string& name) {
    std::string text;
    if (std::FILE* file = std::fopen(name.c_str(), "rb")) {
        char block[65536];
        std::size_t got;
        while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
        std::fclose(file);
    }
    return text;
}

// Reports a disagreement and stops the fuzzer, which then keeps the input.
[[noreturn]] inline void disagree(const std::string& what, const std::string& ours, const std::string& expected) {
    std::fprintf(stderr, "disagreement: %s\n--- ours:\n%s\n--- expected:\n%s\n", what.c_str(), ours.c_str(),
                 expected.c_str());
    std::abort();
}

}  // namespace fuzz_support
