#!/usr/bin/python3
"""Which filter `auto` should run, judged on networks that share nothing with evidence tests 1-4
and have a truth of their own:

* the AP-MS yeast maps gavin2006 and collins2007 against the SGD complexes (a standard the
  tests do not use): of the top-scored half of the interactions, the share of pairs within one
  complex among those with both proteins in the standard (precision) and the share of all
  co-complex interactions kept (recall), as test 3 measures Krogan 2006 against CYC2008;
* generated networks (tools/synth_network.py, 20% false interactions drawn by degree, 10%
  removed) against their known false interactions: AUC of true over false, and the share of
  false among the lowest-scored fifth.

Compared: wcd, learn and the average of their ranks. Also prints each network's transitivity
(closed over connected triples), the statistic a clustering-based rule would use.
Usage: evidence/auto_filter_study.py VORNEL DATA_DIR"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from evidence import auc_with_ties, pair_key, read_complexes, read_pairs  # noqa: E402

FILTERS = ["wcd", "learn", "average"]


def scores_of(vornel, path, method, work):
    if method == "average":
        pairs = read_pairs(path)
        return rank_average(pairs, [scores_of(vornel, path, m, work) for m in ("wcd", "learn")])
    out = os.path.join(work, method + ".out")
    subprocess.run([vornel, "-t", "2", path, path, method, "2", out], check=True, capture_output=True)
    scores = {}
    with open(out) as lines:
        for line in lines:
            a, b, value = line.split("\t")
            scores[pair_key(a, b)] = float(value)
    return scores


def ranks(scores, pairs):
    """Each pair's rank by score (1 = lowest; ties at their mean rank)."""
    ordered = sorted((scores.get(pair_key(a, b), 0.0), pair_key(a, b)) for a, b in pairs)
    rank, i = {}, 0
    while i < len(ordered):
        j = i
        while j < len(ordered) and ordered[j][0] == ordered[i][0]:
            j += 1
        for t in range(i, j):
            rank[ordered[t][1]] = (i + j + 1) / 2.0
        i = j
    return rank


def rank_average(pairs, score_sets):
    rank_sets = [ranks(s, pairs) for s in score_sets]
    return {k: sum(r[k] for r in rank_sets) / len(rank_sets) for k in rank_sets[0]}


def transitivity(pairs):
    partners = {}
    for a, b in pairs:
        partners.setdefault(a, set()).add(b)
        partners.setdefault(b, set()).add(a)
    triangles = sum(1 for x, near in partners.items() for y in near if y > x
                    for z in partners[y] if z > y and z in near)
    triples = sum(len(near) * (len(near) - 1) // 2 for near in partners.values())
    return 3 * triangles / triples if triples else 0.0


def complex_line(vornel, path, membership, work):
    pairs = read_pairs(path)
    total = sum(1 for a, b in pairs if a in membership and b in membership and membership[a] & membership[b])
    cells = [f"transitivity {transitivity(pairs):.3f}"]
    for method in FILTERS:
        scores = scores_of(vornel, path, method, work)
        order = sorted(range(len(pairs)), key=lambda i: (-scores.get(pair_key(*pairs[i]), 0.0), i))
        kept = [pairs[i] for i in order[:round(0.5 * len(pairs))]]
        known = [(a, b) for a, b in kept if a in membership and b in membership]
        within = sum(1 for a, b in known if membership[a] & membership[b])
        cells.append(f"{method} top 50% precision {within / len(known):.3f} recall {within / total:.3f}")
    return "; ".join(cells)


def synthetic_line(vornel, seed, work):
    out_dir = os.path.join(work, f"synthetic{seed}")
    subprocess.run([sys.executable, os.path.join(HERE, "..", "tools", "synth_network.py"), "--proteins", "2000",
                    "--interactions", "10000", "--seed", str(seed), "--out-dir", out_dir,
                    "--false-share", "0.2", "--missing-share", "0.1"], check=True, capture_output=True)
    path = os.path.join(out_dir, "network.tsv")
    pairs = read_pairs(path)
    false = {pair_key(a, b) for a, b in read_pairs(os.path.join(out_dir, "false.tsv"))}
    cells = [f"transitivity {transitivity(pairs):.3f}"]
    for method in FILTERS:
        scores = scores_of(vornel, path, method, work)
        labelled = [(scores.get(pair_key(a, b), 0.0), i, pair_key(a, b) in false) for i, (a, b) in enumerate(pairs)]
        real = [s for s, _, is_false in labelled if not is_false]
        fake = [s for s, _, is_false in labelled if is_false]
        lowest = sorted(labelled)[:len(labelled) // 5]
        cells.append(f"{method} AUC {auc_with_ties(real, fake):.3f} "
                     f"false among lowest fifth {sum(f for _, _, f in lowest) / len(lowest):.3f}")
    return "; ".join(cells)


def main():
    vornel, data_dir = sys.argv[1], sys.argv[2]
    membership = read_complexes(os.path.join(data_dir, "yeast", "sgd_complexes.tsv"))
    with tempfile.TemporaryDirectory() as work:
        for name in ("gavin2006", "collins2007"):
            print(f"{name}: {complex_line(vornel, os.path.join(data_dir, 'yeast', name + '.tsv'), membership, work)}",
                  flush=True)
        for seed in (7, 8, 9):
            print(f"synthetic seed {seed}: {synthetic_line(vornel, seed, work)}", flush=True)


if __name__ == "__main__":
    main()
