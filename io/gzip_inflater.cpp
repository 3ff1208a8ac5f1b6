#include "io/gzip_inflater.hpp"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace ppi::io {

namespace {

// Compressed bytes per read: a few hundred kilobytes decompress into a few megabytes, so reads
// are rare next to the decompression itself.
constexpr std::size_t input_block = std::size_t{1} << 18;

// zlib counts its buffers in 32-bit units.
constexpr std::size_t max_step = std::numeric_limits<uInt>::max();

}  // namespace

struct gzip_inflater::stream {
    z_stream z{};
    bool ready = false;
};

gzip_inflater::gzip_inflater(int fd, const char* already_read, std::size_t size)
    : stream_(std::make_unique<stream>()), fd_(fd), input_capacity_(std::max(input_block, size))
{
    input_ = std::make_unique_for_overwrite<char[]>(input_capacity_);
    std::memcpy(input_.get(), already_read, size);
    // 16 + 15: a gzip wrapper around a deflate stream with a window of up to 32 KiB.
    if (inflateInit2(&stream_->z, 16 + MAX_WBITS) != Z_OK) {
        fail("cannot start decompressing: out of memory");
        return;
    }
    stream_->ready = true;
    stream_->z.next_in = reinterpret_cast<Bytef*>(input_.get());
    stream_->z.avail_in = static_cast<uInt>(size);
}

gzip_inflater::~gzip_inflater()
{
    if (stream_->ready) inflateEnd(&stream_->z);
}

unsigned long long gzip_inflater::compressed_offset() const noexcept
{
    return stream_->z.total_in;
}

long gzip_inflater::fail(std::string what, int error_number)
{
    if (!failed_) {
        failed_ = true;
        error_ = std::move(what);
        error_number_ = error_number;
    }
    return -1;
}

bool gzip_inflater::read_input()
{
    for (;;) {
        const ssize_t got = ::read(fd_, input_.get(), input_capacity_);
        if (got > 0) {
            stream_->z.next_in = reinterpret_cast<Bytef*>(input_.get());
            stream_->z.avail_in = static_cast<uInt>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            fail(std::strerror(errno), errno);
            return false;
        }
        input_ended_ = true;
        return true;
    }
}

long gzip_inflater::read(char* out, std::size_t room)
{
    if (failed_) return -1;
    z_stream& z = stream_->z;
    const std::size_t step = std::min(room, max_step);
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = static_cast<uInt>(step);
    while (z.avail_out == step) {
        if (z.avail_in == 0 && !input_ended_ && !read_input()) return -1;
        if (member_ended_) {
            if (z.avail_in == 0 && input_ended_) return 0;
            if (z.avail_in == 0) continue;
            // More bytes after a complete member: the next member of a concatenated file.
            const auto total_in = z.total_in;
            inflateReset(&z);
            z.total_in = total_in;
            member_ended_ = false;
        }
        if (z.avail_in == 0 && input_ended_) {
            return fail("truncated gzip stream (the file ends inside compressed data at byte " +
                        std::to_string(z.total_in) + ")");
        }
        const int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            member_ended_ = true;
        } else if (status == Z_DATA_ERROR || status == Z_NEED_DICT) {
            return fail("corrupt gzip stream (" + std::string(z.msg ? z.msg : "invalid data") +
                        " near compressed byte " + std::to_string(z.total_in) + ")");
        } else if (status == Z_MEM_ERROR) {
            return fail("out of memory while decompressing");
        }
        // Z_OK and Z_BUF_ERROR: progress was made or more input is needed; loop.
    }
    return static_cast<long>(step - z.avail_out);
}

}  // namespace ppi::io
