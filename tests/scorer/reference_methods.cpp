#include "reference_methods.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace reference {

namespace {

std::set<protein> partners(const graph& g, const protein& x) {
    const auto found = g.find(x);
    return found == g.end() ? std::set<protein>{} : found->second;
}

std::set<protein> closed(const graph& g, const protein& x) {
    auto set = partners(g, x);
    set.insert(x);
    return set;
}

std::set<protein> intersection(const std::set<protein>& a, const std::set<protein>& b) {
    std::set<protein> out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.begin()));
    return out;
}

std::set<protein> difference(const std::set<protein>& a, const std::set<protein>& b) {
    std::set<protein> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.begin()));
    return out;
}

double degree(const graph& g, const protein& x) { return double(partners(g, x).size()); }

double pcd(const graph& g, const protein& u, const protein& v) {
    double total_closed = 0;
    for (const auto& [x, p] : g) total_closed += double(p.size() + 1);
    const double mean_closed = total_closed / double(g.size());
    const auto nu = closed(g, u);
    const auto nv = closed(g, v);
    const double i = double(intersection(nu, nv).size());
    const double lambda_u = std::max(0.0, mean_closed - double(nu.size()));
    const double lambda_v = std::max(0.0, mean_closed - double(nv.size()));
    if (i == 0) return 0;
    return 2 * i / (double(difference(nu, nv).size()) + 2 * i + lambda_u) *
           (2 * i / (double(difference(nv, nu).size()) + 2 * i + lambda_v));
}

// Weights of the weighted Czekanowski-Dice method, by ordered pair; w(x, x) = 1.
using weights = std::map<std::pair<protein, protein>, double>;

double weight(const weights& w, const protein& x, const protein& y) {
    if (x == y) return 1.0;
    return w.at({x, y});
}

// max(S_x, mean S) for every protein x, S_x being the sum of w(y, x) over y in N[x].
std::map<protein, double> floored_strengths(const graph& g, const weights& w) {
    std::map<protein, double> strength;
    double total = 0;
    for (const auto& [x, p] : g) {
        double s = 0;
        for (const auto& y : closed(g, x)) s += weight(w, y, x);
        strength[x] = s;
        total += s;
    }
    const double floor = total / double(g.size());
    for (auto& [x, s] : strength) s = std::max(s, floor);
    return strength;
}

double wcd_with(const graph& g, const weights& w, const std::map<protein, double>& strength,
                const protein& u, const protein& v) {
    double sum = 0;
    for (const auto& x : intersection(closed(g, u), closed(g, v))) sum += weight(w, x, u) + weight(w, x, v);
    if (sum == 0) return 0;
    return sum / (strength.at(u) + strength.at(v));
}

// The weights that the last of `rounds` rounds uses: rounds - 1 re-weightings of all
// interactions, starting from `w`.
weights wcd_weights_from(const graph& g, weights w, int rounds) {
    for (int round = 1; round < rounds; ++round) {
        const auto strength = floored_strengths(g, w);
        weights next;
        for (const auto& [x, p] : g) {
            for (const auto& y : p) next[{x, y}] = wcd_with(g, w, strength, x, y);
        }
        w = next;
    }
    return w;
}

weights wcd_weights(const graph& g, int rounds) {
    weights w;
    for (const auto& [x, p] : g) {
        for (const auto& y : p) w[{x, y}] = 1.0;
    }
    return wcd_weights_from(g, w, rounds);
}

double l3(const graph& g, const protein& u, const protein& v) {
    double sum = 0;
    for (const auto& a : partners(g, u)) {
        for (const auto& b : partners(g, a)) {
            if (a == v || b == u || b == v) continue;
            if (partners(g, b).count(v)) sum += 1.0 / std::sqrt(degree(g, a) * degree(g, b));
        }
    }
    return sum;
}

// |N(a) | N(b)| and the Jaccard index of two neighbourhoods.
double union_size(const graph& g, const protein& a, const protein& b) {
    auto both = partners(g, a);
    const auto nb = partners(g, b);
    both.insert(nb.begin(), nb.end());
    return double(both.size());
}

