#!/usr/bin/python3
"""Which constants `auto`'s proposing rule should use, judged on selection networks only (none
of them a network of evidence tests 1, 2 or 7).

The rule: R seeded hold-outs (10% hidden) of the input, each candidate's average precision (AP)
of ranking the hidden interactions back. For each challenger c != l3, d_r = AP(c, r) - AP(l3, r),
mean dbar and sample sd s over the R hold-outs; c leads clearly when dbar > 0,
dbar >= min_gain * mean AP(l3) and (dbar >= margin_sd * s or c beats l3 on at least wins_needed
hold-outs). Among the clear leaders the one with the highest mean AP runs; otherwise l3.

Protocol: every network is dealt into K outer folds (holdout.py). For each outer training
network (the other K - 1 folds):
  outer truth  precision at 100/500/1000 of each candidate's proposals (`vornel` on the training
               file) against the held-out fold's pairs between training proteins;
  inner figures  `vornel evaluate --propose-only --repeats 1 --seed s` on the training file for
               s = 1..RMAX, each candidate's AP, as `auto` would measure them itself.
The rule is then simulated over the grid of constants on the inner figures and scored by the
outer P@500 of the candidate it picks, relative to l3's.

Usage: evidence/auto_study.py VORNEL DATA_DIR OUT.md   (cases in a temporary directory)
"""

import itertools
import gzip
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import evidence  # noqa: E402
import holdout  # noqa: E402

CANDIDATES = ["l3", "learn", "l3n", "sim", "mps"]
OUTER_FOLDS = 5
OUTER_SEED = 1
RMAX = 5
TOP_K = [100, 500, 1000]
PATHWAY_SUBNETWORK = dict(proteins=3000, seeds=5, seed=1)
SYNTHETIC = dict(proteins=2000, interactions=10000, seed=7, false_share=0.2, missing_share=0.1)
GRID_R = [3, 5]
GRID_MARGIN_SD = [0.5, 1, 1.5, 2, 3]
GRID_MIN_GAIN = [0, 0.02, 0.05, 0.10]
WORST_ALLOWED = -0.02
NEAR_TIE = 0.01


def wins_options(repeats):
    return [repeats - 1, repeats, None]


def neighbourhood_subnetwork(pairs, proteins, seeds, seed):
    """The interactions among the first `proteins` proteins reached by a breadth-first walk from
    `seeds` proteins drawn at random (seeded; partners visited in sorted order)."""
    partners = {}
    for a, b in pairs:
        partners.setdefault(a, set()).add(b)
        partners.setdefault(b, set()).add(a)
    rng = random.Random(seed)
    frontier = rng.sample(sorted(partners), seeds)
    chosen = set(frontier)
    while frontier and len(chosen) < proteins:
        following = []
        for protein in frontier:
            for partner in sorted(partners[protein]):
                if partner not in chosen and len(chosen) < proteins:
                    chosen.add(partner)
                    following.append(partner)
        frontier = following
    return [(a, b) for a, b in pairs if a in chosen and b in chosen]


def read_gzip_pairs(path):
    with gzip.open(path, "rt") as lines, tempfile.NamedTemporaryFile("w", suffix=".tsv") as plain:
        for line in lines:
            plain.write(line)
        plain.flush()
        return evidence.read_pairs(plain.name)


def selection_networks(data_dir, work):
    """(name, pairs) of every selection network."""
    yeast = os.path.join(data_dir, "yeast")
    networks = [(name, evidence.read_pairs(os.path.join(yeast, name + ".tsv")))
                for name in ("gavin2006", "collins2007")]
    out_dir = os.path.join(work, "synthetic")
    subprocess.run([sys.executable, os.path.join(HERE, "..", "tools", "synth_network.py"),
                    *(f"--{key.replace('_', '-')}={value}" for key, value in SYNTHETIC.items()),
                    "--out-dir", out_dir], check=True, capture_output=True)
    networks.append(("synthetic", evidence.read_pairs(os.path.join(out_dir, "network.tsv"))))
    pathways = read_gzip_pairs(os.path.join(data_dir, "human", "pp-pathways_ppi.tsv.gz"))
    networks.append(("pathways-3000", neighbourhood_subnetwork(pathways, **PATHWAY_SUBNETWORK)))
    return networks


