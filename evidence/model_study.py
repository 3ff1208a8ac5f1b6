#!/usr/bin/env python3
"""Study: logistic regression or gradient-boosted trees for the learned method's proposing models?

Protocol, fixed before it was run (and run on no evidence test: only on networks that share
nothing with tests 1-4 and on hold-outs of test 1's input):

For each selection network and seed, `learn_rows_tool` hides 10% of the interactions and writes
what `learn` fits and ranks on the rest: the first model's training rows, the second model's
(the first model's best candidates in learn's own training hold-outs), and every candidate of
the rest with its 9 inputs, whether it was hidden, and learn's two probabilities. Four rankings
of all candidates are compared, each by precision among the first 100 and 500 and by average
precision (over all hidden interactions; ties in pair order, as vornel writes them):
  logistic      learn's first model alone
  learn         learn as it is: the first model's best 10,000 reordered by the second
  trees         gradient-boosted trees (XGBoost, Debian's python3-xgboost, the library behind
                libxgboost-dev) fitted to the first model's rows
  trees, two    those trees' best 10,000 reordered by trees fitted to the second model's rows
Tree settings, fixed in advance and not tuned: binary logistic objective, 300 rounds, depth 4,
learning rate 0.05, row subsample 0.8, hist method, seed 0, 2 threads.
Selection networks: yeast gavin2006 and collins2007, the synthetic network of
tools/synth_network.py (2,000 proteins, 10,000 interactions, seed 7, 20% false, 10% missing),
and HI-II-14 (hold-outs of test 1's input); seeds 1, 2, 3.
Rule: the trees replace logistic regression in `learn` only if "trees, two" beats "learn" by a
geometric mean of at least 1.05 in P@500 over the networks (enough to pay for a new library and
its build) and its average precision is not lower on any network. Otherwise logistic
regression stays.

Usage: model_study.py [--build-dir build] [--data-dir ../shared/data] [--work-dir DIR]
"""

import argparse
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

import numpy as np

WIDTH = 9
SHORTLIST = 10000
SEEDS = [1, 2, 3]
TREE_PARAMS = {"objective": "binary:logistic", "max_depth": 4, "eta": 0.05, "subsample": 0.8,
               "tree_method": "hist", "seed": 0, "nthread": 2}
TREE_ROUNDS = 300
RANKINGS = ["logistic", "learn", "trees", "trees, two"]


def load(directory):
    def array(name, dtype):
        return np.fromfile(os.path.join(directory, name), dtype=dtype)
    data = {
        "first_x": array("first.f64", np.float64).reshape(-1, WIDTH),
        "first_y": array("first.u8", np.uint8),
        "second_x": array("second.f64", np.float64).reshape(-1, WIDTH),
        "second_y": array("second.u8", np.uint8),
        "x": array("candidates.f64", np.float64).reshape(-1, WIDTH),
        "tie": array("candidates.u64", np.uint64),
        "hit": array("candidates.u8", np.uint8),
        "learn": array("learn.f64", np.float64).reshape(-1, 2),
    }
    with open(os.path.join(directory, "hidden.txt")) as text:
        data["hidden"] = int(text.read())
    return data


def order_of(score, tie):
    """Indices best first: score descending, then pair ascending (vornel's order)."""
    return np.lexsort((tie, -score))


def reordered(first, second, tie):
    """The first ranking's best SHORTLIST reordered by `second`, the rest after in first order."""
    order = order_of(first, tie)
    head, rest = order[:SHORTLIST], order[SHORTLIST:]
    head = head[order_of(second[head], tie[head])]
    return np.concatenate([head, rest])


def figures(order, hit, hidden):
    found = hit[order].astype(np.int64)
    cumulative = np.cumsum(found)
    ranks = np.arange(1, len(found) + 1)
    ap = float(np.sum((cumulative / ranks)[found == 1])) / hidden if hidden else 0.0
    def at(k):
        return float(cumulative[min(k, len(found)) - 1]) / k if len(found) else 0.0
    return {"P@100": at(100), "P@500": at(500), "AP": ap}


