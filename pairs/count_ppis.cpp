#include "count_ppis.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "block_reader.hpp"

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
    unique_fd fd = open_for_read(path.c_str());
    if (!fd) return {0, "Error: cannot open file " + path + " for read"};

    const auto buffer = std::make_unique_for_overwrite<char[]>(block_size);
    std::int64_t newlines = 0;
    char last = '\n';  // an empty file has no unterminated last line
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer.get(), block_size);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return {0, "Error: cannot read file " + path + ": " + std::strerror(errno)};
        }
        newlines += count_newlines(buffer.get(), static_cast<std::size_t>(got));
        last = buffer[static_cast<std::size_t>(got) - 1];
    }
    return {newlines + (last != '\n' ? 1 : 0), {}};
}

}  // namespace ppi
