#include "io/block_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ppi::io {

namespace {

// A buffer of `capacity` bytes followed by zeroed padding for the 64-byte loads of the scans.
std::unique_ptr<char[]> allocate_buffer(std::size_t capacity)
{
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity + scan_padding);
    std::memset(buffer.get() + capacity, 0, scan_padding);
    return buffer;
}

// One read(2) that retries on EINTR: bytes read, 0 at end, -1 with errno set.
long plain_read(int fd, char* out, std::size_t room)
{
    for (;;) {
        const ssize_t got = ::read(fd, out, room);
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

// Publishes fd's read position to reported_file_position (when set and the file has one).
void report_position(int fd)
{
    if (reported_file_position == nullptr) return;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at >= 0) reported_file_position->store(static_cast<std::uint64_t>(at), std::memory_order_relaxed);
}

}  // namespace

block_reader::block_reader(unique_fd fd, std::size_t capacity)
    : fd_(std::move(fd)), buffer_(allocate_buffer(std::max(capacity, first_read_size))),
      capacity_(std::max(capacity, first_read_size))
{
}

block_reader::~block_reader() = default;

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
        // The unread bytes fill the whole buffer: one line or field longer than a block.
        auto larger = allocate_buffer(2 * capacity_);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
    const long got = read_some(buffer_.get() + end_, std::min(capacity_ - end_, read_size_));
    if (got > 0) {
        if (fd_) report_position(fd_.get());
        end_ += static_cast<std::size_t>(got);
        // Doubling without a cap: reads then fill whatever room there is, so a buffer grown for
        // a huge field fills in as many reads as it has doublings and is rescanned as often,
        // keeping the work linear in the field's length.
        if (read_size_ < capacity_) read_size_ *= 2;
        return true;
    }
    at_end_ = true;
    return false;
}

long block_reader::read_some(char* out, std::size_t room)
{
    if (!fd_) {
        error_ = std::strerror(EBADF);
        error_number_ = EBADF;
        return -1;
    }
    if (!started_) return read_first(out, room);
    long got;
    if (inflater_) {
        got = inflater_->read(out, room);
        if (got < 0) {
            error_ = inflater_->error();
            error_number_ = inflater_->error_number();
        }
        return got;
    }
    got = plain_read(fd_.get(), out, room);
    if (got < 0) {
        error_number_ = errno;
        error_ = std::strerror(errno);
    }
    return got;
}

// The first read decides between plain and gzip input by the first two bytes.
long block_reader::read_first(char* out, std::size_t room)
{
    started_ = true;
    long got = plain_read(fd_.get(), out, room);
    // A pipe may deliver a single byte first: the magic needs two.
    if (got == 1 && static_cast<unsigned char>(out[0]) == 0x1f) {
        const long more = plain_read(fd_.get(), out + 1, room - 1);
        got = more < 0 ? more : got + more;
    }
    if (got < 0) {
        error_number_ = errno;
        error_ = std::strerror(errno);
        return got;
    }
    if (!has_gzip_magic(out, static_cast<std::size_t>(got))) return got;
    inflater_ = std::make_unique<gzip_inflater>(fd_.get(), out, static_cast<std::size_t>(got));
    return read_some(out, room);
}

}  // namespace ppi::io
