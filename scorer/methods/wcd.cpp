// The iterative weighted Czekanowski-Dice method: interaction weights are re-estimated from
// the weighted overlap of closed neighbourhoods, round after round.
#include "scorer/methods/row_engine.hpp"
#include "scorer/methods/scorers.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>

namespace vornel {

namespace {

// Interaction weights by CSR slot (both directions hold the same value), each protein's
// strength S_u (sum of w(x,u) over N[u], with w(u,u) = 1) and the floor, the mean strength.
struct weight_state {
    std::vector<double> weight;
    std::vector<double> floored_strength;  // max(S_u, floor)
};

std::vector<double> floored_strengths(const network& net, const std::vector<double>& weight) {
    const std::uint32_t n = net.protein_count();
    std::vector<double> strength(n);
    double total = 0;
    for (std::uint32_t u = 0; u < n; ++u) {
        double s = 1.0;
        for (std::uint64_t slot = net.row_starts[u]; slot < net.row_starts[u + 1]; ++slot) s += weight[slot];
        strength[u] = s;
        total += s;
    }
    const double floor = n == 0 ? 0.0 : total / double(n);
    for (double& s : strength) s = std::max(s, floor);
    return strength;
}

struct weighted_kernel {
    static constexpr bool counts_partners = false;
    const network& net;
    const weight_state& state;

    double path_term(std::uint32_t, std::uint64_t slot_ua, std::uint64_t slot_av) const {
        return state.weight[slot_ua] + state.weight[slot_av];
    }

    double weight_between(std::uint32_t u, std::uint32_t v) const {
        const auto row = net.partners(u);
        const auto slot = std::lower_bound(row.begin(), row.end(), v) - row.begin();
        return state.weight[net.row_starts[u] + static_cast<std::uint64_t>(slot)];
    }

    // Interacting proteins also share themselves: x = u adds w(u,u) + w(u,v), x = v adds
    // w(v,u) + w(v,v).
    double finish(std::uint32_t u, std::uint32_t v, double sum, bool interacting) const {
        if (interacting) sum += 2.0 * (1.0 + weight_between(u, v));
        if (sum == 0) return 0.0;
        return sum / (state.floored_strength[u] + state.floored_strength[v]);
    }
};

// For every slot, the slot of the same interaction in the partner's row.
std::vector<std::uint64_t> mirror_slots(const network& net) {
    std::vector<std::uint64_t> mirror(net.partner_ids.size());
    for (std::uint32_t u = 0; u < net.protein_count(); ++u) {
        for (std::uint64_t slot = net.row_starts[u]; slot < net.row_starts[u + 1]; ++slot) {
            const std::uint32_t v = net.partner_ids[slot];
            const auto row = net.partners(v);
            mirror[slot] = net.row_starts[v] +
                           static_cast<std::uint64_t>(std::lower_bound(row.begin(), row.end(), u) - row.begin());
        }
    }
    return mirror;
}

// One round over all interactions: returns the new weight of every slot.
std::vector<double> reweigh_interactions(const scoring_job& job, const weight_state& state,
                                         const std::vector<std::uint64_t>& mirror) {
    const network& net = *job.net;
    const weighted_kernel kernel{net, state};
    std::vector<double> next(net.partner_ids.size(), 0.0);
    auto spaces = make_workspaces(job);
    parallel_for_items(net.protein_count(), job.threads, [&](unsigned t, std::uint32_t u) {
        row_workspace& ws = spaces[t];
        const std::uint32_t stamp = mark_partners(net, u, ws);
        const auto above = partners_above(net, u, u);
        std::uint64_t slot = static_cast<std::uint64_t>(above.data() - net.partner_ids.data());
        for (const std::uint32_t v : above) {
            const double w = kernel.finish(u, v, sum_shared_with(net, kernel, v, stamp, ws), true);
            next[slot] = w;
            next[mirror[slot]] = w;
            ++slot;
        }
    }, job.cancel);
    return next;
}

std::uint64_t weights_hash(const std::vector<double>& weight) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const double w : weight) hash = (hash ^ std::bit_cast<std::uint64_t>(w)) * 1099511628211ull;
    return hash;
}

// Finds the period of weights that cycle, exactly: a hash is compared with the hash at a mark
// that moves to ever farther rounds (Brent's method, constant memory); a match is confirmed
// by comparing the whole weights one period later with a copy.
class repeat_finder {
public:
    // Called after every round with its weights: the period once the weights are known to
    // repeat with it (then call no more), else 0.
    int period_after(int round, const std::vector<double>& weight) {
        if (found_) return 0;
        if (!copy_.empty()) {
            if (round < copy_round_ + candidate_) return 0;
            found_ = weight == copy_;
            if (found_) return candidate_;
            copy_.clear();  // a hash collision: look on
        }
        const std::uint64_t hash = weights_hash(weight);
        if (hash == mark_hash_ && round > mark_round_) {
            candidate_ = round - mark_round_;
            copy_ = weight;
            copy_round_ = round;
        } else if (round - mark_round_ >= power_) {
            mark_hash_ = hash;
            mark_round_ = round;
            power_ = power_ > (1 << 29) ? power_ : power_ * 2;
        }
        return 0;
    }

private:
    std::uint64_t mark_hash_ = 0;
    int mark_round_ = 0;
    int power_ = 1;
    int candidate_ = 0;
    int copy_round_ = 0;
    std::vector<double> copy_;
    bool found_ = false;
};

// Runs the rounds from the given interaction weights (by slot; empty: every weight 1).
record_runs score_wcd_from(const scoring_job& job, std::span<const double> start) {
    const network& net = *job.net;
    weight_state state;
    if (start.empty()) {
        state.weight.assign(net.partner_ids.size(), 1.0);
    } else {
        state.weight.assign(start.begin(), start.end());
    }
    state.floored_strength = floored_strengths(net, state.weight);
    if (job.rounds > 1) {
        const auto mirror = mirror_slots(net);
        repeat_finder repeats;
        const int last_round = job.rounds - 1;
        for (int round = 1; round <= last_round; ++round) {
            std::vector<double> next = reweigh_interactions(job, state, mirror);
            const auto changed = static_cast<std::uint64_t>(
                std::inner_product(next.begin(), next.end(), state.weight.begin(), std::uint64_t{0},
                                   std::plus<>(), std::not_equal_to<>()));
            state.weight = std::move(next);
            // A round that changes no weight is a fixed point: every later round would repeat it.
            if (changed == 0) {
                if (job.round_done) job.round_done({round, changed, 1});
                break;
            }
            state.floored_strength = floored_strengths(net, state.weight);
            // Weights that repeat every `period` rounds (rounding makes the last bits cycle)
            // give the same scores a whole number of periods later: skip those rounds.
            const int period = repeats.period_after(round, state.weight);
            if (job.round_done) job.round_done({round, changed, period});
            if (period > 0) round += (last_round - round) / period * period;
        }
    }
    return score_shared_partners(job, weighted_kernel{net, state});
}

}  // namespace

record_runs score_wcd(const scoring_job& job) { return score_wcd_from(job, {}); }

// The interactions start at their confidences instead of 1 (w(x,x) stays 1).
record_runs score_wcd_w(const scoring_job& job) { return score_wcd_from(job, job.net->weights); }

}  // namespace vornel
