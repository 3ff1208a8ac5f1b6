"""The scorer's logistic regression (Newton's method with a ridge penalty on standardised
features) against scikit-learn's LogisticRegression on the same standardised data: the same
penalised likelihood, so the same optimum. Skipped when scikit-learn is not installed."""
import os
import subprocess
import unittest

import numpy as np

try:
    from sklearn.linear_model import LogisticRegression
except ImportError:  # pragma: no cover - depends on the machine
    LogisticRegression = None

TOOL = os.environ.get("FIT_LOGISTIC_TOOL", "")


def standardised(x):
    """Centred and scaled by the population standard deviation, as the scorer does."""
    sd = x.std(axis=0)
    sd[sd <= 1e-12] = 1.0
    return (x - x.mean(axis=0)) / sd


def fit_with_tool(x, y, ridge):
    lines = [repr(ridge)] + [" ".join([str(int(label))] + [repr(float(v)) for v in row]) for row, label in zip(x, y)]
    out = subprocess.run([TOOL], input="\n".join(lines) + "\n", capture_output=True, text=True, check=True).stdout
    values = [float(v) for v in out.split()]
    return np.array(values[:-1]), int(values[-1])


def fit_with_reference(x, y, ridge):
    # sklearn minimises ||w||^2 / 2 + C * sum(log-loss) without penalising the intercept,
    # which is the scorer's sum(log-loss) + ridge ||w||^2 / 2 with C = 1 / ridge.
    model = LogisticRegression(C=1.0 / ridge, solver="newton-cholesky", tol=1e-12, max_iter=1000)
    model.fit(standardised(x), y)
    return np.concatenate([model.intercept_, model.coef_[0]])


def dataset(seed, rows, width, scales, separation):
    rng = np.random.default_rng(seed)
    mixing = rng.normal(size=(width, width)) * 0.5 + np.eye(width)
    x = rng.normal(size=(rows, width)) @ mixing * scales
    truth = rng.normal(size=width) * separation
    y = (rng.random(rows) < 1.0 / (1.0 + np.exp(-(standardised(x) @ truth - 0.8)))).astype(int)
    return x, y


@unittest.skipIf(LogisticRegression is None, "scikit-learn is not installed")
@unittest.skipUnless(TOOL, "FIT_LOGISTIC_TOOL is not set")
class LogisticAgainstReference(unittest.TestCase):
    def test_same_optimum_on_varied_data(self):
        cases = [
            # seed, rows, width, per-feature scales, separation, ridge
            (1, 400, 3, np.array([1.0, 10.0, 0.01]), 1.0, 1e-4),
            (2, 2000, 7, np.linspace(0.1, 100.0, 7), 0.5, 1e-4),
            (3, 300, 5, np.ones(5), 3.0, 1.0),           # strongly separated, penalised
            (4, 1000, 12, np.logspace(-2, 3, 12), 0.3, 10.0),
        ]
        for seed, rows, width, scales, separation, ridge in cases:
            with self.subTest(seed=seed):
                x, y = dataset(seed, rows, width, scales, separation)
                ours, steps = fit_with_tool(x, y, ridge)
                reference = fit_with_reference(x, y, ridge)
                self.assertLess(steps, 50)
                np.testing.assert_allclose(ours, reference, rtol=1e-6, atol=1e-8)


if __name__ == "__main__":
    unittest.main()
