// Methods built on the partners that two proteins share (paths of length two).
#include "scorer/methods.hpp"

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

}  // namespace vornel
