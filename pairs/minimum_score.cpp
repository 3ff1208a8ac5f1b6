#include "minimum_score.hpp"

#include <cmath>
#include <limits>

namespace ppi {

namespace {

constexpr std::uint64_t max_plain_digits = std::uint64_t{1} << 53;

double value_of(std::uint64_t digits, int scale) noexcept
{
    return static_cast<double>(digits) / detail::exact_powers_of_ten[scale];
}

// Smallest digits d <= 2^53 with fl(d / 10^scale) >= threshold, or more than 2^53 when none.
std::uint64_t least_accepted_digits(double threshold, int scale) noexcept
{
    if (threshold <= 0) return 0;
    if (!(threshold > 0)) return std::numeric_limits<std::uint64_t>::max();  // NaN: none
    const double estimate = threshold * detail::exact_powers_of_ten[scale];
    if (estimate > static_cast<double>(max_plain_digits) + 16) return std::numeric_limits<std::uint64_t>::max();
    // The estimate is within a few units of the boundary; walk to it.
    auto digits = static_cast<std::uint64_t>(estimate);
    while (digits > 0 && value_of(digits - 1, scale) >= threshold) --digits;
    while (digits <= max_plain_digits && value_of(digits, scale) < threshold) ++digits;
    return digits;
}

}  // namespace

minimum_score::minimum_score(double threshold) noexcept : threshold_(threshold)
{
    for (int scale = 0; scale <= detail::max_exact_power; ++scale) {
        least_digits_[scale] = least_accepted_digits(threshold, scale);
    }
}

}  // namespace ppi
