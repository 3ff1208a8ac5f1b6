#pragma once

// The learned method, and its proposing models and the rows they are fitted on: for the method itself
// and for studies that fit other models to the same rows (bench/scorer/learn_rows_tool.cpp).

#include "scorer/graph/network.hpp"
#include "scorer/learn/logistic_model.hpp"
#include "scorer/methods/scoring_job.hpp"

#include <cstddef>
#include <vector>

namespace vornel {

// Labelled feature rows, row-major.
struct training_set {
    std::vector<double> rows;
    std::vector<unsigned char> labels;

    template <class Row>
    void add(const Row& features, bool positive) {
        rows.insert(rows.end(), features.begin(), features.end());
        labels.push_back(positive ? 1 : 0);
    }
    std::size_t positives() const;
};

// The second model reorders this many of the first model's best candidates.
inline constexpr std::size_t shortlist_size = 10000;

struct proposal_models {
    training_set first_rows;   // hidden pairs against candidates of every kind
    training_set second_rows;  // the first model's best candidates, labelled
    logistic_model first;
    logistic_model second;     // empty when second_rows held too few positives
};

// Trains both proposing models on hold-outs of `net` (proposal_features_of inputs); stops by
// throwing scoring_cancelled soon after `cancel` is set (when given).
proposal_models train_for_proposing(const network& net, unsigned threads, const std::atomic<bool>* cancel = nullptr);

// Trained on the network itself at run time (learn.cpp); a listed pair's features are
// computed as if the pair did not interact. A run over some rows (scoring_job::rows) trains on
// the whole network as a full run does and makes the full run's records of those rows, except
// that the second model reorders the rows' best shortlist_size * (rows / proteins) candidates
// instead of those among the whole network's best shortlist_size (a full run's threshold
// would need every row).
record_runs score_learn(const scoring_job& job);

}  // namespace vornel