def proposals(vornel, training_path, method, out):
    subprocess.run([vornel, "-t", "2", "--top", str(max(TOP_K)), training_path, "NULL", method,
                    "2", out], check=True, capture_output=True)
    with open(out) as lines:
        return [evidence.pair_key(*line.split("\t")[:2]) for line in lines]


def average_precisions(report):
    """Each method's AP from the proposing table of a `vornel evaluate` Markdown report."""
    found, ap_column = {}, None
    for line in report.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if cells[0] == "method" and "AP" in cells:
            ap_column = cells.index("AP")
        elif ap_column is not None and len(cells) > ap_column and cells[0] in CANDIDATES:
            found[cells[0]] = float(cells[ap_column].split()[0])
        elif ap_column is not None and not line.startswith("|"):
            ap_column = None if found else ap_column
    return found


def inner_figures(vornel, training_path, seed):
    report = subprocess.run([vornel, "evaluate", "-t", "2", "--propose-only", "--methods",
                             ",".join(CANDIDATES), "--repeats", "1", "--seed", str(seed),
                             training_path], check=True, capture_output=True, text=True).stdout
    found = average_precisions(report)
    if set(found) != set(CANDIDATES):
        raise RuntimeError(f"no AP for {set(CANDIDATES) - set(found)} in:\n{report}")
    return found


def measure_case(vornel, name, pairs, numbers, index, work):
    training, hits = holdout.fold_split(pairs, numbers, index)
    path = os.path.join(work, f"{name}_{index}.tsv")
    evidence.write_pairs(path, training)
    outer = {m: evidence.precision_at(proposals(vornel, path, m, path + ".out"), hits, TOP_K)
             for m in CANDIDATES}
    inner = [inner_figures(vornel, path, seed) for seed in range(1, RMAX + 1)]
    return {"network": name, "fold": index, "hits": len(hits), "interactions": len(training),
            "outer": outer, "inner": inner}


def clear_leaders(inner, repeats, margin_sd, wins_needed, min_gain):
    """The challengers that lead l3 clearly on the first `repeats` hold-outs."""
    used = inner[:repeats]
    base = statistics.mean(r["l3"] for r in used)
    leaders = []
    for challenger in CANDIDATES[1:]:
        gaps = [r[challenger] - r["l3"] for r in used]
        mean_gap, sd = statistics.mean(gaps), statistics.stdev(gaps)
        wins = sum(gap > 0 for gap in gaps)
        steady = mean_gap >= margin_sd * sd or (wins_needed is not None and wins >= wins_needed)
        if mean_gap > 0 and mean_gap >= min_gain * base and steady:
            leaders.append(challenger)
    return leaders


def pick(inner, repeats, margin_sd, wins_needed, min_gain):
    leaders = clear_leaders(inner, repeats, margin_sd, wins_needed, min_gain)
    if not leaders:
        return "l3"
    return max(leaders, key=lambda m: (statistics.mean(r[m] for r in inner[:repeats]),
                                       -CANDIDATES.index(m)))


def relative_change(case, method, k=500):
    base = case["outer"]["l3"][k]
    return (case["outer"][method][k] - base) / base if base else 0.0


def score_setting(cases, setting):
    picks = [pick(case["inner"], *setting) for case in cases]
    changes = [relative_change(case, method) for case, method in zip(cases, picks)]
    return {"setting": setting, "picks": picks, "left": sum(p != "l3" for p in picks),
            "mean": statistics.mean(changes), "worst": min(changes)}


def grid():
    for repeats in GRID_R:
        for margin_sd, wins, min_gain in itertools.product(GRID_MARGIN_SD, wins_options(repeats),
                                                           GRID_MIN_GAIN):
            yield (repeats, margin_sd, wins, min_gain)


def caution(scored):
    """Sort key, most conservative first: fewest cases leaving l3, then the largest min_gain,
    margin_sd and wins_needed (off counts as the largest), then the fewer hold-outs (cheaper)."""
    repeats, margin_sd, wins, min_gain = scored["setting"]
    return (scored["left"], -min_gain, -margin_sd, -(wins if wins is not None else 99), repeats)


