#pragma once

#include <cstdint>
#include <string_view>

// The one grammar of numbers that both programs read from command lines, the Python package and
// table columns: the whole text is the number, with no blanks around it. A whole number is one
// optional sign ('+' or '-') and decimal digits ("+2", "-1", "007"); a real is one optional sign
// and a decimal number as C writes it ("0.7", "-.5", "1e-3", "2E+4"), finite ("nan", "inf" and
// hexadecimal are not numbers). No locale is consulted: a comma is never a decimal point.
namespace ppi::io {

// A whole number that fits a long long.
bool parse_integer(std::string_view text, long long& value);

// A finite real.
bool parse_real(std::string_view text, double& value);

// A whole number from `low` to `high` (a count, a column number, a seed).
bool parse_count(std::string_view text, std::uint64_t low, std::uint64_t high, std::uint64_t& value);

} // namespace ppi::io
