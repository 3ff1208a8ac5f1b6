// Writes what the learned method fits and ranks on one hold-out of a network, so that a study
// can fit other models to exactly the same rows (evidence/model_study.py).
//
// Usage: learn_rows_tool NETWORK SEED OUT_DIR [THREADS]
// Hides 10% of the interactions (seeded by SEED), trains learn's two proposing models on the
// rest as learn does, and writes into OUT_DIR, as raw little-endian arrays:
//   first.f64, first.u8     the first model's training rows (9 inputs each) and labels
//   second.f64, second.u8   the second model's
//   candidates.f64          every candidate of the rest: its 9 inputs
//   candidates.u64          its pair (u << 32 | v), in increasing order
//   candidates.u8           1 when the pair was hidden
//   learn.f64               the first and the second model's probability of it (2 per row)
//   hidden.txt              the number of hidden interactions
#include "scorer/evaluate/evaluation.hpp"
#include "scorer/learn/features.hpp"
#include "scorer/learn/learn.hpp"
#include "scorer/output/records.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace vornel;

template <class T>
void write_array(const std::filesystem::path& path, const std::vector<T>& values) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()), std::streamsize(values.size() * sizeof(T)));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

struct candidate_row {
    std::uint64_t tie;
    proposal_features inputs;
};

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t seed = 0;
    unsigned threads = 2;
    if (argc < 4 || argc > 5 || std::from_chars(argv[2], argv[2] + std::char_traits<char>::length(argv[2]), seed).ec != std::errc{} ||
        (argc == 5 && std::from_chars(argv[4], argv[4] + std::char_traits<char>::length(argv[4]), threads).ec != std::errc{})) {
        std::cerr << "usage: learn_rows_tool NETWORK SEED OUT_DIR [THREADS]\n";
        return 2;
    }
    try {
        network_result read = read_network(argv[1]);
        if (!read.error.empty()) {
            std::cerr << "learn_rows_tool: " << read.error << "\n";
            return 1;
        }
        const std::filesystem::path out = argv[3];
        std::filesystem::create_directories(out);
        const std::vector<pair_ids> interactions = interaction_list(read.net);
        const hold_out split = split_interactions(interactions, 0.1, seed);
        const network kept = network_with_interactions(read.net, split.kept);
        std::vector<std::uint64_t> hidden;
        for (const auto& p : split.hidden) hidden.push_back(candidate_tie(std::min(p.first, p.second), std::max(p.first, p.second)));
        std::sort(hidden.begin(), hidden.end());

        const proposal_models models = train_for_proposing(kept, threads);
        std::vector<double> best = best_l3_per_protein(kept, threads);
        log_best_l3(best);
        std::vector<std::vector<candidate_row>> found(std::max(1u, threads));
        visit_candidates(kept, threads, [&](unsigned t, std::uint32_t u, std::uint32_t v, const pair_counts& c) {
            found[t].push_back({candidate_tie(u, v), proposal_features_of(c, best[u], best[v])});
        });
        std::vector<candidate_row> rows;
        for (auto& part : found) rows.insert(rows.end(), part.begin(), part.end());
        std::sort(rows.begin(), rows.end(), [](const candidate_row& x, const candidate_row& y) { return x.tie < y.tie; });

        std::vector<double> inputs, scores;
        std::vector<std::uint64_t> ties;
        std::vector<unsigned char> labels;
        for (const candidate_row& row : rows) {
            inputs.insert(inputs.end(), row.inputs.begin(), row.inputs.end());
            ties.push_back(row.tie);
            labels.push_back(std::binary_search(hidden.begin(), hidden.end(), row.tie) ? 1 : 0);
            scores.push_back(models.first.probability(row.inputs));
            scores.push_back(models.second.probability(row.inputs));  // 0 without a second model
        }
        write_array(out / "first.f64", models.first_rows.rows);
        write_array(out / "first.u8", models.first_rows.labels);
        write_array(out / "second.f64", models.second_rows.rows);
        write_array(out / "second.u8", models.second_rows.labels);
        write_array(out / "candidates.f64", inputs);
        write_array(out / "candidates.u64", ties);
        write_array(out / "candidates.u8", labels);
        write_array(out / "learn.f64", scores);
        std::ofstream(out / "hidden.txt") << split.hidden.size() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "learn_rows_tool: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