def recommend(scores):
    safe = [s for s in scores if s["worst"] >= WORST_ALLOWED]
    best = max(s["mean"] for s in safe)
    near = [s for s in safe if s["mean"] >= best - NEAR_TIE]
    return min(near, key=caution), best, len(safe), len(near)


def fmt(value, digits=3):
    return f"{value:.{digits}f}"


def percent(value):
    return f"{100 * value:+.1f}%"


def setting_text(setting):
    repeats, margin_sd, wins, min_gain = setting
    return f"R={repeats}, margin_sd={margin_sd:g}, wins_needed={wins if wins is not None else 'off'}, " \
           f"min_gain={min_gain:g}"


def picks_by_network(cases, picks):
    """'network: method xN, ...' per network, in the order the networks were measured."""
    counted = {}
    for case, method in zip(cases, picks):
        by_method = counted.setdefault(case["network"], {})
        by_method[method] = by_method.get(method, 0) + 1
    return "; ".join(f"{name} " + ", ".join(f"{m} {n}" for m, n in by_method.items())
                     for name, by_method in counted.items())


def grid_table(cases, scores):
    lines = ["| R | margin_sd | wins_needed | min_gain | cases leaving l3 | mean rel. P@500 | "
             "worst rel. P@500 | picks per network |", "|---:|---:|---:|---:|---:|---:|---:|---|"]
    for s in scores:
        repeats, margin_sd, wins, min_gain = s["setting"]
        lines.append(f"| {repeats} | {margin_sd:g} | {wins if wins is not None else 'off'} | "
                     f"{min_gain:g} | {s['left']} | {percent(s['mean'])} | {percent(s['worst'])} | "
                     f"{picks_by_network(cases, s['picks'])} |")
    return lines


def reference_lines(cases):
    """Always one candidate, and the oracle that knows the outer truth."""
    lines = ["| choice | mean rel. P@500 | worst rel. P@500 |", "|---|---:|---:|"]
    for method in CANDIDATES[1:]:
        changes = [relative_change(case, method) for case in cases]
        lines.append(f"| always `{method}` | {percent(statistics.mean(changes))} | "
                     f"{percent(min(changes))} |")
    best = [max(relative_change(case, m) for m in CANDIDATES) for case in cases]
    lines.append(f"| best by the outer truth | {percent(statistics.mean(best))} | "
                 f"{percent(min(best))} |")
    return lines


def case_tables(cases):
    outer = ["| network | fold | training interactions | hits | "
             + " | ".join(f"{m} P@{k}" for m in CANDIDATES for k in TOP_K) + " |",
             "|---|---:|---:|---:|" + "---:|" * (len(CANDIDATES) * len(TOP_K))]
    inner = ["| network | fold | seed | " + " | ".join(f"{m} AP" for m in CANDIDATES) + " |",
             "|---|---:|---:|" + "---:|" * len(CANDIDATES)]
    for case in cases:
        outer.append(f"| {case['network']} | {case['fold']} | {case['interactions']:,} | "
                     f"{case['hits']:,} | " + " | ".join(fmt(case["outer"][m][k])
                                                          for m in CANDIDATES for k in TOP_K) + " |")
        for seed, figures in enumerate(case["inner"], start=1):
            inner.append(f"| {case['network']} | {case['fold']} | {seed} | "
                         + " | ".join(fmt(figures[m]) for m in CANDIDATES) + " |")
    return outer, inner


