// Methods built on the partners that two proteins share (paths of length two).
#include "scorer/methods/row_engine.hpp"
#include "scorer/methods/scorers.hpp"

#include <algorithm>
#include <cmath>

namespace vornel {

namespace {

// Counts shared partners; `Score` maps (count, u, v, interacting) to the method's score.
template <class Score>
struct counting_kernel {
    static constexpr bool counts_partners = true;
    Score score;
    double path_term(std::uint32_t, std::uint64_t, std::uint64_t) const { return 1.0; }
    double finish(std::uint32_t u, std::uint32_t v, double count, bool interacting) const {
        return score(count, u, v, interacting);
    }
};
template <class Score>
counting_kernel(Score) -> counting_kernel<Score>;

// Sums a per-protein weight over shared partners.
struct weighted_partner_kernel {
    static constexpr bool counts_partners = false;
    std::vector<double> weight;
    double path_term(std::uint32_t a, std::uint64_t, std::uint64_t) const { return weight[a]; }
    double finish(std::uint32_t, std::uint32_t, double sum, bool) const { return sum; }
};

// The weighted sums of Lu and Zhou: every shared partner a adds (w(u,a) + w(a,v)) factor[a].
struct weighted_pair_kernel {
    static constexpr bool counts_partners = false;
    std::span<const double> weight;  // by slot
    std::vector<double> factor;      // by protein
    double path_term(std::uint32_t a, std::uint64_t slot_ua, std::uint64_t slot_av) const {
        return (weight[slot_ua] + weight[slot_av]) * factor[a];
    }
    double finish(std::uint32_t, std::uint32_t, double sum, bool) const { return sum; }
};

// Lu and Zhou's kernel with factor[z] = f(s_z), s_z the strength of z (f(0) gives no term).
template <class Factor>
record_runs score_weighted_pairs(const scoring_job& job, Factor factor_of_strength) {
    std::vector<double> ones;
    weighted_pair_kernel kernel{slot_weights(*job.net, ones), {}};
    kernel.factor = strengths(*job.net, kernel.weight);
    for (double& s : kernel.factor) s = s > 0 ? factor_of_strength(s) : 0.0;
    return score_shared_partners(job, kernel);
}

// The weighted FS-Weight: reliabilities r (the weights, r(x,x) = 1) summed over closed
// neighbourhoods, as partner_sums over the shared partners plus u and v when they interact.
struct reliability_kernel {
    static constexpr bool counts_partners = false;
    const network& net;
    std::span<const double> weight;   // by slot
    std::vector<double> closed_size;  // 1 + s_x: the summed reliabilities of N[x]
    std::vector<double> penalty;      // lambda_x = max(0, n_avg - closed_size[x])

    partner_sums path_term(std::uint32_t, std::uint64_t slot_ua, std::uint64_t slot_av) const {
        const double r_ua = weight[slot_ua];
        const double r_av = weight[slot_av];
        return {r_ua * r_av, r_ua, r_av};
    }

