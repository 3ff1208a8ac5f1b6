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
outer P@500 of the candidate it picks, relative to l3's; a second grid leaves learn out of the
challengers, to see how a setting behaves where learn does not lead.

Networks: gavin2006 and collins2007 (yeast AP-MS), two generated ones (tools/synth_network.py:
the harness's default and a sparse one with a binary screen's mean degree) and two seeded cuts
of the human pathways network (a breadth-first neighbourhood and a random sample of proteins).

Usage: evidence/auto_study.py VORNEL DATA_DIR OUT.md [--cases FILE.json]
  (the training networks live in a temporary directory; --cases keeps the measured figures in
  FILE.json, outside the repository, and a later run with it only simulates and reports)
"""

import gzip
import itertools
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
PATHWAY_SAMPLE = dict(proteins=6000, seed=1)
SYNTHETIC = dict(proteins=2000, interactions=10000, seed=7, false_share=0.2, missing_share=0.1)
# A sparse one, with the mean degree of a binary screen (about 6).
SYNTHETIC_SPARSE = dict(proteins=4000, interactions=12000, seed=8, false_share=0.1,
                        missing_share=0.1)
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


def sampled_subnetwork(pairs, proteins, seed):
    """The interactions among `proteins` proteins drawn at random (seeded): a sparser cut than
    a neighbourhood, with fewer hubs."""
    chosen = set(random.Random(seed).sample(sorted(evidence.proteins_of(pairs)), proteins))
    return [(a, b) for a, b in pairs if a in chosen and b in chosen]


def generated(name, settings, work):
    out_dir = os.path.join(work, name)
    subprocess.run([sys.executable, os.path.join(HERE, "..", "tools", "synth_network.py"),
                    *(f"--{key.replace('_', '-')}={value}" for key, value in settings.items()),
                    "--out-dir", out_dir], check=True, capture_output=True)
    return evidence.read_pairs(os.path.join(out_dir, "network.tsv"))


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
    networks.append(("synthetic", generated("synthetic", SYNTHETIC, work)))
    networks.append(("synthetic-sparse", generated("synthetic-sparse", SYNTHETIC_SPARSE, work)))
    pathways = read_gzip_pairs(os.path.join(data_dir, "human", "pp-pathways_ppi.tsv.gz"))
    networks.append(("pathways-3000", neighbourhood_subnetwork(pathways, **PATHWAY_SUBNETWORK)))
    networks.append(("pathways-sample", sampled_subnetwork(pathways, **PATHWAY_SAMPLE)))
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
        elif not line.startswith("|"):
            ap_column = None  # the table ended
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


def clear_leaders(inner, repeats, margin_sd, wins_needed, min_gain, challengers=CANDIDATES[1:]):
    """The challengers that lead l3 clearly on the first `repeats` hold-outs."""
    used = inner[:repeats]
    base = statistics.mean(r["l3"] for r in used)
    leaders = []
    for challenger in challengers:
        gaps = [r[challenger] - r["l3"] for r in used]
        mean_gap, sd = statistics.mean(gaps), statistics.stdev(gaps)
        wins = sum(gap > 0 for gap in gaps)
        steady = mean_gap >= margin_sd * sd or (wins_needed is not None and wins >= wins_needed)
        if mean_gap > 0 and mean_gap >= min_gain * base and steady:
            leaders.append(challenger)
    return leaders


def pick(inner, repeats, margin_sd, wins_needed, min_gain, challengers=CANDIDATES[1:]):
    leaders = clear_leaders(inner, repeats, margin_sd, wins_needed, min_gain, challengers)
    if not leaders:
        return "l3"
    return max(leaders, key=lambda m: (statistics.mean(r[m] for r in inner[:repeats]),
                                       -CANDIDATES.index(m)))


def lead_of(inner, repeats):
    """(challenger, mean gap / mean AP of l3, mean gap / sd, wins) of the challenger with the
    highest mean AP among those ahead of l3 on average, or None: the figures a setting's
    min_gain, margin_sd and wins_needed are held against."""
    used = inner[:repeats]
    ahead = [m for m in CANDIDATES[1:] if statistics.mean(r[m] - r["l3"] for r in used) > 0]
    if not ahead:
        return None
    best = max(ahead, key=lambda m: statistics.mean(r[m] for r in used))
    gaps = [r[best] - r["l3"] for r in used]
    mean_gap, sd = statistics.mean(gaps), statistics.stdev(gaps)
    # Equal gaps leave a rounding residue for sd: no spread, so any margin_sd holds.
    spread = mean_gap / sd if sd > 1e-9 * mean_gap else float("inf")
    return (best, mean_gap / statistics.mean(r["l3"] for r in used), spread,
            sum(g > 0 for g in gaps))


def lead_table(cases):
    lines = ["| network | fold | " + " | ".join(f"R={r}: leader | gain | gap/sd | wins"
                                                 for r in GRID_R) + " |",
             "|---|---:|" + "---|---:|---:|---:|" * len(GRID_R)]
    for case in cases:
        cells = []
        for repeats in GRID_R:
            lead = lead_of(case["inner"], repeats)
            cells += ["-", "", "", ""] if lead is None else \
                [f"`{lead[0]}`", percent(lead[1]), f"{lead[2]:.1f}" if lead[2] < float("inf")
                 else "no spread", str(lead[3])]
        lines.append(f"| {case['network']} | {case['fold']} | " + " | ".join(cells) + " |")
    return lines


def lead_summary(cases):
    """One sentence per R: the weakest lead over the cases (smallest gain, smallest gap/sd)."""
    sentences = []
    for repeats in GRID_R:
        leads = [lead_of(case["inner"], repeats) for case in cases]
        leads = [lead for lead in leads if lead is not None]
        if not leads:
            continue
        leaders = sorted({lead[0] for lead in leads})
        sentences.append(f"R={repeats}: leader {', '.join(f'`{m}`' for m in leaders)} on "
                         f"{len(leads)} of {len(cases)} cases, smallest gain "
                         f"{percent(min(lead[1] for lead in leads))}, smallest gap/sd "
                         f"{min(lead[2] for lead in leads):.1f}.")
    return " ".join(sentences)


def relative_change(case, method, k=500):
    base = case["outer"]["l3"][k]
    return (case["outer"][method][k] - base) / base if base else 0.0


def score_setting(cases, setting, challengers=CANDIDATES[1:]):
    picks = [pick(case["inner"], *setting, challengers) for case in cases]
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
    margin_sd and wins_needed (R - 1, R, then off, the strictest), then the more hold-outs (the
    more evidence a lead needs)."""
    repeats, margin_sd, wins, min_gain = scored["setting"]
    strictness = wins_options(repeats).index(wins)
    return (scored["left"], -min_gain, -margin_sd, -strictness, -repeats)


