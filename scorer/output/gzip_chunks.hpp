#pragma once

// gzip output from text made on several threads: each chunk of text is compressed on its own
// (raw deflate that refers to no earlier text and ends byte-aligned, by a full flush), so the
// compressed chunks, joined in order behind one header, form a single gzip member whose text is
// the chunks' text joined. The writer adds each chunk's CRC-32 and length to the trailer.

#include "scorer/output/chunk_ring.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace vornel {

// Compresses chunks with ISA-L's igzip (level 1: the fastest that still finds matches).
class chunk_deflater {
public:
    chunk_deflater();
    // Replaces `packed` by the compressed form of `plain`, with plain_crc and plain_size set.
    void compress(const text_chunk& plain, text_chunk& packed);

private:
    std::unique_ptr<std::uint8_t[]> level_buffer_;
};

// The frame of the gzip member around the compressed chunks.
class gzip_member {
public:
    // The 10-byte header: deflate, no name, no time stamp (so equal text gives equal files).
    static std::string header();
    // Counts a compressed chunk (its plain_crc and plain_size) into the trailer.
    void add(const text_chunk& packed);
    // An empty final block, then the CRC-32 and the length (mod 2^32) of all the text.
    std::string trailer() const;

private:
    std::uint32_t crc_ = 0;
    std::uint64_t size_ = 0;
};

}  // namespace vornel
