#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "io/blank_scan.hpp"
#include "io/gzip_inflater.hpp"
#include "io/unique_fd.hpp"

namespace ppi::io {

// The usual size of every read and of the initial buffer. Fixed: only data longer than one
// block (a line or field with a huge identifier) makes the buffer grow.
inline constexpr std::size_t block_size = std::size_t{1} << 20;

// Where the block readers of this thread publish how far into their file they are, once per
// block: the file's own bytes (compressed ones for gzip), as its read position says; null:
// nowhere. A progress meter points it at its counter while a file is read.
inline thread_local std::atomic<std::uint64_t>* reported_file_position = nullptr;

// Streams a file descriptor through one buffer. The caller looks at the unread bytes with
// unread(), consumes what it has handled, and calls refill() when it needs the bytes after the
// current end; the unconsumed bytes are kept (moved to the front), so a token cut by a block
// boundary is complete after the refill. A file starting with the gzip magic bytes is
// decompressed on the way: unread() then holds decompressed bytes.
class block_reader {
public:
    // The first read is small and each later one doubles until it fills the buffer's free room:
    // a pass that stops early (top-N) then touches, and pays page faults for, only the start of
    // the buffer.
    static constexpr std::size_t first_read_size = std::size_t{1} << 16;

    // `capacity` is the buffer's size before any growth (at least first_read_size).
    explicit block_reader(unique_fd fd, std::size_t capacity = block_size);
    ~block_reader();
    block_reader(const block_reader&) = delete;
    block_reader& operator=(const block_reader&) = delete;

    padded_range unread() const noexcept
    {
        return padded_range::within({buffer_.get() + begin_, end_ - begin_ + scan_padding}, end_ - begin_);
    }
    void consume(std::size_t count) noexcept { begin_ += count; }

    // Reads at least one more byte after the unread ones. Returns false at end of input or on a
    // read error (then error() says why); unread() is unchanged then.
    bool refill();

    bool at_end() const noexcept { return at_end_; }
    // Why reading failed: the errno text of a failed read or what is wrong with a compressed
    // stream; empty when nothing failed.
    const std::string& error() const noexcept { return error_; }
    // The errno of a failed read; 0 when the stream's content was at fault.
    int error_number() const noexcept { return error_number_; }
    bool compressed() const noexcept { return inflater_ != nullptr; }

private:
    long read_some(char* out, std::size_t room);
    long read_first(char* out, std::size_t room);

    unique_fd fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t read_size_ = first_read_size;
    bool started_ = false;
    bool at_end_ = false;
    std::unique_ptr<gzip_inflater> inflater_;
    std::string error_;
    int error_number_ = 0;
};

}  // namespace ppi::io
