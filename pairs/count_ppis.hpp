#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ppi {

struct count_result {
    std::int64_t count = 0;
    std::string error;  // one "Error: " line without its newline; empty on success
};

// Counts the PPIs of the file at `path` as its lines: every line counts, empty ones included,
// and a last line without a newline counts too. A gzip file counts the lines of its
// decompressed text. When the file cannot be opened the error is
// "Error: cannot open file <path> for read"; when reading fails (a directory, an I/O error)
// it names the file and the reason (also a truncated or corrupt gzip stream). The count is 0 on either failure.
count_result count_ppis(const std::string& path);

// Number of '\n' bytes in [data, data + size).
std::int64_t count_newlines(const char* data, std::size_t size) noexcept;

}  // namespace ppi
