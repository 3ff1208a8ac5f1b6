#include "count_ppis.hpp"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "io/block_reader.hpp"

namespace ppi {

std::int64_t count_newlines(const char* data, std::size_t size) noexcept
{
    std::int64_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Compare 16 bytes at a time; each match adds 1 to a byte lane (subtracting the all-ones
    // compare result). Lanes are summed with psadbw before they can overflow at 255.
    const __m128i newline = _mm_set1_epi8('\n');
    while (size - i >= 16) {
        const std::size_t rounds = std::min<std::size_t>((size - i) / 16, 255);
        __m128i lanes = _mm_setzero_si128();
        for (std::size_t r = 0; r < rounds; ++r, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, newline));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    count += std::count(data + i, data + size, '\n');
    return count;
}

count_result count_ppis(const std::string& path)
{
    io::unique_fd fd = io::open_for_read(path.c_str());
    if (!fd) return {0, "Error: cannot open file " + path + " for read"};

    // Through the block reader, so a gzip file counts its decompressed lines.
    io::block_reader reader(std::move(fd));
    std::int64_t newlines = 0;
    char last = '\n';  // an empty file has no unterminated last line
    while (reader.refill()) {
        const std::string_view data = reader.unread().view();
        newlines += count_newlines(data.data(), data.size());
        last = data.back();
        reader.consume(data.size());
    }
    if (!reader.error().empty()) return {0, "Error: cannot read file " + path + ": " + reader.error()};
    return {newlines + (last != '\n' ? 1 : 0), {}};
}

}  // namespace ppi
