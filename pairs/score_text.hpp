#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ppi {

namespace detail {
// 10^0 .. 10^22: every one is exactly representable as a double.
inline constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int max_exact_power = 22;
}  // namespace detail

// A score read from its token. Most tokens are plain non-negative decimals ("0.734", "25",
// "1e-3") whose value is digits / 10^decimal_scale; those are kept as digits, so that the
// selection can compare and format them without waiting for (or even doing) the division.
struct parsed_score {
    std::uint64_t digits = 0;
    // 0..22 when the value is digits / 10^decimal_scale, correctly rounded, with digits <= 2^53;
    // otherwise -1 and the value is other_value.
    int decimal_scale = -1;
    double other_value = 0.0;

    double value() const noexcept
    {
        return decimal_scale >= 0 ? static_cast<double>(digits) / detail::exact_powers_of_ten[decimal_scale]
                                  : other_value;
    }
};

// Reads a whole token as a real the way formatted input reads "%lf" (and strtod): decimal and
// hexadecimal forms with or without a "0x" prefix, a leading '+' or '-', ".5", exponents,
// inf/infinity/nan/nan(...) in any case, and out-of-range values as strtod gives them
// (1e-400 -> 0 or a subnormal, 1e400 -> inf). Returns false, leaving `score` unspecified, when
// any part of the token is not part of the number, or when the token is empty.
inline bool parse_score(std::string_view token, parsed_score& score);
inline bool parse_score(std::string_view token, double& value);

// Longest text format_score writes ("-1.23E+308" plus room to spare).
inline constexpr int max_score_text = 32;

// Writes `score` as printf "%.2E" does (correctly rounded, at least two exponent digits,
// INF/NAN upper case) at `out`, which must hold max_score_text characters; returns the end.
inline char* format_score(double score, char* out);
// The same for a parsed score; plain decimals are formatted from their digits.
inline char* format_score(const parsed_score& score, char* out);

// The digit paths below stay inline in this header, beside their callers' loops. Measured: with
// them moved into score_text.cpp, selecting 20M triples at >= 0.5 took 0.635 s of user CPU
// against 0.575 s inline (medians of 8 alternating runs; 10% slower), and 1M triples took 3.8%
// more instructions (callgrind).
namespace detail {

inline bool is_digit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

inline constexpr std::uint64_t powers_of_ten_u64[] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull,
    1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull, 10000000000000ull,
    100000000000000ull, 1000000000000000ull, 10000000000000000ull};
// The last 8 bytes before `last` as a little-endian word, with all but the final `kept` bytes
// replaced by '0' (kept is 1..8).
inline std::uint64_t last_eight_as_digits(const char* last, std::size_t kept) noexcept
{
    std::uint64_t word;
    std::memcpy(&word, last - 8, 8);
    const std::uint64_t kept_mask = ~std::uint64_t{0} << (8 * (8 - kept));
    return (word & kept_mask) | (0x3030303030303030ull & ~kept_mask);
}

