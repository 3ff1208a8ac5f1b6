#include "scorer/methods.hpp"

#include <array>

namespace vornel {

namespace {

constexpr std::array<method_entry, 9> registry{{
    {"cn", "common neighbours: |N(u) & N(v)|", false, score_cn},
    {"jaccard", "Jaccard index: |N(u) & N(v)| / |N(u) | N(v)|", false, score_jaccard},
    {"dice", "Dice coefficient: 2|N(u) & N(v)| / (k_u + k_v)", false, score_dice},
    {"cd", "Czekanowski-Dice similarity of closed neighbourhoods N[u], N[v]", false, score_cd},
    {"aa", "Adamic-Adar: sum over common partners z of 1/ln(k_z)", false, score_aa},
    {"ra", "resource allocation: sum over common partners z of 1/k_z", false, score_ra},
    {"pcd", "two-sided closed-neighbourhood overlap with a small-neighbourhood penalty", false, score_pcd},
    {"wcd", "iterative weighted Czekanowski-Dice with an average-degree floor (ITERATIONS rounds)", true,
     score_wcd},
    {"l3", "paths of length three: sum over u-a-b-v of 1/sqrt(k_a k_b)", false, score_l3},
}};

}  // namespace

std::span<const method_entry> all_methods() { return registry; }

const method_entry* find_method(std::string_view name) {
    for (const method_entry& entry : registry) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

}  // namespace vornel
