#pragma once
// The line reader vornel used before the shared input layer, kept unchanged as the peer of the
// benchmark (bench/io/run_io_bench.sh) that shows reading plain files did not get slower.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace old_reader {

// Reads a text file line by line through a refilled block buffer. A line ends at "\n", "\r\n"
// or a lone "\r"; the terminator is not part of the line. Lines have no length limit.
class line_reader {
public:
    // Bytes asked for per read (the buffer grows beyond it only for longer lines). Small enough
    // to stay in the processor's second-level cache while it is scanned.
    static constexpr std::size_t block_size = std::size_t{1} << 18;

    // Opens `path` for reading; on failure error() says why and next_line() returns false.
    explicit line_reader(const std::string& path);
    ~line_reader();
    line_reader(const line_reader&) = delete;
    line_reader& operator=(const line_reader&) = delete;

    // Sets `line` to the next line (valid until the next call) and returns true; returns false
    // at the end of the file or on a read error (then error() is non-empty).
    bool next_line(std::string_view& line);

    // Number of the line last returned, counting from 1.
    std::uint64_t line_number() const { return line_number_; }
    const std::string& error() const { return error_; }

private:
    bool refill();
    void grow_buffer();

    int fd_ = -1;
    // Left uninitialised: zero-filling a block that reads overwrite anyway costs as much as
    // reading a small file.
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_eof_ = false;
    bool skip_newline_ = false;  // the previous line ended with '\r': a following '\n' belongs to it
    std::uint64_t line_number_ = 0;
    std::string error_;
};

// The first two blank- or tab-separated fields of a line.
struct line_fields {
    std::string_view first;
    std::string_view second;
    int count = 0;  // how many of the two were found (0, 1 or 2)
};

// Splits off the first two fields; further fields are ignored.
line_fields split_two_fields(std::string_view line);

// True for lines that carry no pair: empty, only blanks, or starting with '#' after blanks.
bool is_skipped_line(std::string_view line);

}  // namespace old_reader
