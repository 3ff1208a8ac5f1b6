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

// The weights that the last of `rounds` rounds uses: rounds - 1 re-weightings of all interactions.
weights wcd_weights(const graph& g, int rounds) {
    weights w;
    for (const auto& [x, p] : g) {
        for (const auto& y : p) w[{x, y}] = 1.0;
    }
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
