#!/usr/bin/env python3
"""Seeded generator of networks shaped like a STRING download (protein.links), for benchmarks at
database scale.

Shape: N proteins named like STRING's human ones (9606.ENSP00000000001 ...), M distinct
interactions whose endpoints are drawn in proportion to a per-protein propensity w_i = (i + 10)^-a
(a = 0.55), so degrees are heavy-tailed (at 19,600 / 1,000,000 a median near 65 and hubs of a few
thousand partners); no self-pairs, no repeats. The file is STRING's: the header
`protein1 protein2 combined_score`, single spaces, every interaction in both orientations
(2 M lines), grouped by protein1 and sorted, with a combined_score from 150 to 999 skewed to low
values as STRING's are; written gzip-compressed when the name ends in .gz.

    string_network.py --proteins 19600 --interactions 1000000 --seed 1 --out net.txt.gz

Needs numpy (Debian python3-numpy): the edges are drawn in vectorised batches.
"""

import argparse
import gzip
import sys

import numpy as np

EXPONENT = 0.55
OFFSET = 10


def draw_edges(rng, proteins, interactions):
    """`interactions` distinct pairs (u < v) as one int64 key u * proteins + v each, sorted."""
    weight = (np.arange(proteins, dtype=np.float64) + OFFSET) ** -EXPONENT
    weight /= weight.sum()
    keys = np.empty(0, dtype=np.int64)
    while keys.size < interactions:
        batch = int((interactions - keys.size) * 1.2) + 1000
        u = rng.choice(proteins, size=batch, p=weight)
        v = rng.choice(proteins, size=batch, p=weight)
        keep = u != v
        low, high = np.minimum(u[keep], v[keep]), np.maximum(u[keep], v[keep])
        keys = np.unique(np.concatenate([keys, low.astype(np.int64) * proteins + high]))
    if keys.size > interactions:
        keys = np.sort(rng.choice(keys, size=interactions, replace=False))
    return keys


def write_links(path, proteins, keys, rng):
    names = np.array([f"9606.ENSP{i + 1:011d}" for i in range(proteins)])
    u, v = keys // proteins, keys % proteins
    score = 150 + np.floor(849.999 * rng.random(keys.size) ** 2.5).astype(np.int64)
    first = np.concatenate([u, v])
    second = np.concatenate([v, u])
    both_scores = np.concatenate([score, score])
    order = np.lexsort((second, first))
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "wt", encoding="ascii", newline="\n") as out:
        out.write("protein1 protein2 combined_score\n")
        step = 1 << 20
        for start in range(0, order.size, step):
            part = order[start:start + step]
            lines = np.char.add(np.char.add(np.char.add(names[first[part]], " "), names[second[part]]),
                                np.char.add(" ", both_scores[part].astype(str)))
            out.write("\n".join(lines.tolist()))
            out.write("\n")


def main(argv):
    parser = argparse.ArgumentParser(description="Seeded generator of STRING-shaped networks.")
    parser.add_argument("--proteins", type=int, required=True)
    parser.add_argument("--interactions", type=int, required=True)
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--out", required=True, help="output file (gzip when it ends in .gz)")
    args = parser.parse_args(argv)
    if args.proteins < 2 or args.interactions < 1:
        parser.error("need at least 2 proteins and 1 interaction")
    if args.interactions > args.proteins * (args.proteins - 1) // 4:
        parser.error("more interactions than a quarter of all pairs: the draw would not end in good time")
    rng = np.random.default_rng(args.seed)
    keys = draw_edges(rng, args.proteins, args.interactions)
    write_links(args.out, args.proteins, keys, rng)
    print(f"string_network: {args.proteins} proteins, {keys.size} interactions, {2 * keys.size} lines in {args.out}",
          file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
