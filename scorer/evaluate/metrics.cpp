#include "scorer/evaluate/metrics.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace vornel {

double auc_with_ties(std::span<const double> real, std::span<const double> planted) {
    if (real.empty() || planted.empty()) return 0.5;
    std::vector<double> low(planted.begin(), planted.end());
    std::sort(low.begin(), low.end());
    double wins = 0;
    for (const double score : real) {
        const auto below = std::lower_bound(low.begin(), low.end(), score) - low.begin();
        const auto equal = std::upper_bound(low.begin(), low.end(), score) - low.begin() - below;
        wins += double(below) + 0.5 * double(equal);
    }
    return wins / (double(real.size()) * double(low.size()));
}

double planted_share_among_lowest(std::span<const double> scores, std::span<const std::uint8_t> is_planted,
                                  double share) {
    std::vector<std::pair<double, bool>> ordered(scores.size());
    for (std::size_t i = 0; i < scores.size(); ++i) ordered[i] = {scores[i], is_planted[i] != 0};
    std::sort(ordered.begin(), ordered.end());
    const double budget = share * double(ordered.size());
    double taken = 0, marked = 0;
    for (std::size_t i = 0; i < ordered.size() && taken < budget;) {
        std::size_t j = i;
        std::size_t planted = 0;
        while (j < ordered.size() && ordered[j].first == ordered[i].first) planted += ordered[j++].second;
        const double group = double(j - i);
        const double fraction = std::min(1.0, (budget - taken) / group);
        taken += fraction * group;
        marked += fraction * double(planted);
        i = j;
    }
    return taken > 0 ? marked / taken : 0.0;
}

spread spread_of(std::span<const double> values) {
    spread s;
    if (values.empty()) return s;
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    if (values.size() > 1) {
        double squares = 0;
        for (const double v : values) squares += (v - s.mean) * (v - s.mean);
        s.sd = std::sqrt(squares / double(values.size() - 1));
    }
    return s;
}

std::vector<std::uint64_t> curve_points(std::span<const std::uint64_t> top_k) {
    const std::uint64_t largest =
        top_k.empty() ? 1000 : std::max<std::uint64_t>(1, *std::max_element(top_k.begin(), top_k.end()));
    std::vector<std::uint64_t> points;
    constexpr int steps = 40;
    for (int i = 0; i <= steps; ++i) {
        const auto k = static_cast<std::uint64_t>(std::llround(std::pow(double(largest), double(i) / steps)));
        if (points.empty() || k > points.back()) points.push_back(k);
    }
    return points;
}

} // namespace vornel
