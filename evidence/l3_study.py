#!/usr/bin/env python3
"""Study: can a published refinement of paths-of-length-three scoring beat l3 at proposing pairs?

Protocol, fixed before any candidate was scored on evidence tests 1 (HI-II-14 -> HI-III) and
2 (Lit-BM-13 halves):

Candidates: parameter-free published refinements of l3 (nothing to tune), scored on the same
paths. For a pair u, v let P(u,v) be the paths u-a-b-v of four distinct proteins (a in N(u),
b in N(v), a-b an interaction); for an existing interaction u-v these paths never use the u-v
interaction itself. k_x is the number of partners of x.
  l3   Kovacs et al., Nat Commun 2019 (the baseline): sum over P of 1/sqrt(k_a k_b).
  l3n  degree-normalised at both ends: sum over P of 1/sqrt(k_u k_a k_b k_v), the length-three
       walk count of the symmetrically normalised adjacency matrix D^-1/2 A D^-1/2.
  ch1, ch2, ch3  Cannistraci-Hebb local-community L3 scores (Muscoloni, Abdelhamid, Cannistraci,
       bioRxiv 2018, doi:10.1101/346916; in the form of the adaptive CH automata code of 2022).
       The local community LC(u,v) is the set of intermediate proteins a, b of P(u,v); for x in
       LC, di_x = |N(x) ∩ LC| (internal degree) and de_x = k_x - di_x - |N(x) ∩ {u, v}|
       (external degree: partners outside the community other than u and v).
         ch1 = sum over P of sqrt(di_a di_b) / sqrt(k_a k_b)
         ch2 = sum over P of sqrt((1 + di_a)(1 + di_b)) / sqrt((1 + de_a)(1 + de_b))
         ch3 = sum over P of 1 / sqrt((1 + de_a)(1 + de_b))
  sim  the "Sim" predictor as tabled by Yuen and Jansson, BMC Bioinformatics 2023: sum over
       b in N(v) of J(u, b) plus sum over a in N(u) of J(a, v), J the Jaccard index of partner
       sets (u resembles v's partners, or v resembles u's: the complementarity behind l3).
  l3+cn  a combination with a shared-partner (filter) score: l3 ranks first, the number of
       common partners breaks ties.  (Parameter-free; ties are frequent among l3's low scores.)

Selection rule: the candidate with the highest geometric mean, over the selection benchmarks, of
its precision among the top 500 proposed pairs divided by that of l3, provided it exceeds 1.
Selection benchmarks (none of them HI-II-14, HI-III or Lit-BM-13):
  - yeast/gavin2006, yeast/collins2007, yeast/krogan2006_core: 10% of the interactions removed
    at random (seeds 1, 2, 3; precision averaged over the seeds), hits = the removed pairs;
  - the synthetic default network (tools/synth_network.py, seeds 7, 8, 9, precision averaged),
    hits = its missing true interactions.
The chosen candidate is then measured on tests 1 and 2 beside l3 and all other candidates. It is
proposed for vornel only if it beats l3 at the top 500 on both; otherwise the figures are
reported and nothing is added (no second choice after seeing the tests).

Ranking: score descending, ties by the identifiers in byte order (vornel's order); candidates are
the non-interacting pairs with a non-zero score.

This file is also the plain reference implementation of the candidates (dictionaries and sets,
one source protein at a time), written for clarity; it needs no package beyond the standard
library. Usage:
  l3_study.py selection DATA_DIR      selection benchmarks only
  l3_study.py tests DATA_DIR          tests 1 and 2 for every candidate
  l3_study.py score NETWORK METHOD    print every candidate pair's score (for cross-checks)
"""

import math
import os
import random
import statistics
import subprocess
import sys
import time

CANDIDATES = ["l3", "l3n", "ch1", "ch2", "ch3", "sim", "l3+cn"]
TOP_K = [100, 500, 1000, 5000]
SELECTION_K = 500


def read_network(path):
    adjacency = {}
    with open(path) as lines:
        for line in lines:
            tokens = line.split()
            if len(tokens) < 2 or tokens[0].startswith("#") or tokens[0] == tokens[1]:
                continue
            a, b = tokens[0], tokens[1]
            adjacency.setdefault(a, set()).add(b)
            adjacency.setdefault(b, set()).add(a)
    return adjacency


