#include "block_reader.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ppi {

block_reader::block_reader(unique_fd fd) : fd_(std::move(fd)), buffer_(block_size) {}

bool block_reader::refill()
{
    if (at_end_) return false;
    const std::size_t kept = end_ - begin_;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
        begin_ = 0;
        end_ = kept;
    }
    if (buffer_.size() - end_ < block_size) buffer_.resize(end_ + block_size);
    for (;;) {
        const ssize_t got = ::read(fd_.get(), buffer_.data() + end_, block_size);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
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