double jaccard(const graph& g, const protein& a, const protein& b) {
    return double(intersection(partners(g, a), partners(g, b)).size()) / union_size(g, a, b);
}

// The simple paths u-a-b-v, as (a, b).
std::vector<std::pair<protein, protein>> paths_of_three(const graph& g, const protein& u, const protein& v) {
    std::vector<std::pair<protein, protein>> paths;
    for (const auto& a : partners(g, u)) {
        for (const auto& b : partners(g, a)) {
            if (a == v || b == u || b == v) continue;
            if (partners(g, b).count(v)) paths.emplace_back(a, b);
        }
    }
    return paths;
}

double l3n(const graph& g, const protein& u, const protein& v) {
    double sum = 0;
    for (const auto& [a, b] : paths_of_three(g, u, v)) sum += 1.0 / std::sqrt(union_size(g, u, b) * union_size(g, a, v));
    return sum;
}

// The partners b of v (b != u) that u reaches in two steps without passing through v, with the
// number of such steps: |N(u) & N(b) minus v|.
std::map<protein, double> far_partners(const graph& g, const protein& u, const protein& v) {
    std::map<protein, double> out;
    for (const auto& b : partners(g, v)) {
        if (b == u) continue;
        auto shared = intersection(partners(g, u), partners(g, b));
        shared.erase(v);
        if (!shared.empty()) out[b] = double(shared.size());
    }
    return out;
}

// Sim: sum over b in N(v) of J(u, b) + sum over a in N(u) of J(a, v), the numerators counting
// only the partners that are not the pair itself (all of them for a pair that does not interact).
double sim(const graph& g, const protein& u, const protein& v) {
    double sum = 0;
    for (const auto& [b, shared] : far_partners(g, u, v)) sum += shared / union_size(g, u, b);
    for (const auto& [a, shared] : far_partners(g, v, u)) sum += shared / union_size(g, a, v);
    return sum;
}

// MPS: the best J(u, b) over the b above plus the best J(a, v), cut to a multiple of 2^-24, plus
// the degree product scaled below that step.
double mps(const graph& g, const protein& u, const protein& v) {
    double best_b = 0, best_a = 0;
    for (const auto& entry : far_partners(g, u, v)) best_b = std::max(best_b, jaccard(g, u, entry.first));
    for (const auto& entry : far_partners(g, v, u)) best_a = std::max(best_a, jaccard(g, entry.first, v));
    if (best_a + best_b == 0) return 0;
    double largest = 0;
    for (const auto& [x, p] : g) largest = std::max(largest, double(p.size()));
    const double cut = std::floor((best_a + best_b) * 16777216.0) / 16777216.0;
    return cut + degree(g, u) * degree(g, v) / 33554432.0 / (largest * largest + 1);
}

}  // namespace

graph make_graph(const std::vector<std::pair<protein, protein>>& interactions) {
    graph g;
    for (const auto& [a, b] : interactions) {
        if (a == b) continue;
        g[a].insert(b);
        g[b].insert(a);
    }
    return g;
}

double score(const graph& g, const std::string& method, const protein& u, const protein& v, int rounds) {
    if (!g.count(u) || !g.count(v) || u == v) return 0;
    const auto nu = partners(g, u);
    const auto nv = partners(g, v);
    const auto common = intersection(nu, nv);
    const double c = double(common.size());
    if (method == "cn") return c;
    if (method == "jaccard") {
        std::set<protein> both = nu;
        both.insert(nv.begin(), nv.end());
        return c / double(both.size());
    }
    if (method == "dice") return 2 * c / double(nu.size() + nv.size());
    if (method == "cd") {
        const auto cu = closed(g, u);
        const auto cv = closed(g, v);
        return 2 * double(intersection(cu, cv).size()) / double(cu.size() + cv.size());
    }
    if (method == "aa" || method == "ra") {
        double sum = 0;
        for (const auto& z : common) sum += method == "aa" ? 1 / std::log(degree(g, z)) : 1 / degree(g, z);
        return sum;
    }
    if (method == "pcd") return pcd(g, u, v);
    if (method == "wcd") {
        const auto w = wcd_weights(g, std::max(rounds, 1));
        return wcd_with(g, w, floored_strengths(g, w), u, v);
    }
    if (method == "l3") return l3(g, u, v);
    if (method == "l3n") return l3n(g, u, v);
    if (method == "sim") return sim(g, u, v);
    if (method == "mps") return mps(g, u, v);
    throw std::invalid_argument("unknown method " + method);
}

