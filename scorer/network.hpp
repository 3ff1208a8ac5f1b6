#pragma once

#include "io/table_format.hpp"
#include "scorer/big_vector.hpp"

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vornel {

// An undirected network without self-loops or repeated interactions. Proteins have dense ids
// 0..n-1 assigned in byte order of their identifiers, so id order is identifier order. Partners
// are stored as compressed rows (CSR), each row sorted by id.
struct network {
    std::string name_bytes;                  // all identifiers, back to back, in id order
    std::vector<std::uint64_t> name_starts;  // n + 1 offsets into name_bytes
    std::vector<std::uint64_t> row_starts;   // n + 1 offsets into partner_ids
    big_vector<std::uint32_t> partner_ids;  // both directions of every interaction
    // The weight (confidence) of every interaction by slot of partner_ids, equal in both
    // directions; empty when the network carries no weights, so unweighted runs pay nothing.
    big_vector<double> weights;

    bool weighted() const { return !weights.empty(); }
    std::uint32_t protein_count() const { return static_cast<std::uint32_t>(row_starts.size() - 1); }
    std::uint64_t interaction_count() const { return partner_ids.size() / 2; }
    std::uint32_t degree(std::uint32_t u) const {
        return static_cast<std::uint32_t>(row_starts[u + 1] - row_starts[u]);
    }
    std::span<const std::uint32_t> partners(std::uint32_t u) const {
        return {partner_ids.data() + row_starts[u], partner_ids.data() + row_starts[u + 1]};
    }
    std::string_view name(std::uint32_t u) const {
        return std::string_view(name_bytes).substr(name_starts[u], name_starts[u + 1] - name_starts[u]);
    }
    // The id of an identifier, or nothing when the protein is not in the network.
    std::optional<std::uint32_t> find(std::string_view identifier) const;
    // Whether u and v interact (binary search in the row of u).
    bool interacts(std::uint32_t u, std::uint32_t v) const;
};

// The weight passed for an interaction that has none.
inline constexpr double no_weight = std::numeric_limits<double>::quiet_NaN();

// Two proteins by id.
struct pair_ids {
    std::uint32_t first;
    std::uint32_t second;
};

// What reading a pair file found besides the pairs themselves.
struct pair_file_counts {
    std::uint64_t lines = 0;
    std::uint64_t pairs_read = 0;      // data lines with two identifiers
    std::uint64_t self_pairs = 0;      // dropped
    std::uint64_t repeated_pairs = 0;  // merged into an earlier pair, in either orientation
    std::uint64_t unknown_pairs = 0;   // listed pairs with a protein missing from the network
    std::uint64_t pairs_without_weight = 0;  // interactions (self-pairs aside) without a usable weight
};

// How a pair file was read: its detected format and the rows skipped for other reasons than
// self-pairs and repeats.
struct table_report {
    ppi::io::table_layout layout;
    ppi::io::table_counts skipped;
    bool has_weights = false;  // at least one row carried a weight
    bool byte_order_mark = false;  // the file started with a UTF-8 byte-order mark (skipped)
    std::uint64_t below_min_weight = 0;  // rows dropped by --min-weight (lower weight or none)
};

struct network_result {
    network net;
    pair_file_counts counts;
    table_report table;
    std::string error;  // empty on success
    // The interactions as listed, by id, in file order and orientation (self-pairs left out):
    // the pair list when a network is also the list of pairs to score.
    big_vector<pair_ids> lines;
};

// Reads a network file in the format detected from its first lines (or named by `formats`):
// by default a plain edge list, one interaction per line, two identifiers separated by blanks
// or tabs, further columns ignored; blank and '#' lines skipped; self-pairs dropped and
// repeated pairs merged. A protein that appears only in self-pairs is not part of the network.
// With `keep_weights`, each row's weight (a plain list's numeric third column, a format's
// confidence column) is the interaction's weight; the network is weighted only when every
// interaction has one (counts.pairs_without_weight says how many had none). Without it no
// weight is kept. Repeated rows of one pair keep the largest of their weights (see build_rows).
// With `cancel` set by another thread, the read stops within 65,536 lines with an error.
network_result read_network(const std::string& path, const ppi::io::format_options& formats = {},
                            bool keep_weights = false, const std::atomic<bool>* cancel = nullptr);

// Builds a network from identifier pairs (self-pairs and repeats allowed, handled as above),
// with one weight per pair when `weights` is not empty (no_weight, negative or infinite: none).
network_result build_network(std::span<const std::pair<std::string, std::string>> pairs,
                             std::span<const double> weights = {});

// The weight written in a column: a finite number >= 0 that std::from_chars reads whole, or
// no_weight.
double parse_weight(std::string_view text);

// The distinct pairs of a pair list, in the order of their first appearance and orientation,
// with both proteins in the network.
struct listed_pairs {
    big_vector<pair_ids> pairs;
};

// Pairs grouped by row, one of their two proteins: every entry names the other protein and the
// pair's position in its listing; a row's entries keep listing order.
struct pair_rows {
    struct entry {
        std::uint32_t partner;
        std::uint32_t index;
    };
    std::vector<std::uint64_t> starts;  // n + 1 offsets into entries
    big_vector<entry> entries;
    std::vector<std::uint32_t> rows;    // the rows that hold at least one pair
};

// Groups `pairs` by row_of(pair), which returns one of the pair's two proteins (ids below n).
template <class RowOf>
pair_rows group_pairs(std::span<const pair_ids> pairs, std::uint32_t n, RowOf row_of) {
    pair_rows grouped;
    grouped.starts.assign(std::size_t{n} + 1, 0);
    for (const auto& p : pairs) ++grouped.starts[row_of(p) + 1];
    for (std::uint32_t u = 0; u < n; ++u) {
        if (grouped.starts[u + 1] > 0) grouped.rows.push_back(u);
        grouped.starts[u + 1] += grouped.starts[u];
    }
    std::vector<std::uint64_t> fill(grouped.starts.begin(), grouped.starts.end() - 1);
    grouped.entries.resize(pairs.size());
    for (std::uint32_t i = 0; i < pairs.size(); ++i) {
        const std::uint32_t row = row_of(pairs[i]);
        grouped.entries[fill[row]++] = {pairs[i].first == row ? pairs[i].second : pairs[i].first, i};
    }
    return grouped;
}

// The pairs grouped by their protein with the smaller id.
pair_rows group_by_smaller_id(std::span<const pair_ids> pairs, std::uint32_t n);

struct listed_result {
    listed_pairs listed;
    pair_file_counts counts;
    table_report table;
    std::string error;
};

// Reads a pair list in the network file format and resolves it against `net`.
listed_result read_listed_pairs(const std::string& path, const network& net,
                                const ppi::io::format_options& formats = {});

// The pair list made of the network's own lines (what read_listed_pairs would give for the
// network file itself), without reading the file again; takes over read.lines.
listed_result listed_pairs_of_network(network_result& read);

// Resolves identifier pairs against `net` as read_listed_pairs does.
listed_result resolve_listed_pairs(std::span<const std::pair<std::string, std::string>> pairs,
                                   const network& net);

}  // namespace vornel