    double finish(std::uint32_t u, std::uint32_t v, partner_sums sums, bool interacting) const {
        if (interacting) {
            // x = u adds r(u,u) r(v,u), x = v adds r(u,v) r(v,v).
            const auto row = net.partners(u);
            const double r = weight[net.row_starts[u] +
                                    static_cast<std::uint64_t>(std::lower_bound(row.begin(), row.end(), v) - row.begin())];
            sums.both += 2.0 * r;
            sums.from_u += 1.0 + r;
            sums.from_v += r + 1.0;
        }
        if (sums.both == 0) return 0.0;
        const double only_u = std::max(0.0, closed_size[u] - sums.from_u);
        const double only_v = std::max(0.0, closed_size[v] - sums.from_v);
        const double twice = 2.0 * sums.both;
        return twice / (only_u + twice + penalty[u]) * (twice / (only_v + twice + penalty[v]));
    }
};

// Size of N[u] & N[v]: the shared partners, plus u and v themselves when they interact.
double closed_overlap(double shared, bool interacting) { return shared + (interacting ? 2.0 : 0.0); }

}  // namespace

record_runs score_cn(const scoring_job& job) {
    return score_shared_partners(job, counting_kernel{[](double count, std::uint32_t, std::uint32_t, bool) {
        return count;
    }});
}

record_runs score_jaccard(const scoring_job& job) {
    const network& net = *job.net;
    return score_shared_partners(job, counting_kernel{[&](double count, std::uint32_t u, std::uint32_t v, bool) {
        if (count == 0) return 0.0;
        return count / (double(net.degree(u)) + double(net.degree(v)) - count);
    }});
}

record_runs score_dice(const scoring_job& job) {
    const network& net = *job.net;
    return score_shared_partners(job, counting_kernel{[&](double count, std::uint32_t u, std::uint32_t v, bool) {
        if (count == 0) return 0.0;
        return 2.0 * count / (double(net.degree(u)) + double(net.degree(v)));
    }});
}

record_runs score_cd(const scoring_job& job) {
    const network& net = *job.net;
    return score_shared_partners(
        job, counting_kernel{[&](double count, std::uint32_t u, std::uint32_t v, bool interacting) {
            const double overlap = closed_overlap(count, interacting);
            if (overlap == 0) return 0.0;
            return 2.0 * overlap / (double(net.degree(u)) + double(net.degree(v)) + 2.0);
        }});
}

record_runs score_aa(const scoring_job& job) {
    const network& net = *job.net;
    weighted_partner_kernel kernel;
    kernel.weight.resize(net.protein_count());
    // A shared partner has at least two partners, so ln(k) > 0 wherever the weight is used.
    for (std::uint32_t z = 0; z < net.protein_count(); ++z) {
        kernel.weight[z] = net.degree(z) > 1 ? 1.0 / std::log(double(net.degree(z))) : 0.0;
    }
    return score_shared_partners(job, kernel);
}

record_runs score_ra(const scoring_job& job) {
    const network& net = *job.net;
    weighted_partner_kernel kernel;
    kernel.weight.resize(net.protein_count());
    for (std::uint32_t z = 0; z < net.protein_count(); ++z) {
        kernel.weight[z] = net.degree(z) > 0 ? 1.0 / double(net.degree(z)) : 0.0;
    }
    return score_shared_partners(job, kernel);
}

record_runs score_pcd(const scoring_job& job) {
    const network& net = *job.net;
    const std::uint32_t n = net.protein_count();
    // Mean closed-neighbourhood size: every protein contributes itself plus its partners.
    const double mean_closed = n == 0 ? 0.0 : 1.0 + 2.0 * double(net.interaction_count()) / double(n);
    std::vector<double> penalty(n);
    for (std::uint32_t x = 0; x < n; ++x) {
        penalty[x] = std::max(0.0, mean_closed - (double(net.degree(x)) + 1.0));
    }
    return score_shared_partners(
        job, counting_kernel{[&](double count, std::uint32_t u, std::uint32_t v, bool interacting) {
            const double overlap = closed_overlap(count, interacting);
            if (overlap == 0) return 0.0;
            const double only_u = double(net.degree(u)) + 1.0 - overlap;
            const double only_v = double(net.degree(v)) + 1.0 - overlap;
            const double twice = 2.0 * overlap;
            return twice / (only_u + twice + penalty[u]) * (twice / (only_v + twice + penalty[v]));
        }});
}

record_runs score_cn_w(const scoring_job& job) {
    return score_weighted_pairs(job, [](double) { return 1.0; });
}

record_runs score_aa_w(const scoring_job& job) {
    return score_weighted_pairs(job, [](double s) { return 1.0 / std::log1p(s); });
}

record_runs score_ra_w(const scoring_job& job) {
    return score_weighted_pairs(job, [](double s) { return 1.0 / s; });
}

record_runs score_pcd_w(const scoring_job& job) {
    const network& net = *job.net;
    const std::uint32_t n = net.protein_count();
    std::vector<double> ones;
    reliability_kernel kernel{net, slot_weights(net, ones), {}, {}};
    // n_avg is the mean closed-neighbourhood size counted as in pcd.
    const double mean_closed = n == 0 ? 0.0 : 1.0 + 2.0 * double(net.interaction_count()) / double(n);
    kernel.closed_size = strengths(net, kernel.weight);
    kernel.penalty.resize(n);
    for (std::uint32_t x = 0; x < n; ++x) {
        kernel.closed_size[x] += 1.0;
        kernel.penalty[x] = std::max(0.0, mean_closed - kernel.closed_size[x]);
    }
    return score_shared_partners(job, kernel);
}

}  // namespace vornel
