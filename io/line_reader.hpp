#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/block_reader.hpp"

namespace ppi::io {

// Reads a text file line by line through a block_reader (so gzip files read as their
// decompressed text). A line ends at "\n", "\r\n" or a lone "\r"; the terminator is not part of
// the line. Lines have no length limit. A NUL byte marks binary content: reading stops with an
// error at the line that holds it.
class line_reader {
public:
    // Bytes asked for per read (the buffer grows beyond it only for longer lines). Small enough
    // to stay in the processor's second-level cache while it is scanned.
    static constexpr std::size_t block_size = std::size_t{1} << 18;

    // Opens `path` for reading; on failure error() says why and next_line() returns false.
    explicit line_reader(const std::string& path);

    // Sets `line` to the next line (valid until the next call) and returns true; returns false
    // at the end of the file or on a read error (then error() is non-empty).
    bool next_line(std::string_view& line);

    // Number of the line last returned, counting from 1.
    std::uint64_t line_number() const { return line_number_; }
    // Why reading stopped early: the errno text when the file could not be opened or read;
    // "line <n>: <what is wrong>" for binary content or a damaged gzip stream.
    const std::string& error() const { return error_; }

private:
    bool refill();
    void fail_at_line(const std::string& what);

    std::string error_;  // before reader_: the constructor notes a failed open in it
    block_reader reader_;
    std::size_t checked_ = 0;           // unread bytes already searched for a NUL byte
    std::size_t nul_at_ = npos;         // offset in unread() of a NUL byte found, or npos
    bool skip_newline_ = false;  // the previous line ended with '\r': a following '\n' belongs to it
    std::uint64_t line_number_ = 0;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

// The first two fields of a line, split on the blank characters of blank_scan.hpp.
struct line_fields {
    std::string_view first;
    std::string_view second;
    int count = 0;  // how many of the two were found (0, 1 or 2)
};

// Splits off the first two fields; further fields are ignored.
line_fields split_two_fields(std::string_view line);

// True for lines that carry no pair: empty, only blanks, or starting with '#' after blanks.
bool is_skipped_line(std::string_view line);

}  // namespace ppi::io