def fit_trees(x, y):
    import xgboost
    return xgboost.train(TREE_PARAMS, xgboost.DMatrix(x, label=y), num_boost_round=TREE_ROUNDS)


def predict(trees, x):
    import xgboost
    return trees.predict(xgboost.DMatrix(x))


def one_hold_out(tool, network, seed, work):
    directory = os.path.join(work, f"{os.path.basename(network)}_{seed}")
    subprocess.run([tool, network, str(seed), directory, "2"], check=True)
    data = load(directory)
    shutil.rmtree(directory)
    tie, hit = data["tie"], data["hit"]
    first, second = data["learn"][:, 0], data["learn"][:, 1]
    trees_first = predict(fit_trees(data["first_x"], data["first_y"]), data["x"])
    trees_second = predict(fit_trees(data["second_x"], data["second_y"]), data["x"])
    orders = {
        "logistic": order_of(first, tie),
        "learn": reordered(first, second, tie),
        "trees": order_of(trees_first.astype(np.float64), tie),
        "trees, two": reordered(trees_first.astype(np.float64), trees_second.astype(np.float64), tie),
    }
    return {name: figures(order, hit, data["hidden"]) for name, order in orders.items()}


def selection_networks(data_dir, work, repo):
    yeast = os.path.join(data_dir, "yeast")
    networks = [("gavin2006", os.path.join(yeast, "gavin2006.tsv")),
                ("collins2007", os.path.join(yeast, "collins2007.tsv"))]
    synthetic = os.path.join(work, "synthetic")
    subprocess.run([sys.executable, os.path.join(repo, "tools", "synth_network.py"), "--proteins", "2000",
                    "--interactions", "10000", "--seed", "7", "--false-share", "0.2", "--missing-share", "0.1",
                    "--out-dir", synthetic], check=True, stdout=subprocess.DEVNULL)
    networks.append(("synthetic", os.path.join(synthetic, "network.tsv")))
    networks.append(("HI-II-14 hold-outs", os.path.join(data_dir, "human", "hi-ii-14.tsv")))
    present = []
    for name, path in networks:
        if os.path.exists(path):
            present.append((name, path))
        else:
            print(f"model_study: {path} not found: {name} skipped", file=sys.stderr)
    return present


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(repo, "build"))
    parser.add_argument("--data-dir", default=os.path.join(os.path.dirname(repo), "shared", "data"))
    parser.add_argument("--work-dir")
    args = parser.parse_args()
    try:
        import xgboost  # noqa: F401
    except ImportError:
        sys.exit("model_study: XGBoost is not installed (apt-get install python3-xgboost)")
    tool = os.path.join(args.build_dir, "learn_rows_tool")
    if not os.access(tool, os.X_OK):
        sys.exit(f"model_study: {tool} not found: build the project first")
    work = args.work_dir or tempfile.mkdtemp(prefix="model_study.")
    print("| network | ranking | P@100 | P@500 | AP |")
    print("|---|---|---:|---:|---:|")
    means = {}
    for name, path in selection_networks(args.data_dir, work, repo):
        runs = [one_hold_out(tool, path, seed, work) for seed in SEEDS]
        for ranking in RANKINGS:
            mean = {key: statistics.mean(run[ranking][key] for run in runs) for key in runs[0][ranking]}
            means[(name, ranking)] = mean
            print(f"| {name} | {ranking} | {mean['P@100']:.3f} | {mean['P@500']:.3f} | {mean['AP']:.3f} |",
                  flush=True)
    names = list(dict.fromkeys(name for name, _ in means))
    ratio = math.exp(statistics.mean(math.log(means[(n, "trees, two")]["P@500"] / means[(n, "learn")]["P@500"])
                                     for n in names))
    ap_lower = [n for n in names if means[(n, "trees, two")]["AP"] < means[(n, "learn")]["AP"]]
    print()
    print(f"Geometric mean of P@500, trees (two) over learn: {ratio:.3f}; "
          f"average precision lower on: {', '.join(ap_lower) or 'none'}")
    adopt = ratio >= 1.05 and not ap_lower
    print("Rule: " + ("the trees replace logistic regression" if adopt else "logistic regression stays"))


if __name__ == "__main__":
    main()
