#include "scorer/learn/logistic_model.hpp"

#include <cmath>

namespace vornel {

double logistic_model::margin(std::span<const double> features) const {
    if (coefficients.empty()) return 0.0;
    double z = coefficients[0];
    for (std::size_t j = 0; j < mean.size(); ++j) z += coefficients[j + 1] * (features[j] - mean[j]) * scale[j];
    return z;
}

double logistic_model::probability(std::span<const double> features) const {
    if (coefficients.empty()) return 0.0;
    return 1.0 / (1.0 + std::exp(-margin(features)));
}

bool solve_symmetric(std::vector<double> a, std::vector<double>& b, std::size_t n) {
    // a = L L^T, L stored in the lower triangle of a.
    for (std::size_t j = 0; j < n; ++j) {
        double diagonal = a[j * n + j];
        for (std::size_t k = 0; k < j; ++k) diagonal -= a[j * n + k] * a[j * n + k];
        if (!(diagonal > 0)) return false;
        const double root = std::sqrt(diagonal);
        a[j * n + j] = root;
        for (std::size_t i = j + 1; i < n; ++i) {
            double value = a[i * n + j];
            for (std::size_t k = 0; k < j; ++k) value -= a[i * n + k] * a[j * n + k];
            a[i * n + j] = value / root;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < i; ++k) b[i] -= a[i * n + k] * b[k];
        b[i] /= a[i * n + i];
    }
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t k = i + 1; k < n; ++k) b[i] -= a[k * n + i] * b[k];
        b[i] /= a[i * n + i];
    }
    return true;
}

namespace {

// The model's mean and scale of every feature over the `count` rows: each feature enters the
// fit with mean 0 and standard deviation 1 (a constant feature is left unscaled).
void standardise(logistic_model& model, std::span<const double> rows, std::size_t width, std::size_t count) {
    model.mean.assign(width, 0.0);
    model.scale.assign(width, 1.0);
    for (std::size_t r = 0; r < count; ++r) {
        for (std::size_t j = 0; j < width; ++j) model.mean[j] += rows[r * width + j];
    }
    for (double& m : model.mean) m /= double(count);
    std::vector<double> variance(width, 0.0);
    for (std::size_t r = 0; r < count; ++r) {
        for (std::size_t j = 0; j < width; ++j) {
            const double d = rows[r * width + j] - model.mean[j];
            variance[j] += d * d;
        }
    }
    for (std::size_t j = 0; j < width; ++j) {
        const double sd = std::sqrt(variance[j] / double(count));
        model.scale[j] = sd > 1e-12 ? 1.0 / sd : 1.0;
    }
}

}  // namespace

logistic_model fit_logistic(std::span<const double> rows, std::size_t width, std::span<const unsigned char> labels,
                            double ridge, int max_iterations, const std::atomic<bool>* cancel) {
    logistic_model model;
    const std::size_t count = labels.size();
    if (count == 0 || width == 0) return model;
    standardise(model, rows, width, count);

    const std::size_t n = width + 1;
    model.coefficients.assign(n, 0.0);
    std::vector<double> x(n);
    for (model.iterations = 0; model.iterations < max_iterations;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) break;
        std::vector<double> hessian(n * n, 0.0), gradient(n, 0.0);
        for (std::size_t r = 0; r < count; ++r) {
            x[0] = 1.0;
            for (std::size_t j = 0; j < width; ++j) x[j + 1] = (rows[r * width + j] - model.mean[j]) * model.scale[j];
            double z = 0;
            for (std::size_t j = 0; j < n; ++j) z += model.coefficients[j] * x[j];
            const double p = 1.0 / (1.0 + std::exp(-z));
            const double w = std::max(p * (1.0 - p), 1e-12);
            const double residual = double(labels[r]) - p;
            for (std::size_t i = 0; i < n; ++i) {
                gradient[i] += residual * x[i];
                for (std::size_t j = 0; j <= i; ++j) hessian[i * n + j] += w * x[i] * x[j];
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) hessian[i * n + j] = hessian[j * n + i];
            if (i > 0) {
                hessian[i * n + i] += ridge;
                gradient[i] -= ridge * model.coefficients[i];
            }
        }
        hessian[0] += 1e-12;  // keeps the system solvable when every label is equal
        if (!solve_symmetric(hessian, gradient, n)) break;
        double change = 0;
        for (std::size_t i = 0; i < n; ++i) {
            model.coefficients[i] += gradient[i];
            change = std::max(change, std::fabs(gradient[i]));
        }
        ++model.iterations;
        if (change < 1e-9) break;
    }
    return model;
}

}  // namespace vornel
