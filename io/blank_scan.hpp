#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ppi::io {

// Readable bytes that must follow the end of any range a blank_window scans: it loads 64
// bytes at a time and ignores what lies past the end.
inline constexpr std::size_t scan_padding = 64;

// The blank characters of both programs: the white space of formatted input in the classic
// locale, ' ', '\t', '\n', '\v', '\f', '\r'. Fields of a line are split on all of them (a line
// holds no '\n' or '\r'), so both programs see the same columns.
inline constexpr std::array<bool, 256> blank_table = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = true;
    return table;
}();

inline bool is_blank(char c) noexcept { return blank_table[static_cast<unsigned char>(c)]; }

// A byte range that is followed by at least scan_padding readable bytes, so 64-byte loads
// starting inside it stay in bounds. Only block_reader and within() make one, which keeps the
// padding a property of the type instead of a comment at every caller.
class padded_range {
public:
    // The first `size` bytes of `storage`, whose remaining bytes are the padding.
    static padded_range within(std::string_view storage, std::size_t size) noexcept
    {
        assert(size + scan_padding <= storage.size());
        return padded_range(storage.data(), storage.data() + size);
    }

    const char* begin() const noexcept { return first_; }
    const char* end() const noexcept { return last_; }
    std::size_t size() const noexcept { return static_cast<std::size_t>(last_ - first_); }
    bool empty() const noexcept { return first_ == last_; }
    std::string_view view() const noexcept { return {first_, size()}; }

    // The bytes from `first` (inside the range) on; the padding still follows.
    padded_range from(const char* first) const noexcept
    {
        assert(first >= first_ && first <= last_);
        return padded_range(first, last_);
    }

private:
    padded_range(const char* first, const char* last) noexcept : first_(first), last_(last) {}

    const char* first_;
    const char* last_;
};

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

// Hands out the fields (runs of non-blank bytes) of [first, last) in order. It classifies 64
// bytes at a time into bitmaps of field starts and field ends, so each field costs two bit
// searches instead of a loop over its bytes. A field that reaches the range's end ends there.
// Ledger (selection of 10M triples at >= 0.5, best CPU time of 9 alternating runs, 0.26 s): a byte
// loop over the same fields takes 0.29 s (this scanner saves 10%).
class field_scanner {
public:
    explicit field_scanner(padded_range range) noexcept : chunk_(range.begin()), last_(range.end())
    {
        classify();
    }

    // The next field as [start, end); false when no field starts before `last`.
    bool next(const char*& start, const char*& end) noexcept
    {
        while (starts_ == 0) {
            if (last_ - chunk_ <= 64) return false;
            advance();
        }
        start = chunk_ + __builtin_ctzll(starts_);
        starts_ &= starts_ - 1;
        // Past `last` every byte counts as blank, so the field ends by then at the latest.
        while (ends_ == 0) advance();
        end = chunk_ + __builtin_ctzll(ends_);
        ends_ &= ends_ - 1;
        return true;
    }

private:
    void advance() noexcept
    {
        chunk_ += 64;
        classify();
    }

    void classify() noexcept
    {
        std::uint64_t blanks = blank_mask64(chunk_);
        const std::ptrdiff_t valid = last_ - chunk_;
        if (valid < 64) blanks |= valid <= 0 ? ~std::uint64_t{0} : ~std::uint64_t{0} << valid;
        const std::uint64_t blank_before = blanks << 1 | previous_blank_;
        previous_blank_ = blanks >> 63;
        starts_ = ~blanks & blank_before;
        ends_ = blanks & ~blank_before;
    }

    const char* chunk_;
    const char* last_;
    std::uint64_t previous_blank_ = 1;  // the data starts as if after white space
    std::uint64_t starts_ = 0;
    std::uint64_t ends_ = 0;
};

}  // namespace ppi::io
