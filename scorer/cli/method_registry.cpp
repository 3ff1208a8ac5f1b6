#include "scorer/cli/method_registry.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace vornel {

namespace {

constexpr std::array<method_entry, 20> registry{{
    {"cn", "common neighbours: |N(u) & N(v)|", false, false, score_cn},
    {"jaccard", "Jaccard index: |N(u) & N(v)| / |N(u) | N(v)|", false, false, score_jaccard},
    {"dice", "Dice coefficient: 2|N(u) & N(v)| / (k_u + k_v)", false, false, score_dice},
    {"cd", "Czekanowski-Dice similarity of closed neighbourhoods N[u], N[v]", false, false, score_cd},
    {"aa", "Adamic-Adar: sum over common partners z of 1/ln(k_z)", false, false, score_aa},
    {"ra", "resource allocation: sum over common partners z of 1/k_z", false, false, score_ra},
    {"pcd", "two-sided closed-neighbourhood overlap with a small-neighbourhood penalty", false, false, score_pcd},
    {"wcd", "iterative weighted Czekanowski-Dice with an average-degree floor (ITERATIONS rounds)", true, false,
     score_wcd},
    {"l3", "paths of length three: sum over u-a-b-v of 1/sqrt(k_a k_b)", false, false, score_l3},
    {"l3n", "normalised l3: sum over u-a-b-v of 1/sqrt(|N(u) | N(b)| |N(a) | N(v)|) (Yuen, Jansson 2023)", false, false,
     score_l3n},
    {"sim", "sum over b in N(v) of J(u,b) + sum over a in N(u) of J(a,v), J: Jaccard (Chen et al. 2020)", false, false,
     score_sim},
    {"mps", "max over b in N(v) of J(u,b) + max over a in N(u) of J(a,v); ties by k_u k_v (Wang et al. 2023)", false,
     false, score_mps},
    {"learn", "logistic regression trained on the network's own hidden interactions", false, false, score_learn},
    {"auto", "runs l3, or l3n, sim, mps or learn if one leads l3 clearly on hold-outs (listed: wcd or learn)", true,
     false, score_auto},
    {"cn-w", "weighted cn: sum over common z of w(u,z)+w(z,v) (Lu and Zhou, EPL 89:18001, 2010)", false, true,
     score_cn_w},
    {"aa-w", "weighted aa: sum over common z of (w(u,z)+w(z,v))/ln(1+s_z) (Lu and Zhou, 2010)", false, true,
     score_aa_w},
    {"ra-w", "weighted ra: sum over common z of (w(u,z)+w(z,v))/s_z (Lu and Zhou, 2010)", false, true, score_ra_w},
    {"pcd-w", "pcd with the weights as reliabilities: weighted FS-Weight (Chua, Sung and Wong, 2006)", false, true,
     score_pcd_w},
    {"wcd-w", "wcd started from the weights instead of 1 (after Liu et al. 2009; ITERATIONS rounds)", true, true,
     score_wcd_w},
    {"l3-w", "weighted l3: sum over u-a-b-v of w(u,a)w(a,b)w(b,v)/sqrt(s_a s_b) (ours, after Kovacs)", false, true,
     score_l3_w},
}};

} // namespace

std::span<const method_entry> all_methods() { return registry; }

bool in_default_evaluation(const method_entry& entry) {
    // auto measures its own candidates on hold-outs before it runs one, so a table gains nothing
    // from it; the partner-similarity methods are compared when asked for (--methods).
    constexpr std::array<std::string_view, 4> left_out{"auto", "l3n", "sim", "mps"};
    return !entry.weighted && std::find(left_out.begin(), left_out.end(), entry.name) == left_out.end();
}

const method_entry* find_method(std::string_view name) {
    for (const method_entry& entry : registry) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

evaluation_result evaluate_methods(const network& net, const evaluation_settings& settings,
                                   const progress_callback& progress) {
    std::vector<const method_entry*> methods;
    for (const std::string& name : settings.methods) methods.push_back(find_method(name));
    return evaluate_methods(net, methods, settings, progress);
}

} // namespace vornel
