#pragma once

// Collects the interactions of a network by identifier and turns them into a network: the
// builder behind read_network and build_network.
#include "io/plausibility.hpp"
#include "scorer/graph/identifier_table.hpp"
#include "scorer/graph/network.hpp"

#include <atomic>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace vornel {

class network_builder {
public:
    // `weight`: the interaction's weight, or no_weight (as are negative and infinite ones).
    [[gnu::always_inline]] void add(std::string_view a, std::string_view b, double weight = no_weight) {
        ++counts_.pairs_read;
        if (a == b) {
            ++counts_.self_pairs;
            return;
        }
        const std::uint64_t hash_a = hash_identifier(a);
        const std::uint64_t hash_b = hash_identifier(b);
        identifiers_.prefetch(hash_b);
        const std::uint32_t id_a = identifiers_.intern(a, hash_a);
        note_side(id_a, ppi::io::identifier_sides::side_a);
        const std::uint32_t id_b = identifiers_.intern(b, hash_b);
        note_side(id_b, ppi::io::identifier_sides::side_b);
        edges_.push_back({id_a, id_b});
        note_weight(weight);
    }

    // What the two columns held so far, for the plausibility check.
    ppi::io::column_census census() const {
        ppi::io::column_census census;
        census.rows = edges_.size();
        for (std::uint32_t id = 0; id < identifiers_.size(); ++id)
            census.add_identifier(identifiers_.name(id), sides_[id]);
        // Whether the columns count the rows, from the rows in file order: a real list fails
        // at its second row, so this costs nothing per row while reading.
        ppi::io::row_counter_check counter_a, counter_b{true};
        for (std::size_t i = 0; i < edges_.size() && (counter_a.alive() || counter_b.alive()); ++i) {
            counter_a.note(identifiers_.name(edges_[i].first));
            counter_b.note(identifiers_.name(edges_[i].second));
        }
        census.a_counts_rows = counter_a.counts_rows();
        census.b_steps_by_one = counter_b.counts_rows();
        return census;
    }

    // The network of the pairs added. With `cancel` set by another thread it stops between its
    // passes and returns nullopt.
    std::optional<network_result> finish(const std::atomic<bool>* cancel = nullptr) &&;

    pair_file_counts counts_;

private:
    // Weights are kept while every interaction so far has one; the first without one makes
    // the network unweighted (a weight of 1 or 0 made up for it would rank it arbitrarily).
    void note_weight(double weight) {
        if (weight >= 0 && weight <= std::numeric_limits<double>::max()) {
            if (all_weighted_) edge_weights_.push_back(weight + 0.0); // + 0.0 turns -0 into 0
            return;
        }
        ++counts_.pairs_without_weight;
        if (all_weighted_) {
            all_weighted_ = false;
            edge_weights_ = {};
        }
    }

    // Ids are numbered in order of first sight, so a new one is sides_.size().
    [[gnu::always_inline]] void note_side(std::uint32_t id, std::uint8_t side) {
        if (id == sides_.size()) [[unlikely]]
            add_side();
        ppi::io::identifier_sides::note(sides_[id], side);
    }
    [[gnu::noinline]] void add_side() { sides_.push_back(0); }

    identifier_table identifiers_;    // first-seen ids
    std::vector<std::uint8_t> sides_; // by first-seen id: its columns and appearances
    big_vector<pair_ids> edges_;
    big_vector<double> edge_weights_; // by edge, while all_weighted_
    bool all_weighted_ = true;
};

} // namespace vornel
