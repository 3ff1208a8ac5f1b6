#include "scorer/graph/network_builder.hpp"

#include <algorithm>
#include <numeric>
#include <span>

namespace vornel {

namespace {

// Whether a stop flag is given and set.
bool is_set(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// Fills net.name_bytes and net.name_starts in byte order of the identifiers; returns, for
// every first-seen id, its dense id (its rank in that order).
std::vector<std::uint32_t> number_in_byte_order(const identifier_table& identifiers, network& net) {
    const std::uint32_t n = identifiers.size();
    std::vector<std::uint32_t> by_name(n);
    std::iota(by_name.begin(), by_name.end(), 0u);
    std::sort(by_name.begin(), by_name.end(),
              [&](std::uint32_t x, std::uint32_t y) { return identifiers.name(x) < identifiers.name(y); });
    std::vector<std::uint32_t> dense(n);
    net.name_starts.reserve(std::size_t{n} + 1);
    net.name_starts.push_back(0);
    for (std::uint32_t rank = 0; rank < n; ++rank) {
        dense[by_name[rank]] = rank;
        net.name_bytes += identifiers.name(by_name[rank]);
        net.name_starts.push_back(net.name_bytes.size());
    }
    return dense;
}

// Offsets of rows holding every listed pair in both directions.
std::vector<std::uint64_t> row_offsets(std::span<const pair_ids> edges, std::uint32_t n) {
    std::vector<std::uint64_t> starts(std::size_t{n} + 1, 0);
    for (const auto& [a, b] : edges) {
        ++starts[a + 1];
        ++starts[b + 1];
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    return starts;
}

// Builds the rows of net from the interactions (repeats allowed), with their weights when
// `Weighted`; returns how many repeated pairs were merged. Two linear passes instead of a sort:
// the first groups partners by row in any order; the second walks those rows in increasing id u
// and appends u to the row of each partner, so every row receives its partners in increasing
// order. Repeated rows of a pair keep the largest weight: the maximum does not depend on the
// order of the rows, leaves a pair listed in both orientations with one score (as STRING lists
// every link) as it is, and takes the best piece of evidence when each row is one (as in
// PSI-MITAB), where a sum would count the same link again for every orientation or listing.
template <bool Weighted>
std::optional<std::uint64_t> build_rows(std::span<const pair_ids> edges, std::span<const double> edge_weights,
                                        std::uint32_t n, network& net, const std::atomic<bool>* cancel) {
    const std::vector<std::uint64_t> starts = row_offsets(edges, n);
    if (is_set(cancel)) return std::nullopt;
    big_vector<std::uint32_t> unordered(starts.back());
    big_vector<double> unordered_weights(Weighted ? starts.back() : 0);
    std::vector<std::uint64_t> fill(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const auto [a, b] = edges[i];
        if constexpr (Weighted) {
            unordered_weights[fill[a]] = edge_weights[i];
            unordered_weights[fill[b]] = edge_weights[i];
        }
        unordered[fill[a]++] = b;
        unordered[fill[b]++] = a;
    }
    if (is_set(cancel)) return std::nullopt;
    std::copy(starts.begin(), starts.end() - 1, fill.begin());
    big_vector<std::uint32_t> sorted(starts.back());
    big_vector<double> sorted_weights(Weighted ? starts.back() : 0);
    for (std::uint32_t u = 0; u < n; ++u) {
        for (std::uint64_t slot = starts[u]; slot < starts[u + 1]; ++slot) {
            const std::uint64_t to = fill[unordered[slot]]++;
            sorted[to] = u;
            if constexpr (Weighted) sorted_weights[to] = unordered_weights[slot];
        }
    }
    if (is_set(cancel)) return std::nullopt;
    // Repeats are now neighbours within their rows: keep the first of each run.
    net.row_starts.assign(std::size_t{n} + 1, 0);
    std::uint64_t kept = 0;
    for (std::uint32_t u = 0; u < n; ++u) {
        for (std::uint64_t slot = starts[u]; slot < starts[u + 1]; ++slot) {
            if (slot == starts[u] || sorted[slot] != sorted[slot - 1]) {
                if constexpr (Weighted) sorted_weights[kept] = sorted_weights[slot];
                sorted[kept++] = sorted[slot];
            } else if constexpr (Weighted) {
                sorted_weights[kept - 1] = std::max(sorted_weights[kept - 1], sorted_weights[slot]);
            }
        }
        net.row_starts[u + 1] = kept;
    }
    const std::uint64_t repeated_directions = sorted.size() - kept;
    sorted.resize(kept);
    net.partner_ids = std::move(sorted);
    if constexpr (Weighted) {
        sorted_weights.resize(kept);
        net.weights = std::move(sorted_weights);
    }
    return repeated_directions / 2; // every repeated pair shows up in both of its rows
}

} // namespace

std::optional<network_result> network_builder::finish(const std::atomic<bool>* cancel) && {
    network_result result;
    result.counts = counts_;
    const std::vector<std::uint32_t> dense = number_in_byte_order(identifiers_, result.net);
    if (is_set(cancel)) return std::nullopt;
    for (auto& edge : edges_) edge = {dense[edge.first], dense[edge.second]};
    const bool weighted = all_weighted_ && !edges_.empty();
    const std::optional<std::uint64_t> repeated =
        weighted ? build_rows<true>(edges_, edge_weights_, identifiers_.size(), result.net, cancel)
                 : build_rows<false>(edges_, {}, identifiers_.size(), result.net, cancel);
    if (!repeated) return std::nullopt;
    result.counts.repeated_pairs = *repeated;
    edge_weights_ = {};
    result.lines = std::move(edges_);
    return result;
}

} // namespace vornel
