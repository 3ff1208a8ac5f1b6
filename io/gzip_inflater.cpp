#include "io/gzip_inflater.hpp"

#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ppi::io {

namespace {

// Compressed bytes per read: a few hundred kilobytes decompress into a few megabytes, so reads
// are rare next to the decompression itself.
constexpr std::size_t input_block = std::size_t{1} << 18;

// The decompressor counts its buffers in 32-bit units.
constexpr std::size_t max_step = std::numeric_limits<std::uint32_t>::max();

const char* describe(int status)
{
    switch (status) {
    case ISAL_INVALID_BLOCK: return "invalid deflate block";
    case ISAL_INVALID_SYMBOL: return "invalid code";
    case ISAL_INVALID_LOOKBACK: return "invalid back-reference distance";
    case ISAL_INVALID_WRAPPER: return "invalid gzip header";
    case ISAL_UNSUPPORTED_METHOD: return "unsupported compression method";
    case ISAL_INCORRECT_CHECKSUM: return "checksum mismatch";
    default: return "undecodable data";
    }
}

}  // namespace

// The decompressor's state is large (tens of kilobytes): one heap block per reader.
struct gzip_inflater::stream {
    inflate_state state;
    unsigned long long consumed = 0;  // compressed bytes taken in by the decompressor

    void start_member()
    {
        isal_inflate_reset(&state);
        state.crc_flag = ISAL_GZIP;
    }
};

gzip_inflater::gzip_inflater(int fd, const char* already_read, std::size_t size)
    : stream_(std::make_unique<stream>()), fd_(fd), input_capacity_(std::max(input_block, size))
{
    input_ = std::make_unique_for_overwrite<char[]>(input_capacity_);
    std::memcpy(input_.get(), already_read, size);
    isal_inflate_init(&stream_->state);
    stream_->state.crc_flag = ISAL_GZIP;
    stream_->state.next_in = reinterpret_cast<std::uint8_t*>(input_.get());
    stream_->state.avail_in = static_cast<std::uint32_t>(size);
}

gzip_inflater::~gzip_inflater() = default;

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
            stream_->state.next_in = reinterpret_cast<std::uint8_t*>(input_.get());
            stream_->state.avail_in = static_cast<std::uint32_t>(got);
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
    inflate_state& state = stream_->state;
    const std::size_t step = std::min(room, max_step);
    state.next_out = reinterpret_cast<std::uint8_t*>(out);
    state.avail_out = static_cast<std::uint32_t>(step);
    while (state.avail_out == step) {
        if (state.avail_in == 0 && !input_ended_ && !read_input()) return -1;
        if (member_ended_) {
            if (state.avail_in == 0 && input_ended_) return 0;
            if (state.avail_in == 0) continue;
            // More bytes after a complete member: the next member of a concatenated file.
            const auto* next = state.next_in;
            if (next[0] != 0x1f || (state.avail_in > 1 && next[1] != 0x8b)) {
                return fail("corrupt gzip stream (bytes that are not gzip data follow the compressed data at byte " +
                            std::to_string(stream_->consumed) + ")");
            }
            const std::uint32_t left = state.avail_in;
            stream_->start_member();
            state.next_in = const_cast<std::uint8_t*>(next);
            state.avail_in = left;
            state.next_out = reinterpret_cast<std::uint8_t*>(out);
            state.avail_out = static_cast<std::uint32_t>(step);
            member_ended_ = false;
        }
        const std::uint32_t in_before = state.avail_in;
        const std::uint32_t out_before = state.avail_out;
        const int status = isal_inflate(&state);
        stream_->consumed += in_before - state.avail_in;
        if (status < 0 || status == ISAL_NEED_DICT) {
            return fail(std::string("corrupt gzip stream (") + describe(status) + " near compressed byte " +
                        std::to_string(stream_->consumed) + ")");
        }
        if (state.block_state == ISAL_BLOCK_FINISH) {
            member_ended_ = true;
        } else if (input_ended_ && state.avail_in == 0 && state.avail_out == out_before) {
            return fail("truncated gzip stream (the file ends inside compressed data at byte " +
                        std::to_string(stream_->consumed) + ")");
        }
    }
    return static_cast<long>(step - state.avail_out);
}

}  // namespace ppi::io
