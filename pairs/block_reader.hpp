#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "unique_fd.hpp"

namespace ppi {

// Size of every read and of the initial buffer. Fixed: only data longer than one block (a
// triple with a huge identifier) makes the buffer grow.
inline constexpr std::size_t block_size = std::size_t{1} << 20;

// Streams a file descriptor through one buffer. The caller looks at the unread bytes with
// unread(), consumes what it has handled, and calls refill() when it needs the bytes after the
// current end; the unconsumed bytes are kept (moved to the front), so a token cut by a block
// boundary is complete after the refill. At least scan_padding readable bytes follow unread().
class block_reader {
public:
    // The first read is small and each later one doubles until it fills the buffer's free room:
    // a pass that stops early (top-N) then touches, and pays page faults for, only the start of
    // the buffer.
    static constexpr std::size_t first_read_size = std::size_t{1} << 16;

    explicit block_reader(unique_fd fd);

    std::string_view unread() const noexcept { return {buffer_.get() + begin_, end_ - begin_}; }
    void consume(std::size_t count) noexcept { begin_ += count; }

    // Reads at least one more byte after the unread ones. Returns false at end of input or on a
    // read error (then error() is the errno); unread() is unchanged then.
    bool refill();

    bool at_end() const noexcept { return at_end_; }
    int error() const noexcept { return error_; }

private:
    unique_fd fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t read_size_ = first_read_size;
    bool at_end_ = false;
    int error_ = 0;
};

// Opens `path` for reading; on failure returns an empty descriptor and sets errno.
unique_fd open_for_read(const char* path);

}  // namespace ppi
