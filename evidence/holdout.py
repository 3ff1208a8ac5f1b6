#!/usr/bin/env python3
"""K-fold hold-outs of a network's interactions, shared by evidence test 7 (ten folds of HuRI)
and the selection study of `auto` (evidence/auto_study.py).

A fold split is seeded: the interactions are shuffled once with the seed and dealt out in turn,
so the folds differ in size by at most one. For fold i the training network is the other folds'
interactions in their file order; the hits are the fold's pairs whose two proteins are both in
the training network (a method can propose no pair with an unknown protein). Each method sees
the training network file only, so the held-out fold never reaches it (nor `auto`'s own
hold-outs, which it draws from that file).

Usage (a check of test 7 on any network, without touching the evidence data):
  holdout.py check BUILD_DIR NETWORK WORK_DIR [METHOD,...]
"""

import os
import random
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import evidence  # noqa: E402

FOLDS = 10
FOLD_SEED = 1
TOP_K = [100, 500, 1000]
NETWORK = "human/huri.tsv"


def fold_numbers(count, folds, seed):
    """The fold (0 .. folds - 1) of each of `count` interactions: a seeded shuffle dealt out in
    turn, so the folds differ in size by at most one."""
    order = list(range(count))
    random.Random(seed).shuffle(order)
    numbers = [0] * count
    for position, item in enumerate(order):
        numbers[item] = position % folds
    return numbers


def fold_split(pairs, numbers, index):
    """(training pairs, hits) of fold `index`: the other folds' pairs in file order, and the
    fold's pairs (as pair keys) between proteins of the training network."""
    training = [pair for pair, number in zip(pairs, numbers) if number != index]
    proteins = evidence.proteins_of(training)
    hits = {evidence.pair_key(pair[0], pair[1]) for pair, number in zip(pairs, numbers)
            if number == index and pair[0] in proteins and pair[1] in proteins}
    return training, hits


def ten_fold(pipeline, network_path, methods, folds=FOLDS, seed=FOLD_SEED, label="HuRI"):
    """Precision at TOP_K per method and fold: each method proposes from the training network
    as the harness runs methods (ppi-refine, filter keeping all, then the add phase)."""
    network = evidence.read_pairs(network_path)
    numbers = fold_numbers(len(network), folds, seed)
    per_method = {method: {k: [] for k in TOP_K} for method in methods}
    hit_counts, baselines = [], []
    for index in range(folds):
        training, hits = fold_split(network, numbers, index)
        hit_counts.append(len(hits))
        baselines.append(len(hits) / evidence.non_adjacent_pairs(training))
        for method in methods:
            _, added, _ = pipeline.run(f"fold{index}_{method}", training, method, 0, method,
                                       max(TOP_K))
            for k, value in evidence.precision_at(added, hits, TOP_K).items():
                per_method[method][k].append(value)
    rows = {method: {k: (statistics.mean(v), statistics.stdev(v) if len(v) > 1 else 0.0)
                     for k, v in by_k.items()} for method, by_k in per_method.items()}
    return {"rows": rows, "label": label, "folds": folds, "seed": seed,
            "hits": statistics.mean(hit_counts),
            "interactions": len(network), "proteins": len(evidence.proteins_of(network)),
            "baseline": statistics.mean(baselines)}


def test_ten_fold(pipeline, data_dir, methods):
    """Evidence test 7: ten folds of HuRI, every method of the harness (on a network of HuRI's
    size one fold of all fourteen took 106 s on two busy cores, `auto` 47 s of it)."""
    return ten_fold(pipeline, os.path.join(data_dir, NETWORK), methods)


def report_ten_fold(result):
    fmt = evidence.fmt
    title = f"### 7. New pairs against a held-out tenth ({result['label']}, {result['folds']} folds)"
    lines = [title, "",
             f"{result['label']}: {result['interactions']:,} interactions "
             f"({result['proteins']:,} proteins) dealt into {result['folds']} folds (seed "
             f"{result['seed']}); pairs proposed from the other folds, hits: the fold's pairs "
             f"between proteins of the others (mean {result['hits']:,.0f}). Precision among the "
             "top k, mean ± standard deviation over the folds. Each method sees the training "
             "folds only; `auto` draws its own hold-outs from them.", "",
             "| method | " + " | ".join(f"top {k:,}" for k in TOP_K) + " |",
             "|---|" + "---:|" * len(TOP_K)]
    for method, by_k in result["rows"].items():
        cells = [f"{fmt(by_k[k][0])} ± {fmt(by_k[k][1])}" for k in TOP_K]
        lines.append(f"| `{method}` | " + " | ".join(cells) + " |")
    lines.append("| random | " + " | ".join(fmt(result["baseline"], 5) for _ in TOP_K) + " |")
    lines.append("")
    return lines


def write_ten_fold_plot_data(result, path):
    """Columns k, then mean and sd per method (as half.dat)."""
    rows = result["rows"]
    with open(path, "w") as out:
        out.write("k " + " ".join(f"{m} {m}_sd" for m in rows) + "\n")
        for k in TOP_K:
            out.write(f"{k} " + " ".join(f"{rows[m][k][0]} {rows[m][k][1]}" for m in rows) + "\n")


def main(argv):
    if len(argv) not in (4, 5) or argv[0] != "check":
        sys.exit(__doc__.split("Usage")[1])
    build_dir, network, work_dir = (os.path.abspath(a) for a in argv[1:4])
    methods = argv[4].split(",") if len(argv) == 5 else \
        [m for m in evidence.known_methods(build_dir) if not m.endswith("-w")]
    started = time.monotonic()
    pipeline = evidence.Pipeline(build_dir, work_dir)
    result = ten_fold(pipeline, network, methods, label=f"`{network}`")
    print("\n".join(report_ten_fold(result)))
    print(f"{time.monotonic() - started:.0f} s, {pipeline.runs} runs of ppi-refine")


if __name__ == "__main__":
    main(sys.argv[1:])