std::map<std::pair<protein, protein>, double> candidates(const graph& g, const std::string& method, int rounds) {
    std::map<std::pair<protein, protein>, double> out;
    weights w;
    std::map<protein, double> strength;
    if (method == "wcd") {
        w = wcd_weights(g, std::max(rounds, 1));
        strength = floored_strengths(g, w);
    }
    for (auto u = g.begin(); u != g.end(); ++u) {
        for (auto v = std::next(u); v != g.end(); ++v) {
            if (u->second.count(v->first)) continue;
            const double s = method == "wcd" ? wcd_with(g, w, strength, u->first, v->first)
                                             : score(g, method, u->first, v->first, rounds);
            if (s != 0) out[{u->first, v->first}] = s;
        }
    }
    return out;
}

}  // namespace reference

namespace reference {

std::vector<double> score_list(const graph& g, const std::string& method,
                               const std::vector<std::pair<protein, protein>>& pairs, int rounds) {
    std::vector<double> out;
    weights w;
    std::map<protein, double> strength;
    if (method == "wcd") {
        w = wcd_weights(g, std::max(rounds, 1));
        strength = floored_strengths(g, w);
    }
    for (const auto& [u, v] : pairs) {
        if (method == "wcd") {
            out.push_back(g.count(u) && g.count(v) && u != v ? wcd_with(g, w, strength, u, v) : 0.0);
        } else {
            out.push_back(score(g, method, u, v, rounds));
        }
    }
    return out;
}

}  // namespace reference

