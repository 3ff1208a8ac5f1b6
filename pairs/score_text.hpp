#pragma once

#include <optional>
#include <string_view>

namespace ppi {

// Reads a whole token as a real the way formatted input reads "%lf" (and strtod): decimal and
// hexadecimal forms with or without a "0x" prefix, a leading '+' or '-', ".5", exponents,
// inf/infinity/nan/nan(...) in any case, and out-of-range values as strtod gives them
// (1e-400 -> 0 or a subnormal, 1e400 -> inf). Returns nothing when any part of the token is
// not part of the number, or when the token is empty.
std::optional<double> parse_score(std::string_view token);

// Longest text format_score writes ("-1.23E+308" plus room to spare).
inline constexpr int max_score_text = 32;

// Writes `score` as printf "%.2E" does (correctly rounded, at least two exponent digits,
// INF/NAN upper case) at `out`, which must hold max_score_text characters; returns the end.
char* format_score(double score, char* out);

}  // namespace ppi
