#pragma once

// The figures of the evaluation, from plain lists of scores.

#include <cstdint>
#include <span>
#include <vector>

namespace vornel {

// Mean and sample standard deviation over the repeats.
struct spread {
    double mean = 0;
    double sd = 0;
};
spread spread_of(std::span<const double> values);

// The probability that a real item scores above a planted one (ties count one half).
double auc_with_ties(std::span<const double> real, std::span<const double> planted);

// The share of planted items among the lowest-scored `share` of all items; a tie group that
// straddles the cut counts in proportion, as a random order within ties would.
double planted_share_among_lowest(std::span<const double> scores, std::span<const std::uint8_t> is_planted,
                                  double share);

// The k at which the precision curve is drawn: about 40 values from 1 to the largest top-k.
std::vector<std::uint64_t> curve_points(std::span<const std::uint64_t> top_k);

} // namespace vornel