namespace reference {

namespace {

graph unweighted(const weighted_graph& g) {
    graph out;
    for (const auto& [x, partners] : g) {
        for (const auto& [y, w] : partners) out[x].insert(y);
    }
    return out;
}

double strength(const weighted_graph& g, const protein& x) {
    double s = 0;
    for (const auto& [y, w] : g.at(x)) s += w;
    return s;
}

// r(x, y) over closed neighbourhoods: 1 for x itself, the weight for a partner, else 0.
double reliability(const weighted_graph& g, const protein& x, const protein& y) {
    if (x == y) return 1.0;
    const auto& partners = g.at(x);
    const auto found = partners.find(y);
    return found == partners.end() ? 0.0 : found->second;
}

double lu_zhou(const weighted_graph& g, const std::string& method, const protein& u, const protein& v) {
    double sum = 0;
    for (const auto& [z, w_uz] : g.at(u)) {
        const auto& nz = g.at(z);
        if (z == v || !nz.count(v)) continue;
        const double pair_weight = w_uz + nz.at(v);
        const double s = strength(g, z);
        if (method == "cn-w") sum += pair_weight;
        if (method == "aa-w" && s > 0) sum += pair_weight / std::log(1 + s);
        if (method == "ra-w" && s > 0) sum += pair_weight / s;
    }
    return sum;
}

double weighted_l3(const weighted_graph& g, const protein& u, const protein& v) {
    double sum = 0;
    for (const auto& [a, w_ua] : g.at(u)) {
        for (const auto& [b, w_ab] : g.at(a)) {
            if (a == v || b == u || b == v || !g.at(b).count(v)) continue;
            const double s = strength(g, a) * strength(g, b);
            if (s > 0) sum += w_ua * w_ab * g.at(b).at(v) / std::sqrt(s);
        }
    }
    return sum;
}

double weighted_pcd(const weighted_graph& g, const protein& u, const protein& v) {
    double total_closed = 0;
    for (const auto& [x, p] : g) total_closed += double(p.size() + 1);
    const double n_avg = total_closed / double(g.size());
    const graph plain = unweighted(g);
    const auto nu = closed(plain, u);
    const auto nv = closed(plain, v);
    double shared = 0, only_u = 0, only_v = 0, all_u = 0, all_v = 0;
    for (const auto& x : intersection(nu, nv)) shared += reliability(g, u, x) * reliability(g, v, x);
    for (const auto& x : difference(nu, nv)) only_u += reliability(g, u, x);
    for (const auto& x : difference(nv, nu)) only_v += reliability(g, v, x);
    for (const auto& x : nu) all_u += reliability(g, u, x);
    for (const auto& x : nv) all_v += reliability(g, v, x);
    if (shared == 0) return 0;
    const double lambda_u = std::max(0.0, n_avg - all_u);
    const double lambda_v = std::max(0.0, n_avg - all_v);
    return 2 * shared / (only_u + 2 * shared + lambda_u) * (2 * shared / (only_v + 2 * shared + lambda_v));
}

// Scores every pair with one shared state (the wcd-w weights computed once).
class weighted_scorer {
public:
    weighted_scorer(const weighted_graph& g, const std::string& method, int rounds)
        : g_(g), plain_(unweighted(g)), method_(method) {
        if (method == "wcd-w") {
            weights start;
            for (const auto& [x, partners] : g) {
                for (const auto& [y, w] : partners) start[{x, y}] = w;
            }
            wcd_ = wcd_weights_from(plain_, start, std::max(rounds, 1));
            strength_ = floored_strengths(plain_, wcd_);
        } else if (method != "cn-w" && method != "aa-w" && method != "ra-w" && method != "pcd-w" && method != "l3-w") {
            throw std::invalid_argument("unknown weighted method " + method);
        }
    }

    double operator()(const protein& u, const protein& v) const {
        if (!g_.count(u) || !g_.count(v) || u == v) return 0;
        if (method_ == "wcd-w") return wcd_with(plain_, wcd_, strength_, u, v);
        if (method_ == "pcd-w") return weighted_pcd(g_, u, v);
        if (method_ == "l3-w") return weighted_l3(g_, u, v);
        return lu_zhou(g_, method_, u, v);
    }

private:
    const weighted_graph& g_;
    graph plain_;
    std::string method_;
    weights wcd_;
    std::map<protein, double> strength_;
};

}  // namespace

weighted_graph make_weighted_graph(const std::vector<weighted_interaction>& interactions) {
    weighted_graph g;
    for (const auto& [a, b, w] : interactions) {
        if (a == b) continue;
        for (const auto& [x, y] : {std::pair(a, b), std::pair(b, a)}) {
            const auto [at, inserted] = g[x].emplace(y, w);
            if (!inserted) at->second = std::max(at->second, w);
        }
    }
    return g;
}

std::vector<double> weighted_score_list(const weighted_graph& g, const std::string& method,
                                        const std::vector<std::pair<protein, protein>>& pairs, int rounds) {
    const weighted_scorer score(g, method, rounds);
    std::vector<double> out;
    for (const auto& [u, v] : pairs) out.push_back(score(u, v));
    return out;
}

std::map<std::pair<protein, protein>, double> weighted_candidates(const weighted_graph& g, const std::string& method,
                                                                  int rounds) {
    const weighted_scorer score(g, method, rounds);
    std::map<std::pair<protein, protein>, double> out;
    for (auto u = g.begin(); u != g.end(); ++u) {
        for (auto v = std::next(u); v != g.end(); ++v) {
            if (u->second.count(v->first)) continue;
            const double s = score(u->first, v->first);
            if (s != 0) out[{u->first, v->first}] = s;
        }
    }
    return out;
}

}  // namespace reference
