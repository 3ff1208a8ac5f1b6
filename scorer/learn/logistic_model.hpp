#pragma once

// Logistic regression fitted by Newton's method (iteratively reweighted least squares) with a
// small ridge penalty, on standardised features. Small and deterministic: the fit depends on
// the rows and their order only.

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace vornel {

struct logistic_model {
    std::vector<double> mean;          // per feature, subtracted before scaling
    std::vector<double> scale;         // per feature, 1 / standard deviation (1 for a constant)
    std::vector<double> coefficients;  // intercept first, then one per feature (standardised)
    int iterations = 0;                // Newton steps taken

    // The fitted probability that a row with these features is positive (0 for an empty model).
    double probability(std::span<const double> features) const;

private:
    // The linear predictor of the features.
    double margin(std::span<const double> features) const;
};

inline constexpr double default_ridge = 1e-4;
inline constexpr int default_fit_iterations = 50;

// Fits `labels` (0 or 1) from `rows` (row-major, `width` features per row). `ridge` penalises
// the squared coefficients other than the intercept. Returns an empty model without rows.
// When `cancel` is set (by another thread), the fit stops after the current iteration and
// returns what it has: the caller is to give it up.
logistic_model fit_logistic(std::span<const double> rows, std::size_t width, std::span<const unsigned char> labels,
                            double ridge = default_ridge, int max_iterations = default_fit_iterations,
                            const std::atomic<bool>* cancel = nullptr);

// Solves the symmetric positive definite system a x = b (n x n, row-major) by Cholesky
// factorisation; false when a is not positive definite.
bool solve_symmetric(std::vector<double> a, std::vector<double>& b, std::size_t n);

}  // namespace vornel