def paths_of_three(adjacency, u, beyond=""):
    """For each v > beyond, the list of (a, b) with u-a-b-v a path of four distinct proteins."""
    by_end = {}
    for a in adjacency[u]:
        for b in adjacency[a]:
            if b == u:
                continue
            for v in adjacency[b]:
                if v > beyond and v != a and v != u:
                    by_end.setdefault(v, []).append((a, b))
    return by_end


def jaccard(adjacency, x, y):
    shared = len(adjacency[x] & adjacency[y])
    return shared / (len(adjacency[x]) + len(adjacency[y]) - shared)


def pair_scores(adjacency, u, v, paths):
    """Every candidate's score for the pair u, v from its paths of length three."""
    k = lambda x: len(adjacency[x])
    community = {x for path in paths for x in path}
    internal = {x: len(adjacency[x] & community) for x in community}
    external = {x: k(x) - internal[x] - (u in adjacency[x]) - (v in adjacency[x])
                for x in community}
    l3 = sum(1.0 / math.sqrt(k(a) * k(b)) for a, b in paths)
    scores = {
        "l3": l3,
        "l3n": l3 / math.sqrt(k(u) * k(v)),
        "ch1": sum(math.sqrt(internal[a] * internal[b] / (k(a) * k(b))) for a, b in paths),
        "ch2": sum(math.sqrt((1 + internal[a]) * (1 + internal[b])
                             / ((1 + external[a]) * (1 + external[b]))) for a, b in paths),
        "ch3": sum(1.0 / math.sqrt((1 + external[a]) * (1 + external[b])) for a, b in paths),
        "sim": sum(jaccard(adjacency, u, b) for b in adjacency[v] if b != u)
               + sum(jaccard(adjacency, a, v) for a in adjacency[u] if a != v),
    }
    scores["l3+cn"] = (l3, len(adjacency[u] & adjacency[v]))
    return scores


def candidate_scores(adjacency):
    """{method: [(score, u, v)]} over the non-interacting pairs u < v joined by a path of three."""
    result = {method: [] for method in CANDIDATES}
    for u in sorted(adjacency):
        for v, paths in paths_of_three(adjacency, u, beyond=u).items():
            if v in adjacency[u]:
                continue
            for method, score in pair_scores(adjacency, u, v, paths).items():
                result[method].append((score, u, v))
    return result


def ranked_pairs(scored, limit):
    """The first `limit` pairs, best first, ties by identifiers in byte order (as vornel)."""
    def key(row):
        score, u, v = row
        parts = score if isinstance(score, tuple) else (score,)
        return tuple(-p for p in parts) + (u.encode(), v.encode())
    return [(u, v) for _, u, v in sorted(scored, key=key)[:limit]]


def precisions(adjacency, hits):
    scores = candidate_scores(adjacency)
    result = {}
    for method in CANDIDATES:
        top = ranked_pairs(scores[method], max(TOP_K))
        found, cumulative = 0, []
        for pair in top:
            found += pair in hits
            cumulative.append(found)
        result[method] = {k: (cumulative[k - 1] if len(cumulative) >= k else found) / k
                          for k in TOP_K}
    return result


def pair_key(a, b):
    return (a, b) if a < b else (b, a)


def read_pairs(path):
    pairs, seen = [], set()
    with open(path) as lines:
        for line in lines:
            tokens = line.split()
            if len(tokens) < 2 or tokens[0] == tokens[1]:
                continue
            key = pair_key(tokens[0], tokens[1])
            if key not in seen:
                seen.add(key)
                pairs.append(key)
    return pairs


def adjacency_of(pairs):
    adjacency = {}
    for a, b in pairs:
        adjacency.setdefault(a, set()).add(b)
        adjacency.setdefault(b, set()).add(a)
    return adjacency


def holdout(pairs, share, seed):
    shuffled = list(pairs)
    random.Random(seed).shuffle(shuffled)
    cut = round(share * len(shuffled))
    removed, kept = shuffled[:cut], shuffled[cut:]
    adjacency = adjacency_of(kept)
    hits = {p for p in removed if p[0] in adjacency and p[1] in adjacency}
    return adjacency, hits


def mean_precisions(runs):
    return {m: {k: statistics.mean(r[m][k] for r in runs) for k in TOP_K} for m in CANDIDATES}


