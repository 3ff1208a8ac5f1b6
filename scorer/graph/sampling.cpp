#include "scorer/graph/sampling.hpp"

#include "scorer/parallel/parallel.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <utility>

namespace vornel {

std::uint64_t seeded_random::next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t seeded_random::below(std::uint64_t bound) {
    const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % bound);
    for (;;) {
        const std::uint64_t value = next();
        if (value < limit) return value % bound;
    }
}

std::vector<std::uint32_t> hashed_sample(std::uint32_t count, double share, std::uint64_t seed) {
    std::vector<std::uint32_t> sample;
    const double range = 18446744073709551616.0; // 2^64
    for (std::uint32_t x = 0; x < count; ++x) {
        if (share >= 1.0 || double(seeded_random(std::uint64_t(x) ^ seed).next()) < share * range) sample.push_back(x);
    }
    return sample;
}

namespace {

// The rows of `net` (row_starts already counted) from weighted pairs: each row sorted by
// partner, its weights moved along.
void fill_weighted_rows(network& net, std::span<const pair_ids> pairs, std::span<const double> weights) {
    const std::uint32_t n = net.protein_count();
    std::vector<std::pair<std::uint32_t, double>> slots(pairs.size() * 2);
    std::vector<std::uint64_t> fill(net.row_starts.begin(), net.row_starts.end() - 1);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        slots[fill[pairs[i].first]++] = {pairs[i].second, weights[i]};
        slots[fill[pairs[i].second]++] = {pairs[i].first, weights[i]};
    }
    net.partner_ids.resize(slots.size());
    net.weights.resize(slots.size());
    for (std::uint32_t u = 0; u < n; ++u) {
        const auto first = slots.begin() + static_cast<std::ptrdiff_t>(net.row_starts[u]);
        const auto last = slots.begin() + static_cast<std::ptrdiff_t>(net.row_starts[u + 1]);
        std::sort(first, last, [](const auto& x, const auto& y) { return x.first < y.first; });
    }
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        net.partner_ids[slot] = slots[slot].first;
        net.weights[slot] = slots[slot].second;
    }
}

} // namespace

std::vector<pair_ids> interaction_list(const network& net) {
    std::vector<pair_ids> pairs;
    pairs.reserve(net.interaction_count());
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        const auto row = net.partners(u);
        for (auto v = std::upper_bound(row.begin(), row.end(), u); v != row.end(); ++v) pairs.push_back({u, *v});
    }
    return pairs;
}

network network_with_interactions(const network& proteins, std::span<const pair_ids> pairs,
                                  std::span<const double> weights) {
    network net;
    net.name_bytes = proteins.name_bytes;
    net.name_starts = proteins.name_starts;
    const std::uint32_t n = proteins.protein_count();
    net.row_starts.assign(std::size_t{n} + 1, 0);
    for (const auto& p : pairs) {
        ++net.row_starts[p.first + 1];
        ++net.row_starts[p.second + 1];
    }
    for (std::uint32_t u = 0; u < n; ++u) net.row_starts[u + 1] += net.row_starts[u];
    if (!weights.empty()) {
        fill_weighted_rows(net, pairs, weights);
        return net;
    }
    std::vector<std::uint64_t> fill(net.row_starts.begin(), net.row_starts.end() - 1);
    net.partner_ids.resize(pairs.size() * 2);
    for (const auto& p : pairs) {
        net.partner_ids[fill[p.first]++] = p.second;
        net.partner_ids[fill[p.second]++] = p.first;
    }
    for (std::uint32_t u = 0; u < n; ++u) {
        std::sort(net.partner_ids.begin() + static_cast<std::ptrdiff_t>(net.row_starts[u]),
                  net.partner_ids.begin() + static_cast<std::ptrdiff_t>(net.row_starts[u + 1]));
    }
    return net;
}

std::vector<double> weights_of_pairs(const network& net, std::span<const pair_ids> pairs, std::uint64_t seed) {
    std::vector<double> weights;
    if (!net.weighted()) return weights;
    weights.reserve(pairs.size());
    seeded_random random(seed);
    for (const auto& p : pairs) {
        const auto row = net.partners(p.first);
        const auto at = std::lower_bound(row.begin(), row.end(), p.second);
        if (at != row.end() && *at == p.second) {
            weights.push_back(net.weights[net.row_starts[p.first] + static_cast<std::uint64_t>(at - row.begin())]);
        } else {
            weights.push_back(net.weights[random.below(net.weights.size())]);
        }
    }
    return weights;
}

hold_out split_interactions(std::span<const pair_ids> interactions, double share, std::uint64_t seed) {
    std::vector<pair_ids> order(interactions.begin(), interactions.end());
    const auto hidden_count = static_cast<std::size_t>(
        std::clamp(std::llround(share * double(order.size())), 0LL, static_cast<long long>(order.size())));
    seeded_random random(seed);
    // A partial Fisher-Yates shuffle: the first hidden_count places get a uniform sample.
    for (std::size_t i = 0; i < hidden_count; ++i) {
        std::swap(order[i], order[i + random.below(order.size() - i)]);
    }
    hold_out split;
    split.hidden.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(hidden_count));
    split.kept.assign(order.begin() + static_cast<std::ptrdiff_t>(hidden_count), order.end());
    // Row order for the kept ones, so that building the network does not depend on the draw order.
    std::sort(split.kept.begin(), split.kept.end(), [](const pair_ids& x, const pair_ids& y) {
        return x.first != y.first ? x.first < y.first : x.second < y.second;
    });
    return split;
}

std::vector<pair_ids> plant_by_degree(const network& net, std::span<const pair_ids> interactions, double share,
                                      std::uint64_t seed, const std::atomic<bool>* cancel) {
    const auto wanted = static_cast<std::size_t>(std::max(0LL, std::llround(share * double(interactions.size()))));
    std::vector<pair_ids> planted;
    if (interactions.empty()) return planted;
    std::unordered_set<std::uint64_t> taken;
    seeded_random random(seed);
    const std::uint64_t stubs = interactions.size() * 2;
    auto stub = [&](std::uint64_t s) { return s % 2 == 0 ? interactions[s / 2].first : interactions[s / 2].second; };
    // Every draw is tried at most this often on average before giving up (a tiny, dense network).
    const std::uint64_t max_draws = 100 * (wanted + 10);
    for (std::uint64_t draw = 0; draw < max_draws && planted.size() < wanted; ++draw) {
        if (draw % 65536 == 0) stop_if_cancelled(cancel);
        const std::uint32_t a = stub(random.below(stubs));
        const std::uint32_t b = stub(random.below(stubs));
        if (a == b || net.interacts(a, b)) continue;
        const auto [u, v] = std::minmax(a, b);
        if (taken.insert((std::uint64_t{u} << 32) | v).second) planted.push_back({u, v});
    }
    return planted;
}

} // namespace vornel
