#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ppi {

// Readable bytes that must follow the end of any range a blank_window scans: it loads 64
// bytes at a time and ignores what lies past the end.
inline constexpr std::size_t scan_padding = 64;

// The white space of formatted input in the classic locale: ' ', '\t', '\n', '\v', '\f', '\r'.
inline constexpr std::array<bool, 256> blank_table = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = true;
    return table;
}();

inline bool is_blank(char c) noexcept { return blank_table[static_cast<unsigned char>(c)]; }

// Bit i set when p[i] is white space, for i in 0..63.
inline std::uint64_t blank_mask64(const char* p) noexcept
{
#if defined(__SSE2__)
    const auto mask16 = [](const char* q) -> std::uint64_t {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i space = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
        // '\t'..'\r' are 9..13: shifted down by 9 they are the bytes that stay at or below 4.
        const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(9));
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(4)), shifted);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(space, control)));
    };
    return mask16(p) | mask16(p + 16) << 16 | mask16(p + 32) << 32 | mask16(p + 48) << 48;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) mask |= std::uint64_t{is_blank(p[i])} << i;
    return mask;
#endif
}

// Finds field boundaries with a 64-byte bitmap of white space that is kept while the scan
// moves through it, so each boundary costs a shift and a bit search instead of a byte loop.
// Valid for one buffer: reset() when the bytes move.
class blank_window {
public:
    void reset() noexcept { base_ = nullptr; }

    // First white-space byte in [p, last), or last.
    const char* find_blank(const char* p, const char* last) noexcept { return find<true>(p, last); }

    // First byte in [p, last) that is not white space, or last.
    const char* skip_blanks(const char* p, const char* last) noexcept { return find<false>(p, last); }

private:
    template <bool Want_blank>
    const char* find(const char* p, const char* last) noexcept
    {
        while (p < last) {
            std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(p) - reinterpret_cast<std::uintptr_t>(base_);
            if (base_ == nullptr || offset >= 64) {
                base_ = p;
                bits_ = blank_mask64(p);
                offset = 0;
            }
            const std::uint64_t wanted = (Want_blank ? bits_ : ~bits_) >> offset;
            if (wanted != 0) {
                p += __builtin_ctzll(wanted);
                return p < last ? p : last;
            }
            p = base_ + 64;
        }
        return last;
    }

    const char* base_ = nullptr;
    std::uint64_t bits_ = 0;
};

}  // namespace ppi