inline bool are_eight_digits(std::uint64_t word) noexcept
{
    return ((word & 0xF0F0F0F0F0F0F0F0ull) | (((word + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ==
           0x3333333333333333ull;
}

// The value of 8 ASCII digits, the first one in the lowest byte: pairs, then quads, then all.
inline std::uint64_t eight_digits_value(std::uint64_t word) noexcept
{
    word -= 0x3030303030303030ull;
    word = word * 10 + (word >> 8);
    return (((word & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
            (((word >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >> 32;
}

// Reads in one step a fraction of 1 to 8 digits that ends the token at `last`, when the token
// is at least 8 bytes long (its last 8 bytes are loaded; those before the fraction count as
// zeros). False when that does not apply or the bytes are not all digits.
inline bool read_short_fraction(const char* token_start, const char* fraction_start, const char* last,
                                std::uint64_t& value) noexcept
{
    if constexpr (std::endian::native != std::endian::little) return false;
    const auto length = static_cast<std::size_t>(last - fraction_start);
    if (length - 1 >= 8 || last - token_start < 8) return false;
    const std::uint64_t word = last_eight_as_digits(last, length);
    if (!are_eight_digits(word)) return false;
    value = eight_digits_value(word);
    return true;
}

// The common score forms ("0.734", "-2.5e-3"): at most 19 digits and a power of ten within
// 10^+-22, so that both the digits (up to 2^53) and the power are exact doubles and one
// multiplication or division rounds correctly, which is strtod's result. False for anything
// else, which then takes the general path.
inline bool parse_plain_decimal(const char* p, const char* const last, parsed_score& score) noexcept
{
    const char* const token_start = p;
    bool negative = false;
    if (p != last && (*p == '-' || *p == '+')) negative = *p++ == '-';
    std::uint64_t digits = 0;
    const char* const integer_start = p;
    while (p != last && is_digit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    int digit_count = static_cast<int>(p - integer_start);
    int exponent = 0;
    if (p != last && *p == '.') {
        const char* const fraction_start = ++p;
        const auto fraction_length = static_cast<std::size_t>(last - fraction_start);
        std::uint64_t fraction;
        if (static_cast<std::size_t>(digit_count) + fraction_length <= 19 &&
            read_short_fraction(token_start, fraction_start, last, fraction)) {
            digits = digits * powers_of_ten_u64[fraction_length] + fraction;
            p = last;
        } else {
            while (p != last && is_digit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        }
        exponent = -static_cast<int>(p - fraction_start);
        digit_count -= exponent;
    }
    if (digit_count == 0 || digit_count > 19) return false;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative_exponent = false;
        if (p != last && (*p == '-' || *p == '+')) negative_exponent = *p++ == '-';
        const char* const exponent_start = p;
        int written_exponent = 0;
        while (p != last && is_digit(*p) && p - exponent_start < 4) {
            written_exponent = written_exponent * 10 + (*p++ - '0');
        }
        if (p == exponent_start) return false;
        exponent += negative_exponent ? -written_exponent : written_exponent;
    }
    if (p != last || digits > (std::uint64_t{1} << 53)) return false;
    if (exponent < -max_exact_power || exponent > max_exact_power) return false;
    score.digits = digits;
    if (!negative && exponent <= 0) {
        score.decimal_scale = -exponent;
        return true;
    }
    const double magnitude = exponent < 0 ? static_cast<double>(digits) / exact_powers_of_ten[-exponent]
                                          : static_cast<double>(digits) * exact_powers_of_ten[exponent];
    score.other_value = negative ? -magnitude : magnitude;
    score.decimal_scale = -1;
    return true;
}

// "d.dd" for 0..999 (only 100..999 are used) and "E-dd"/"E+dd" for exponents -29..29, so a
// formatted score is two 4-byte copies.
struct mantissa_table {
    char text[1000][4];
};
inline constexpr mantissa_table mantissa_texts = [] {
    mantissa_table table{};
    for (int m = 0; m < 1000; ++m) {
        table.text[m][0] = static_cast<char>('0' + m / 100);
        table.text[m][1] = '.';
        table.text[m][2] = static_cast<char>('0' + m / 10 % 10);
        table.text[m][3] = static_cast<char>('0' + m % 10);
    }
    return table;
}();

inline constexpr int exponent_text_bias = 29;
struct exponent_table {
    char text[2 * exponent_text_bias + 1][4];
};
inline constexpr exponent_table exponent_texts = [] {
    exponent_table table{};
    for (int e = -exponent_text_bias; e <= exponent_text_bias; ++e) {
        const int magnitude = e < 0 ? -e : e;
        char* text = table.text[e + exponent_text_bias];
        text[0] = 'E';
        text[1] = e < 0 ? '-' : '+';
        text[2] = static_cast<char>('0' + magnitude / 10);
        text[3] = static_cast<char>('0' + magnitude % 10);
    }
    return table;
}();

// "%.2E" for finite scores with 1e-20 <= |score| < 1e20. The three significant digits come
// from |score| * 10^(2 - exponent), computed with one rounding (relative error below 2^-53, so
// under 1.2e-13 in [100, 1000)); when that lands within 1e-9 of a rounding tie the exact
// decision is left to the general path. Returns nullptr when it declines.
inline char* format_plain_score(double score, char* out) noexcept
{
    const double magnitude = std::fabs(score);
    std::uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int binary_exponent = static_cast<int>(bits >> 52) - 1023;  // 2^e <= magnitude < 2^(e+1)
    // floor(e * log10(2)) (78913 / 2^18 approximates log10(2) closely enough for |e| < 1600)
    // is the decimal exponent or one less.
    int exponent = (binary_exponent * 78913) >> 18;
    int power = 2 - exponent;
    if (power < -max_exact_power || power > max_exact_power) return nullptr;
    double scaled = power < 0 ? magnitude / exact_powers_of_ten[-power] : magnitude * exact_powers_of_ten[power];
    if (scaled >= 1000) {
        ++exponent;
        if (--power < -max_exact_power) return nullptr;
        scaled = power < 0 ? magnitude / exact_powers_of_ten[-power] : magnitude * exact_powers_of_ten[power];
    }
    const auto whole = static_cast<int>(scaled);
    const double fraction = scaled - whole;
    if (fraction > 0.5 - 1e-9 && fraction < 0.5 + 1e-9) return nullptr;
    int mantissa = whole + (fraction > 0.5 ? 1 : 0);
    if (mantissa == 1000) {
        mantissa = 100;
        ++exponent;
    }
    if (mantissa < 100 || mantissa > 999 || exponent < -exponent_text_bias || exponent > exponent_text_bias) {
        return nullptr;
    }

    if (score < 0) *out++ = '-';
    std::memcpy(out, mantissa_texts.text[mantissa], 4);
    std::memcpy(out + 4, exponent_texts.text[exponent + exponent_text_bias], 4);
    return out + 8;
}

inline constexpr double reciprocal_powers_of_ten[] = {1e0,  1e-1, 1e-2,  1e-3,  1e-4,  1e-5,
                                                      1e-6, 1e-7, 1e-8,  1e-9,  1e-10, 1e-11,
                                                      1e-12};

// "%.2E" of digits / 10^scale, decided on the decimal digits of the token. With at most 15
// significant digits the decimal text lies at least one unit of its last digit away from any
// rounding midpoint unless it sits on one, while the double differs from the text by less than
// that (2^-53 relative, and 10^15 < 2^53): both round alike. A text exactly on a midpoint is
// left to the double (nullptr), as are zero and longer digit strings.
inline char* format_decimal_digits(std::uint64_t digits, int scale, char* out) noexcept
{
    if (digits == 0 || digits >= powers_of_ten_u64[15]) return nullptr;
    // Number of decimal digits: estimated from the bit length, then corrected.
    const int bit_length = 64 - __builtin_clzll(digits);
    int digit_count = (bit_length * 1233) >> 12;  // 1233 / 4096 ~ log10(2)
    if (digits >= powers_of_ten_u64[digit_count]) ++digit_count;
    int mantissa;
    if (digit_count <= 3) {
        mantissa = static_cast<int>(digits * powers_of_ten_u64[3 - digit_count]);
    } else {
        const std::uint64_t divisor = powers_of_ten_u64[digit_count - 3];
        // The quotient from a double product can be one off; the exact remainder corrects it.
        auto quotient = static_cast<std::int64_t>(static_cast<double>(digits) * reciprocal_powers_of_ten[digit_count - 3]);
        auto remainder = static_cast<std::int64_t>(digits) - quotient * static_cast<std::int64_t>(divisor);
        if (remainder < 0) {
            --quotient;
            remainder += static_cast<std::int64_t>(divisor);
        } else if (remainder >= static_cast<std::int64_t>(divisor)) {
            ++quotient;
            remainder -= static_cast<std::int64_t>(divisor);
        }
        const std::uint64_t twice = 2 * static_cast<std::uint64_t>(remainder);
        if (twice == divisor) return nullptr;
        mantissa = static_cast<int>(quotient) + (twice > divisor ? 1 : 0);
    }
    int exponent = digit_count - 1 - scale;
    if (mantissa == 1000) {
        mantissa = 100;
        ++exponent;
    }
    if (exponent < -exponent_text_bias || exponent > exponent_text_bias) return nullptr;
    std::memcpy(out, mantissa_texts.text[mantissa], 4);
    std::memcpy(out + 4, exponent_texts.text[exponent + exponent_text_bias], 4);
    return out + 8;
}

// The rare forms: hexadecimal, infinities, NaNs, more than 19 digits, large exponents.
bool parse_score_general(std::string_view token, double& value);

// Any double, through std::to_chars.
char* format_score_general(double score, char* out);

}  // namespace detail

// Ledger (selection of 10M triples at >= 0.5, best CPU time of 9 alternating runs, 0.26 s): the
// general %.2E formatting for every score takes 0.70 s (the digit path saves 63%).
inline char* format_score(const parsed_score& score, char* out)
{
    if (score.decimal_scale >= 0) {
        if (char* const end = detail::format_decimal_digits(score.digits, score.decimal_scale, out)) return end;
    }
    return format_score(score.value(), out);
}

// Ledger (selection of 10M triples at >= 0.5, best CPU time of 9 alternating runs, 0.26 s): parsing
// every token the general way (and so losing the digit paths) takes 0.50 s (saves 48%).
inline bool parse_score(std::string_view token, parsed_score& score)
{
    if (detail::parse_plain_decimal(token.data(), token.data() + token.size(), score)) return true;
    score.decimal_scale = -1;
    return detail::parse_score_general(token, score.other_value);
}

inline bool parse_score(std::string_view token, double& value)
{
    parsed_score score;
    const bool parsed = parse_score(token, score);
    value = score.value();
    return parsed;
}

inline char* format_score(double score, char* out)
{
    const double magnitude = std::fabs(score);
    if (magnitude >= 1e-20 && magnitude < 1e20) {
        if (char* const end = detail::format_plain_score(score, out)) return end;
    }
    return detail::format_score_general(score, out);
}

}  // namespace ppi
