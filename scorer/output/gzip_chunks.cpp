#include "scorer/output/gzip_chunks.hpp"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vornel {

namespace {

constexpr std::uint32_t level_buffer_size = ISAL_DEF_LVL1_DEFAULT;

void append_little_endian(std::string& text, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) text += static_cast<char>((value >> (8 * i)) & 0xff);
}

}  // namespace

chunk_deflater::chunk_deflater() : level_buffer_(new std::uint8_t[level_buffer_size]) {}

void chunk_deflater::compress(const text_chunk& plain, text_chunk& packed) {
    if (plain.size() > std::numeric_limits<std::uint32_t>::max() / 2) {
        throw std::length_error("chunk_deflater: chunk too large");
    }
    const auto in_size = static_cast<std::uint32_t>(plain.size());
    // Text that does not compress is stored: its size plus 5 bytes per 64 KiB block at most.
    std::uint32_t room = in_size + in_size / 64 + 1024;
    for (;;) {
        packed.clear();
        char* out = packed.make_room(room);
        isal_zstream stream;
        isal_deflate_stateless_init(&stream);
        stream.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(plain.data()));
        stream.avail_in = in_size;
        stream.next_out = reinterpret_cast<std::uint8_t*>(out);
        stream.avail_out = room;
        stream.level = 1;
        stream.level_buf = level_buffer_.get();
        stream.level_buf_size = level_buffer_size;
        stream.end_of_stream = 0;
        stream.flush = FULL_FLUSH;
        const int status = isal_deflate_stateless(&stream);
        if (status == COMP_OK) {
            packed.commit_to(out + (room - stream.avail_out));
            break;
        }
        if (status != STATELESS_OVERFLOW) throw std::runtime_error("igzip: cannot compress (status " + std::to_string(status) + ")");
        room *= 2;
    }
    packed.plain_crc = crc32_gzip_refl(0, reinterpret_cast<const unsigned char*>(plain.data()), in_size);
    packed.plain_size = in_size;
}

std::string gzip_member::header() {
    // ID1 ID2, deflate, no flags, time stamp 0, no extra flags, OS Unix.
    return std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
}

void gzip_member::add(const text_chunk& packed) {
    // zlib's combination of the CRCs of two consecutive pieces from their own CRCs and the
    // second one's length: the text itself is not read again.
    crc_ = static_cast<std::uint32_t>(crc32_combine(crc_, packed.plain_crc, static_cast<z_off_t>(packed.plain_size)));
    size_ += packed.plain_size;
}

std::string gzip_member::trailer() const {
    // A final block of fixed Huffman codes holding only its end code: bits 1, 01, 0000000.
    std::string text("\x03\x00", 2);
    append_little_endian(text, crc_);
    append_little_endian(text, static_cast<std::uint32_t>(size_ & 0xffffffffu));
    return text;
}

}  // namespace vornel
