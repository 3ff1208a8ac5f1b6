#include "block_reader.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "blank_scan.hpp"

namespace ppi {

namespace {

// A buffer of `capacity` bytes followed by zeroed padding for the 16-byte loads of the scans.
std::unique_ptr<char[]> allocate_buffer(std::size_t capacity)
{
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity + scan_padding);
    std::memset(buffer.get() + capacity, 0, scan_padding);
    return buffer;
}

}  // namespace

block_reader::block_reader(unique_fd fd)
    : fd_(std::move(fd)), buffer_(allocate_buffer(block_size)), capacity_(block_size)
{
}

bool block_reader::refill()
{
    if (at_end_) return false;
    const std::size_t kept = end_ - begin_;
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
        begin_ = 0;
        end_ = kept;
    }
    if (end_ == capacity_) {
        // The unread bytes fill the whole buffer: one field or triple longer than a block.
        auto larger = allocate_buffer(2 * capacity_);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
    for (;;) {
        const ssize_t got = ::read(fd_.get(), buffer_.get() + end_, std::min(capacity_ - end_, read_size_));
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            // Doubling without a cap: reads then fill whatever room there is, so a buffer grown
            // for a huge field fills in as many reads as it has doublings and is rescanned as
            // often, keeping the work linear in the field's length.
            if (read_size_ < capacity_) read_size_ *= 2;
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error_ = errno;
        at_end_ = true;
        return false;
    }
}

unique_fd open_for_read(const char* path)
{
    return unique_fd(::open(path, O_RDONLY | O_CLOEXEC));
}

}  // namespace ppi
