#include "ranking_oracle.hpp"

#include <algorithm>

namespace vornel {

std::vector<std::uint64_t> hidden_ranks(const record_runs& runs, std::vector<std::uint64_t> hidden) {
    std::sort(hidden.begin(), hidden.end());
    // First pass: the records of the hidden pairs.
    std::vector<score_record> found;
    for (const auto& run : runs) {
        for (const score_record& record : run) {
            if (std::binary_search(hidden.begin(), hidden.end(), record.tie)) found.push_back(record);
        }
    }
    std::sort(found.begin(), found.end());
    if (found.empty()) return {};
    // Second pass: every record counted in the gap between hidden records it falls into;
    // the rank of found[i] is the number of records before it.
    std::vector<std::uint64_t> before(found.size() + 1, 0);
    const score_record last = found.back();
    for (const auto& run : runs) {
        for (const score_record& record : run) {
            if (last < record) continue;
            ++before[static_cast<std::size_t>(std::upper_bound(found.begin(), found.end(), record) - found.begin())];
        }
    }
    std::vector<std::uint64_t> ranks(found.size());
    std::uint64_t running = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        running += before[i];
        ranks[i] = running;
    }
    return ranks;
}

proposal_figures figures_from_ranks(std::span<const std::uint64_t> ranks, std::uint64_t hidden_count,
                                    std::span<const std::uint64_t> top_k) {
    proposal_figures figures;
    for (const std::uint64_t k : top_k) {
        const auto within = static_cast<std::uint64_t>(std::lower_bound(ranks.begin(), ranks.end(), k) - ranks.begin());
        figures.precision.push_back(k == 0 ? 0.0 : double(within) / double(k));
        figures.recall.push_back(hidden_count == 0 ? 0.0 : double(within) / double(hidden_count));
    }
    double sum = 0;
    for (std::size_t i = 0; i < ranks.size(); ++i) sum += double(i + 1) / double(ranks[i] + 1);
    figures.average_precision = hidden_count == 0 ? 0.0 : sum / double(hidden_count);
    return figures;
}

} // namespace vornel