def selection_benchmarks(data_dir):
    benchmarks = {}
    for name in ["gavin2006", "collins2007", "krogan2006_core"]:
        path = os.path.join(data_dir, "yeast", name + ".tsv")
        if not os.path.exists(path):
            print(f"l3_study: {path} not found, skipped", file=sys.stderr)
            continue
        pairs = read_pairs(path)
        benchmarks[name] = mean_precisions([precisions(*holdout(pairs, 0.1, seed))
                                            for seed in (1, 2, 3)])
        log_progress(name)
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    runs = []
    for seed in (7, 8, 9):
        out_dir = f"/tmp/l3_study_synthetic_{seed}"
        subprocess.run([sys.executable, os.path.join(repo, "tools", "synth_network.py"),
                        "--proteins", "2000", "--interactions", "10000", "--seed", str(seed),
                        "--false-share", "0.2", "--missing-share", "0.1", "--out-dir", out_dir],
                       check=True, capture_output=True)
        adjacency = adjacency_of(read_pairs(os.path.join(out_dir, "network.tsv")))
        runs.append(precisions(adjacency, set(read_pairs(os.path.join(out_dir, "missing.tsv")))))
    benchmarks["synthetic"] = mean_precisions(runs)
    log_progress("synthetic")
    return benchmarks


def test_benchmarks(data_dir):
    human = os.path.join(data_dir, "human")
    network = read_pairs(os.path.join(human, "hi-ii-14.tsv"))
    adjacency = adjacency_of(network)
    known = set(network)
    hits = {p for p in read_pairs(os.path.join(human, "hi-iii.tsv"))
            if p[0] in adjacency and p[1] in adjacency and p not in known}
    results = {"test 1 (HI-II-14 -> HI-III)": precisions(adjacency, hits)}
    log_progress("test 1")
    lit = read_pairs(os.path.join(human, "lit-bm-13.tsv"))
    runs = []
    for seed in (1, 2, 3, 4, 5):
        # The same halves as the evidence harness: shuffle with the seed, first half proposes.
        shuffled = [tuple(p) for p in lit]
        random.Random(seed).shuffle(shuffled)
        half, other = shuffled[:len(shuffled) // 2], shuffled[len(shuffled) // 2:]
        adjacency = adjacency_of(half)
        hits = {p for p in other if p[0] in adjacency and p[1] in adjacency}
        runs.append(precisions(adjacency, hits))
    results["test 2 (Lit-BM-13 halves, mean of 5)"] = mean_precisions(runs)
    log_progress("test 2")
    return results


STARTED = time.monotonic()


def log_progress(name):
    print(f"l3_study: {name} done at {time.monotonic() - STARTED:.0f} s", file=sys.stderr,
          flush=True)


def print_table(results):
    print("| benchmark | method | " + " | ".join(f"top {k}" for k in TOP_K) + " |")
    print("|---|---|" + "---:|" * len(TOP_K))
    for name, by_method in results.items():
        for method in CANDIDATES:
            row = by_method[method]
            print(f"| {name} | `{method}` | " + " | ".join(f"{row[k]:.3f}" for k in TOP_K) + " |")


def choose(results):
    """The selection rule: highest geometric mean of precision@500 relative to l3, if above 1."""
    gains = {}
    for method in CANDIDATES[1:]:
        ratios = [max(r[method][SELECTION_K], 1e-9) / max(r["l3"][SELECTION_K], 1e-9)
                  for r in results.values()]
        gains[method] = math.exp(statistics.mean(math.log(x) for x in ratios))
    for method, gain in sorted(gains.items(), key=lambda item: -item[1]):
        print(f"selection: {method}: geometric mean of precision@500 / l3's = {gain:.3f}")
    best = max(gains, key=gains.get)
    return best if gains[best] > 1.0 else None


def main(argv):
    if len(argv) == 3 and argv[0] == "score":
        adjacency = read_network(argv[1])
        scored = candidate_scores(adjacency)[argv[2]]
        for score, u, v in sorted(scored, key=lambda row: (row[1], row[2])):
            print(f"{u}\t{v}\t{score!r}")
        return
    if len(argv) != 2 or argv[0] not in ("selection", "tests"):
        sys.exit(__doc__)
    if argv[0] == "selection":
        results = selection_benchmarks(argv[1])
        print_table(results)
        chosen = choose(results)
        print(f"selection: chosen candidate: {chosen or 'none (no candidate beats l3)'}")
    else:
        print_table(test_benchmarks(argv[1]))


if __name__ == "__main__":
    main(sys.argv[1:])