def write_report(path, cases, networks, seconds, command):
    scores = [score_setting(cases, setting) for setting in grid()]
    chosen, best, safe, near = recommend(scores)
    outer, inner = case_tables(cases)
    lines = [
        "# Selection study: the constants of `auto`'s proposing rule", "",
        __doc__.split("\n\n")[1].replace("\n", " "), "",
        __doc__.split("\n\n")[2], "",
        f"Generated by `{command}` in {seconds:.0f} s (2 threads, shared machine). "
        f"Outer folds: {OUTER_FOLDS}, seed {OUTER_SEED}; inner seeds 1..{RMAX} (R = 3 uses the "
        "first three). Every candidate's outer proposals are its top "
        f"{max(TOP_K):,} (`vornel -t 2 --top {max(TOP_K)} TRAIN NULL METHOD 2 OUT`).", "",
        "## Networks", "",
        "| network | proteins | interactions | how it was made |", "|---|---:|---:|---|"]
    sources = {"gavin2006": "yeast/gavin2006.tsv", "collins2007": "yeast/collins2007.tsv",
               "synthetic": "tools/synth_network.py " + ", ".join(f"{k}={v}" for k, v in SYNTHETIC.items()),
               "pathways-3000": "human/pp-pathways_ppi.tsv.gz: the interactions among the first "
               f"{PATHWAY_SUBNETWORK['proteins']:,} proteins reached breadth-first (partners in "
               f"sorted order) from {PATHWAY_SUBNETWORK['seeds']} proteins drawn with seed "
               f"{PATHWAY_SUBNETWORK['seed']}"}
    for name, pairs in networks:
        lines.append(f"| {name} | {len(evidence.proteins_of(pairs)):,} | {len(pairs):,} | "
                     f"{sources[name]} |")
    lines += [
        "", "## Recommendation", "",
        f"**{setting_text(chosen['setting'])}**: leaves `l3` on {chosen['left']} of {len(cases)} "
        f"cases, mean change of P@500 against `l3` {percent(chosen['mean'])}, worst "
        f"{percent(chosen['worst'])}; picks: {picks_by_network(cases, chosen['picks'])}.", "",
        f"Rule of choice: among the {safe} of {len(scores)} settings that never fall more than "
        f"{percent(-WORST_ALLOWED)[1:]} below `l3` on any case, the best mean change is "
        f"{percent(best)}; the {near} settings within {100 * NEAR_TIE:g} percentage point of it "
        "count as a near-tie, and the most conservative of those is chosen (fewest cases leaving "
        "`l3`, then the largest min_gain, margin_sd and wins_needed, then the smaller R, which "
        "costs fewer hold-outs).", "",
        "For comparison (P@500 relative to `l3`, over the same cases):", "",
        *reference_lines(cases), "",
        "## Every setting of the grid", "",
        "Relative P@500: (P@500 of the picked candidate - P@500 of `l3`) / P@500 of `l3` on the "
        "outer fold, mean and worst over the cases.", "",
        *grid_table(cases, scores), "",
        "## Raw figures per case", "",
        "Outer truth: precision at k of each candidate's proposals from the training network "
        "against the held-out fold.", "", *outer, "",
        "Inner figures: each candidate's AP in `vornel evaluate --propose-only --repeats 1 "
        "--seed SEED` on the training network.", "", *inner, ""]
    with open(path, "w") as out:
        out.write("\n".join(lines))
    return chosen


def main(argv):
    import argparse
    import json
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("vornel")
    parser.add_argument("data_dir")
    parser.add_argument("out")
    parser.add_argument("--cases", help="JSON file of measured cases: read if present, else "
                        "written after measuring (keep it outside the repository)")
    args = parser.parse_args(argv)
    started = time.monotonic()
    with tempfile.TemporaryDirectory() as work:
        networks = selection_networks(args.data_dir, work)
        if args.cases and os.path.exists(args.cases):
            with open(args.cases) as saved:
                cases, seconds = json.load(saved)
        else:
            cases = []
            for name, pairs in networks:
                numbers = holdout.fold_numbers(len(pairs), OUTER_FOLDS, OUTER_SEED)
                for index in range(OUTER_FOLDS):
                    cases.append(measure_case(args.vornel, name, pairs, numbers, index, work))
                    evidence.log(f"{name} fold {index}: {time.monotonic() - started:.0f} s")
            seconds = time.monotonic() - started
            if args.cases:
                with open(args.cases, "w") as out:
                    json.dump([cases, seconds], out)
    for case in cases:  # JSON keys are text
        case["outer"] = {m: {int(k): v for k, v in by_k.items()} for m, by_k in case["outer"].items()}
    chosen = write_report(args.out, cases, networks, seconds, "evidence/auto_study.py VORNEL DATA_DIR OUT")
    print(setting_text(chosen["setting"]), percent(chosen["mean"]), percent(chosen["worst"]))


if __name__ == "__main__":
    main(sys.argv[1:])