def near_best(scores):
    """The settings never more than 2% below l3 and within NEAR_TIE of the best mean of those."""
    safe = [s for s in scores if s["worst"] >= WORST_ALLOWED]
    if not safe:
        return [], None, 0
    best = max(s["mean"] for s in safe)
    return [s for s in safe if s["mean"] >= best - NEAR_TIE], best, len(safe)


def recommend(scores, without_learn=None):
    """The most conservative of the near-best settings. With `without_learn` (the same settings
    scored with learn left out of the challengers, in the same order), the near-best settings of
    that grid among them are kept first, when there are any: a rule that stays safe when learn
    does not lead is the better guess for the networks where it does not."""
    near, best, safe = near_best(scores)
    if without_learn is not None:
        positions = {s["setting"]: i for i, s in enumerate(scores)}
        kept, _, _ = near_best([without_learn[positions[s["setting"]]] for s in near])
        if kept:
            near = [scores[positions[s["setting"]]] for s in kept]
    return min(near, key=caution), best, safe, len(near)


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


def recommendation_lines(cases, scores, without_learn):
    chosen, best, safe, near = recommend(scores, without_learn)
    tied, _, _ = near_best(scores)
    safe_without = sum(s["worst"] >= WORST_ALLOWED for s in without_learn)
    same = without_learn[scores.index(chosen)]

    def outcome(scored):
        return (f"leaves `l3` on {scored['left']} of {len(cases)} cases, mean change of P@500 "
                f"against `l3` {percent(scored['mean'])}, worst {percent(scored['worst'])}; "
                f"picks: {picks_by_network(cases, scored['picks'])}")
    return [
        "## Recommendation", "",
        f"**{setting_text(chosen['setting'])}**: {outcome(chosen)}.", "",
        "What these networks can decide: on every one of them a challenger leads `l3` by far "
        "on the hold-outs (lead table below), so the settings of the grid differ only where "
        "the lead is small, as it may be on a sparse binary map; there the recommended "
        "setting is the strictest guard that gives up at most "
        f"{100 * NEAR_TIE:g} percentage point of the gains these networks show ({safe} and {safe_without} of the {len(scores)} settings never fell more than "
        f"{percent(-WORST_ALLOWED)[1:]} below `l3` on any case, with and without `learn`).", "",
        f"With `learn` left out of the challengers the same setting {outcome(same)}.", "",
        f"Rule of choice: among the {safe} of {len(scores)} settings that never fall more than "
        f"{percent(-WORST_ALLOWED)[1:]} below `l3` on any case, the best mean change is "
        f"{percent(best)}; the {len(tied)} settings within {100 * NEAR_TIE:g} percentage point "
        "of it count as a near-tie. Among those, the ones that are also safe and near-best with "
        f"`learn` left out of the challengers are kept ({near} settings), and the most "
        "conservative of them is chosen: fewest cases leaving `l3`, then the largest min_gain, "
        "margin_sd and wins_needed (R - 1, R, then off, the strictest), then the larger R (a "
        "lead must then hold on more hold-outs).", ""]


def write_report(path, cases, networks, seconds, command):
    scores = [score_setting(cases, setting) for setting in grid()]
    without_learn = [score_setting(cases, setting, CANDIDATES[2:]) for setting in grid()]
    chosen = recommend(scores, without_learn)[0]
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
               "synthetic-sparse": "tools/synth_network.py "
               + ", ".join(f"{k}={v}" for k, v in SYNTHETIC_SPARSE.items()),
               "pathways-sample": "human/pp-pathways_ppi.tsv.gz: the interactions among "
               f"{PATHWAY_SAMPLE['proteins']:,} proteins drawn at random with seed "
               f"{PATHWAY_SAMPLE['seed']}",
               "pathways-3000": "human/pp-pathways_ppi.tsv.gz: the interactions among the first "
               f"{PATHWAY_SUBNETWORK['proteins']:,} proteins reached breadth-first (partners in "
               f"sorted order) from {PATHWAY_SUBNETWORK['seeds']} proteins drawn with seed "
               f"{PATHWAY_SUBNETWORK['seed']}"}
    for name, pairs in networks:
        lines.append(f"| {name} | {len(evidence.proteins_of(pairs)):,} | {len(pairs):,} | "
                     f"{sources[name]} |")
    lines += [
        "", *recommendation_lines(cases, scores, without_learn),
        "For comparison (P@500 relative to `l3`, over the same cases):", "",
        *reference_lines(cases), "",
        "How clear the leads are: per case, the challenger with the highest mean AP among those "
        "ahead of `l3` on the first R hold-outs, its mean gain over `l3` (relative to `l3`'s "
        "mean AP), its mean gap in sample standard deviations of the gaps and the hold-outs it "
        "wins. A setting picks it when min_gain is at most the gain and margin_sd at most "
        "gap/sd (or wins_needed at most its wins); a second challenger only counts when the "
        "leader fails these.", "",
        *lead_table(cases), "", lead_summary(cases), "",
        "## Every setting of the grid", "",
        "Relative P@500: (P@500 of the picked candidate - P@500 of `l3`) / P@500 of `l3` on the "
        "outer fold, mean and worst over the cases.", "",
        *grid_table(cases, scores), "",
        "The same grid with `learn` left out of the challengers (`l3` against `l3n`, `sim` and "
        "`mps`): how the rule behaves on a network where `learn` does not lead.", "",
        *grid_table(cases, without_learn), "",
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
