#!/usr/bin/env python3
"""Evidence that the refinement works: runs ppi-refine (with vornel) on real and generated PPI
networks exactly as a user would, and measures the kept and proposed pairs against independent
truth. Writes a Markdown report and the data files that the gnuplot scripts draw.

Tests (each skipped with a message when its input is missing):
  1. new pairs from HI-II-14, hits = HI-III pairs between HI-II-14 proteins that HI-II-14 lacks;
  2. new pairs from one random half of Lit-BM-13, hits = pairs of the other half;
  3. filtering the Krogan 2006 extended yeast network against CYC2008 complexes;
  4. filtering Lit-BM-13 with 25% planted interactions whose endpoints follow degree;
  5. the README's synthetic default network, with its known truth;
  6. the weighted methods (-w) filtering the Krogan 2006 network with its confidences, against
     their unweighted forms and the experimenters' own confidence cut, on CYC2008 complexes;
  7. new pairs from nine tenths of HuRI, hits = pairs of the tenth left out, over ten folds
     (evidence/holdout.py).
The tests are listed in TESTS. The workflow beside this script (evidence/Snakefile, started by
evidence/run.sh) runs each as a job of its own (`evidence.py run-test KEY ...`, which saves its
outcome), then writes the report from the saved outcomes (`evidence.py report ...`).
Only the standard library is used, so any python3 runs it.
"""

import argparse
import collections
import os
import pickle
import random
import shutil
import statistics
import subprocess
import sys
import time
import types

METHODS = ["cn", "jaccard", "dice", "cd", "aa", "ra", "pcd", "wcd", "l3"]
ITERATIONS = 2
TOP_K = [100, 500, 1000, 5000]
SPLIT_SEEDS = [1, 2, 3, 4, 5]
KEEP_SHARES = [0.5, 0.7, 0.9]
PLANTED_SHARE = 0.25
PLANTED_SEED = 11
RANDOM_FILTER_SEED = 3
LOW_SHARE = 0.2
SYNTHETIC = dict(proteins=2000, interactions=10000, seed=7, false_share=0.2, missing_share=0.1)
SYNTHETIC_KEEP_SHARE = 0.8
SYNTHETIC_ADD_K = [100, 500, 1000]


def log(message):
    print(f"evidence: {message}", file=sys.stderr, flush=True)


def pair_key(a, b):
    return (a, b) if a < b else (b, a)


def read_pairs(path, columns=2):
    """Unordered pairs of a network file in file order: the first `columns` tokens of every line
    that has them (a, b and, with 3, the weight as text), no self or repeated pair."""
    pairs, seen = [], set()
    with open(path) as lines:
        for line in lines:
            tokens = line.split()
            if len(tokens) < columns or tokens[0].startswith("#") or tokens[0] == tokens[1]:
                continue
            key = pair_key(tokens[0], tokens[1])
            if key not in seen:
                seen.add(key)
                pairs.append(tuple(tokens[:columns]))
    return pairs


def write_pairs(path, pairs):
    """One line per pair; a third element (a weight, as text) becomes the third column."""
    with open(path, "w") as out:
        out.write("".join("\t".join(pair) + "\n" for pair in pairs))


def proteins_of(pairs):
    return {protein for pair in pairs for protein in pair}


class Pipeline:
    """Runs build/ppi-refine in its own working directory, as a user at a console would."""

    def __init__(self, build_dir, work_dir):
        self.program = os.path.join(build_dir, "ppi-refine")
        # ppi-refine looks for the scorer on PATH before its own directory: the build's
        # directory goes first so the runs use the vornel of the same build.
        self.env = dict(os.environ, PATH=build_dir + os.pathsep + os.environ.get("PATH", ""))
        self.work_dir = work_dir
        self.runs = 0
        self.seconds = 0.0

    def run(self, name, pairs, filter_method, filter_threshold, add_method="none",
            add_threshold=0):
        """Returns (kept filter-phase pairs, added pairs, scored filter pairs or None).

        The scored filter pairs (full precision, best first) are read from the scorer's file
        when the add phase is off, since it then holds the filter phase's scores."""
        run_dir = os.path.join(self.work_dir, name)
        os.makedirs(run_dir, exist_ok=True)
        write_pairs(os.path.join(run_dir, "network.tsv"), pairs)
        command = [self.program, "network.tsv", str(ITERATIONS), filter_method,
                   repr(filter_threshold), add_method, repr(add_threshold), "refined.tsv"]
        started = time.monotonic()
        finished = subprocess.run(command, cwd=run_dir, env=self.env, capture_output=True,
                                  text=True)
        self.seconds += time.monotonic() - started
        self.runs += 1
        with open(os.path.join(run_dir, "console.log"), "w") as console:
            console.write(finished.stdout)
            console.write(finished.stderr)
        if "Error:" in finished.stdout:
            raise RuntimeError(f"ppi-refine reported an error in {run_dir}:\n{finished.stdout}")
        filtered_count = report_count(finished.stdout, "#PPIs after filtering:")
        refined = [pair_key(a, b) for a, b, _ in read_scored(os.path.join(run_dir, "refined.tsv"))]
        scored = None
        if add_threshold <= 0:
            scored = read_scored(os.path.join(run_dir, "ppi.temp.txt"))
        return refined[:filtered_count], refined[filtered_count:], scored


def report_count(console, label):
    for line in console.splitlines():
        if line.startswith(label):
            return int(line.rsplit(":", 1)[1])
    raise RuntimeError(f"no '{label}' line in the ppi-refine report")


def read_scored(path):
    rows = []
    if not os.path.exists(path):
        return rows
    with open(path) as lines:
        for line in lines:
            tokens = line.split()
            if len(tokens) >= 3:
                rows.append((tokens[0], tokens[1], float(tokens[2])))
    return rows


def precision_at(ranked, hits, cuts):
    """Precision among the first k ranked pairs for each k in cuts (k counts even if fewer ranked)."""
    result, found = {}, 0
    limit = max(cuts)
    for i, pair in enumerate(ranked[:limit], start=1):
        found += pair in hits
        if i in cuts:
            result[i] = found / i
    for k in cuts:
        result.setdefault(k, found / k)
    return result


def non_adjacent_pairs(pairs):
    n = len(proteins_of(pairs))
    return n * (n - 1) // 2 - len(pairs)


def auc_with_ties(positive, negative):
    """P(positive score > negative score) + half P(tie), from the pooled ranks."""
    pooled = sorted([(s, 1) for s in positive] + [(s, 0) for s in negative])
    rank_sum, i = 0.0, 0
    while i < len(pooled):
        j = i
        while j < len(pooled) and pooled[j][0] == pooled[i][0]:
            j += 1
        mean_rank = (i + 1 + j) / 2.0
        rank_sum += mean_rank * sum(label for _, label in pooled[i:j])
        i = j
    n_pos, n_neg = len(positive), len(negative)
    return (rank_sum - n_pos * (n_pos + 1) / 2.0) / (n_pos * n_neg)


def share_among_lowest(scores_and_labels, share):
    """Share of label-1 items among the lowest-scored `share` of all items; a tie group that
    straddles the cut contributes in proportion, as a random order within ties would."""
    ordered = sorted(scores_and_labels)
    budget = share * len(ordered)
    taken, marked, i = 0.0, 0.0, 0
    while i < len(ordered) and taken < budget:
        j = i
        while j < len(ordered) and ordered[j][0] == ordered[i][0]:
            j += 1
        group = j - i
        fraction = min(1.0, (budget - taken) / group)
        taken += fraction * group
        marked += fraction * sum(label for _, label in ordered[i:j])
        i = j
    return marked / taken if taken else 0.0


def test_independent_screen(pipeline, data_dir, methods):
    network = read_pairs(os.path.join(data_dir, "human", "hi-ii-14.tsv"))
    later = read_pairs(os.path.join(data_dir, "human", "hi-iii.tsv"))
    proteins = proteins_of(network)
    known = {pair_key(a, b) for a, b in network}
    hits = {pair_key(a, b) for a, b in later
            if a in proteins and b in proteins and pair_key(a, b) not in known}
    rows = {}
    for method in methods:
        _, added, _ = pipeline.run(f"screen_{method}", network, method, 0, method, max(TOP_K))
        rows[method] = precision_at(added, hits, TOP_K)
    baseline = len(hits) / non_adjacent_pairs(network)
    return {"rows": rows, "baseline": baseline, "hits": len(hits),
            "proteins": len(proteins), "interactions": len(network)}


def test_held_out_half(pipeline, data_dir, methods):
    network = read_pairs(os.path.join(data_dir, "human", "lit-bm-13.tsv"))
    per_method = {method: {k: [] for k in TOP_K} for method in methods}
    baselines, hit_counts = [], []
    for seed in SPLIT_SEEDS:
        shuffled = list(network)
        random.Random(seed).shuffle(shuffled)
        half, other = shuffled[:len(shuffled) // 2], shuffled[len(shuffled) // 2:]
        proteins = proteins_of(half)
        hits = {pair_key(a, b) for a, b in other if a in proteins and b in proteins}
        hit_counts.append(len(hits))
        baselines.append(len(hits) / non_adjacent_pairs(half))
        for method in methods:
            _, added, _ = pipeline.run(f"half_{seed}_{method}", half, method, 0, method, max(TOP_K))
            for k, value in precision_at(added, hits, TOP_K).items():
                per_method[method][k].append(value)
    rows = {method: {k: (statistics.mean(v), statistics.pstdev(v)) for k, v in by_k.items()}
            for method, by_k in per_method.items()}
    return {"rows": rows, "baseline": statistics.mean(baselines), "seeds": SPLIT_SEEDS,
            "hits": statistics.mean(hit_counts), "interactions": len(network) // 2}


def read_complexes(path):
    membership = {}
    with open(path) as lines:
        for index, line in enumerate(lines):
            for protein in line.split():
                membership.setdefault(protein, set()).add(index)
    return membership


def complex_figures(kept, membership, co_complex_total):
    in_standard = [(a, b) for a, b in kept if a in membership and b in membership]
    within = sum(1 for a, b in in_standard if membership[a] & membership[b])
    precision = within / len(in_standard) if in_standard else 0.0
    return {"kept": len(kept), "in_standard": len(in_standard), "precision": precision,
            "recall": within / co_complex_total}


def test_known_complexes(pipeline, data_dir, methods):
    yeast = os.path.join(data_dir, "yeast")
    network = read_pairs(os.path.join(yeast, "krogan2006_extended.tsv"))
    core = read_pairs(os.path.join(yeast, "krogan2006_core.tsv"))
    membership = read_complexes(os.path.join(yeast, "cyc2008_complexes.tsv"))
    co_complex_total = sum(1 for a, b in network
                           if a in membership and b in membership and membership[a] & membership[b])
    rows = {}
    for method in methods:
        for share in KEEP_SHARES:
            top = round(share * len(network))
            kept, _, _ = pipeline.run(f"complex_{method}_{share}", network, method, top)
            rows[(method, share)] = complex_figures(kept, membership, co_complex_total)
    rng = random.Random(RANDOM_FILTER_SEED)
    for share in KEEP_SHARES:
        kept = rng.sample(network, round(share * len(network)))
        rows[("random", share)] = complex_figures(kept, membership, co_complex_total)
    reference = {"core": complex_figures(core, membership, co_complex_total),
                 "random": complex_figures(rng.sample(network, len(core)), membership,
                                           co_complex_total),
                 "all": complex_figures(network, membership, co_complex_total)}
    return {"rows": rows, "reference": reference, "co_complex": co_complex_total,
            "interactions": len(network)}


def confidence_cut(network, top):
    """The top pairs by the file's own third column (ties in file order)."""
    order = sorted(range(len(network)), key=lambda i: -float(network[i][2]))
    return [pair_key(network[i][0], network[i][1]) for i in order[:top]]


def test_weighted_complexes(pipeline, data_dir, methods):
    """Test 3 on the Krogan network with its confidences in the third column: every weighted
    method and its unweighted form, and the experimenters' confidence cut of the same size."""
    yeast = os.path.join(data_dir, "yeast")
    network = read_pairs(os.path.join(yeast, "krogan2006_extended_scores.tsv"), columns=3)
    membership = read_complexes(os.path.join(yeast, "cyc2008_complexes.tsv"))
    co_complex_total = sum(1 for a, b, _ in network
                           if a in membership and b in membership and membership[a] & membership[b])
    rows = {}
    for weighted in methods:
        for method in (weighted[:-len("-w")], weighted):
            for share in KEEP_SHARES:
                top = round(share * len(network))
                kept, _, _ = pipeline.run(f"weighted_{method}_{share}", network, method, top)
                rows[(method, share)] = complex_figures(kept, membership, co_complex_total)
    for share in KEEP_SHARES:
        kept = confidence_cut(network, round(share * len(network)))
        rows[("confidence", share)] = complex_figures(kept, membership, co_complex_total)
    return {"rows": rows, "co_complex": co_complex_total, "interactions": len(network)}


def plant_by_degree(network, share, seed):
    """The network plus share*|network| new pairs, each endpoint the end of a random interaction
    (so drawn in proportion to degree), shuffled so that file order tells nothing."""
    rng = random.Random(seed)
    stubs = [protein for pair in network for protein in pair]
    present = {pair_key(a, b) for a, b in network}
    planted = set()
    while len(planted) < round(share * len(network)):
        a, b = stubs[int(rng.random() * len(stubs))], stubs[int(rng.random() * len(stubs))]
        key = pair_key(a, b)
        if a != b and key not in present and key not in planted:
            planted.add(key)
    combined = list(network) + sorted(planted)
    rng.shuffle(combined)
    return combined, planted


def test_planted_noise(pipeline, data_dir, methods):
    network = read_pairs(os.path.join(data_dir, "human", "lit-bm-13.tsv"))
    combined, planted = plant_by_degree(network, PLANTED_SHARE, PLANTED_SEED)
    rows = {}
    for method in methods:
        _, _, scored = pipeline.run(f"planted_{method}", combined, method, 0)
        score = {pair_key(a, b): s for a, b, s in scored}
        labelled = [(score.get(pair_key(a, b), 0.0), int(pair_key(a, b) in planted))
                    for a, b in combined]
        real = [s for s, label in labelled if not label]
        added = [s for s, label in labelled if label]
        rows[method] = {"auc": auc_with_ties(real, added),
                        "low_share": share_among_lowest(labelled, LOW_SHARE),
                        "zero": sum(1 for s, _ in labelled if s == 0.0) / len(labelled)}
    return {"rows": rows, "planted": len(planted), "interactions": len(network),
            "base_share": len(planted) / len(combined)}


def generate_synthetic(repo, out_dir):
    command = [sys.executable, os.path.join(repo, "tools", "synth_network.py"),
               "--proteins", str(SYNTHETIC["proteins"]),
               "--interactions", str(SYNTHETIC["interactions"]),
               "--seed", str(SYNTHETIC["seed"]),
               "--false-share", str(SYNTHETIC["false_share"]),
               "--missing-share", str(SYNTHETIC["missing_share"]), "--out-dir", out_dir]
    subprocess.run(command, check=True, capture_output=True)


def test_synthetic(pipeline, repo, methods):
    truth_dir = os.path.join(pipeline.work_dir, "synthetic_truth")
    generate_synthetic(repo, truth_dir)
    network = read_pairs(os.path.join(truth_dir, "network.tsv"))
    false = {pair_key(a, b) for a, b in read_pairs(os.path.join(truth_dir, "false.tsv"))}
    missing = {pair_key(a, b) for a, b in read_pairs(os.path.join(truth_dir, "missing.tsv"))}
    true_observed = len(network) - len(false)
    top = round(SYNTHETIC_KEEP_SHARE * len(network))
    rows = {}
    for method in methods:
        kept, added, _ = pipeline.run(f"synthetic_{method}", network, method, top,
                                      method, max(SYNTHETIC_ADD_K))
        kept_set = set(kept)
        true_kept = len(kept_set - false)
        rows[method] = {"kept": len(kept),
                        "precision": true_kept / len(kept) if kept else 0.0,
                        "recall": true_kept / true_observed,
                        "false_removed": len(false - kept_set) / len(false),
                        "add": precision_at(added, missing, SYNTHETIC_ADD_K)}
    return {"rows": rows, "false": len(false), "missing": len(missing),
            "interactions": len(network), "top": top,
            "precision_before": true_observed / len(network),
            "baseline": len(missing) / non_adjacent_pairs(network)}


def fmt(value, digits=3):
    return f"{value:.{digits}f}"


def top_k_table_header():
    return ["| method | " + " | ".join(f"top {k:,}" for k in TOP_K) + " |",
            "|---|" + "---:|" * len(TOP_K)]


def random_row(baseline):
    return "| random | " + " | ".join(fmt(baseline, 5) for _ in TOP_K) + " |"


def report_screen(result):
    lines = ["### 1. New pairs against an independent screen (HI-II-14 → HI-III)", "",
             f"Proposed from HI-II-14 ({result['interactions']:,} interactions, "
             f"{result['proteins']:,} proteins); hits: the {result['hits']:,} HI-III pairs between "
             "HI-II-14 proteins that HI-II-14 lacks. Precision among the top k proposed pairs.", "",
             *top_k_table_header()]
    for method, by_k in result["rows"].items():
        lines.append(f"| `{method}` | " + " | ".join(fmt(by_k[k]) for k in TOP_K) + " |")
    lines.append(random_row(result["baseline"]))
    lines += ["", "Random: hits divided by all non-interacting pairs of HI-II-14 proteins.", ""]
    return lines


def report_half(result):
    lines = ["### 2. New pairs against a held-out half (Lit-BM-13)", "",
             f"Lit-BM-13 split at random into two halves (seeds {result['seeds']}); pairs proposed "
             f"from one half ({result['interactions']:,} interactions), hits: the pairs of the other "
             f"half between proteins of the first (mean {result['hits']:,.0f}). Precision among the "
             "top k, mean ± standard deviation over the seeds.", "",
             *top_k_table_header()]
    for method, by_k in result["rows"].items():
        cells = [f"{fmt(by_k[k][0])} ± {fmt(by_k[k][1])}" for k in TOP_K]
        lines.append(f"| `{method}` | " + " | ".join(cells) + " |")
    lines.append(random_row(result["baseline"]))
    lines.append("")
    return lines


def report_complexes(result):
    ref = result["reference"]
    lines = ["### 3. Filtering against known complexes (Krogan 2006 extended, CYC2008)", "",
             f"The {result['interactions']:,} interactions scored and the top 50%, 70% and 90% kept. "
             "Precision: share of kept interactions within one complex, among those whose two "
             f"proteins both belong to complexes; recall: share of the {result['co_complex']:,} "
             "co-complex interactions kept. A method keeps fewer than asked when fewer "
             "interactions score above zero (column \"kept\").", "",
             *kept_share_table(result["rows"], {"random": "random"})]
    for name, title in (("core", "authors' core set"), ("random", "random, core's size"),
                        ("all", "no filter")):
        row = ref[name]
        empty = ["" for _ in range(3 * (len(KEEP_SHARES) - 1))]
        cells = [f"{row['kept']:,}", fmt(row["precision"]), fmt(row["recall"])] + empty
        lines.append(f"| {title} | " + " | ".join(cells) + " |")
    lines.append("")
    return lines


def kept_share_table(rows, labels):
    """Header and one row per filter of a kept-share table: kept, precision and recall at every
    share of KEEP_SHARES; `labels` names the rows that are not methods."""
    lines = ["| filter | " + " | ".join(f"{int(100 * s)}%: kept | precision | recall"
                                         for s in KEEP_SHARES) + " |",
             "|---|" + "---:|---:|---:|" * len(KEEP_SHARES)]
    for name in dict.fromkeys(m for m, _ in rows):
        cells = []
        for share in KEEP_SHARES:
            row = rows[(name, share)]
            cells += [f"{row['kept']:,}", fmt(row["precision"]), fmt(row["recall"])]
        lines.append(f"| {labels.get(name, f'`{name}`')} | " + " | ".join(cells) + " |")
    return lines


def report_weighted(result):
    lines = ["### 6. Weighted methods against known complexes (Krogan 2006 with its confidences)", "",
             f"Test 3 again, on `krogan2006_extended_scores.tsv`: the same {result['interactions']:,} "
             "interactions with the experimenters' confidence (0.10-0.99) as third column, so the "
             "weighted methods (-w) use it and the unweighted ones ignore it. Confidence cut: the "
             "top N by that column alone (ties in file order). Precision and recall as in test 3 "
             f"({result['co_complex']:,} co-complex interactions).", "",
             *kept_share_table(result["rows"], {"confidence": "confidence cut"})]
    lines.append("")
    return lines


def report_planted(result):
    lines = ["### 4. Filtering against planted noise (Lit-BM-13 + 25%)", "",
             f"{result['planted']:,} pairs added to the {result['interactions']:,} interactions of "
             "Lit-BM-13, both endpoints drawn in proportion to degree; all scored. AUC: the chance "
             "that a real interaction scores above an added one (ties count half). Lowest 20%: "
             f"share of added pairs among the lowest-scored 20% (ties shared out evenly; "
             f"{fmt(result['base_share'])} if the score knew nothing). Zero: share of pairs with "
             "no score.", "",
             "| method | AUC | added among lowest 20% | zero |", "|---|---:|---:|---:|"]
    for method, row in result["rows"].items():
        lines.append(f"| `{method}` | {fmt(row['auc'])} | {fmt(row['low_share'])} | "
                     f"{fmt(row['zero'])} |")
    lines.append("")
    return lines


def report_synthetic(result):
    lines = ["### 5. The synthetic default network (known truth)", "",
             f"The README's default input: {result['interactions']:,} interactions of which "
             f"{result['false']:,} false (precision before filtering "
             f"{fmt(result['precision_before'])}), {result['missing']:,} true ones removed. "
             f"Filter: top {result['top']:,} ({int(100 * SYNTHETIC_KEEP_SHARE)}%) kept; precision "
             "and recall against the true interactions of the network. Add: precision among the "
             f"top k proposed pairs (random: {fmt(result['baseline'], 5)}).", "",
             "| method | filter precision | filter recall | false removed | "
             + " | ".join(f"add top {k:,}" for k in SYNTHETIC_ADD_K) + " |",
             "|---|---:|---:|---:|" + "---:|" * len(SYNTHETIC_ADD_K)]
    for method, row in result["rows"].items():
        lines.append(f"| `{method}` | {fmt(row['precision'])} | {fmt(row['recall'])} | "
                     f"{fmt(row['false_removed'])} | "
                     + " | ".join(fmt(row["add"][k]) for k in SYNTHETIC_ADD_K) + " |")
    lines.append("")
    return lines


def write_plot_data(results, data_dir):
    os.makedirs(data_dir, exist_ok=True)
    if "screen" in results:
        rows = results["screen"]["rows"]
        with open(os.path.join(data_dir, "screen.dat"), "w") as out:
            out.write("k " + " ".join(rows) + " random\n")
            for k in TOP_K:
                out.write(f"{k} " + " ".join(str(rows[m][k]) for m in rows)
                          + f" {results['screen']['baseline']}\n")
    if "half" in results:
        rows = results["half"]["rows"]
        with open(os.path.join(data_dir, "half.dat"), "w") as out:
            out.write("k " + " ".join(f"{m} {m}_sd" for m in rows) + "\n")
            for k in TOP_K:
                out.write(f"{k} " + " ".join(f"{rows[m][k][0]} {rows[m][k][1]}" for m in rows)
                          + "\n")
    if "complexes" in results:
        result = results["complexes"]
        with open(os.path.join(data_dir, "complexes.dat"), "w") as out:
            for name in dict.fromkeys(m for m, _ in result["rows"]):
                out.write(f'"{name}"\n')
                for share in KEEP_SHARES:
                    row = result["rows"][(name, share)]
                    out.write(f"{row['recall']} {row['precision']}\n")
                out.write("\n\n")
        with open(os.path.join(data_dir, "complexes_reference.dat"), "w") as out:
            row = result["reference"]["core"]
            out.write(f"{row['recall']} {row['precision']}\n")
    if "planted" in results:
        with open(os.path.join(data_dir, "planted.dat"), "w") as out:
            out.write("method auc low_share\n")
            for method, row in results["planted"]["rows"].items():
                out.write(f"{method} {row['auc']} {row['low_share']}\n")
    if "tenfold" in results:
        import holdout
        holdout.write_ten_fold_plot_data(results["tenfold"], os.path.join(data_dir, "tenfold.dat"))
    if "synthetic" in results:
        with open(os.path.join(data_dir, "synthetic.dat"), "w") as out:
            out.write("method filter_precision filter_recall add_precision_top_500\n")
            for method, row in results["synthetic"]["rows"].items():
                out.write(f"{method} {row['precision']} {row['recall']} {row['add'][500]}\n")


def report_summary(results):
    """One row per method with the headline figure of every test that ran."""
    columns = []
    if "screen" in results:
        columns.append(("1. HI-III hits, top 500", lambda m: fmt(results["screen"]["rows"][m][500])))
    if "half" in results:
        columns.append(("2. held-out half, top 500",
                        lambda m: fmt(results["half"]["rows"][m][500][0])))
    if "tenfold" in results:
        rows = results["tenfold"]["rows"]
        columns.append(("7. HuRI 10-fold, top 500",
                        lambda m: fmt(rows[m][500][0]) if m in rows else "-"))
    if "complexes" in results:
        columns.append(("3. complexes, top 50%: precision / recall",
                        lambda m: "{} / {}".format(fmt(results["complexes"]["rows"][(m, 0.5)]["precision"]),
                                                   fmt(results["complexes"]["rows"][(m, 0.5)]["recall"]))))
    if "planted" in results:
        columns.append(("4. planted noise, AUC", lambda m: fmt(results["planted"]["rows"][m]["auc"])))
    columns.append(("5. synthetic, top 80%: precision / recall",
                    lambda m: "{} / {}".format(fmt(results["synthetic"]["rows"][m]["precision"]),
                                               fmt(results["synthetic"]["rows"][m]["recall"]))))
    columns.append(("5. synthetic, add top 500",
                    lambda m: fmt(results["synthetic"]["rows"][m]["add"][500])))
    lines = ["### Summary", "",
             "| method | " + " | ".join(title for title, _ in columns) + " |",
             "|---|" + "---:|" * len(columns)]
    for method in results["synthetic"]["rows"]:
        lines.append(f"| `{method}` | " + " | ".join(cell(method) for _, cell in columns) + " |")
    baselines = []
    if "screen" in results:
        baselines.append(f"random precision {fmt(results['screen']['baseline'], 5)} in test 1")
    if "half" in results:
        baselines.append(f"{fmt(results['half']['baseline'], 5)} in test 2")
    if "complexes" in results:
        core = results["complexes"]["reference"]["core"]
        baselines.append(f"the authors' core set reaches {fmt(core['precision'])} / "
                         f"{fmt(core['recall'])} in test 3")
    baselines.append(f"{fmt(results['synthetic']['precision_before'])} of the synthetic "
                     "network is true before filtering")
    lines += ["", "For comparison: " + "; ".join(baselines) + ".", ""]
    return lines


def write_report(path, results, skipped, command, elapsed, pipeline):
    lines = ["# Evidence: refinement measured against independent truth", "",
             f"Generated by `{command}` in {elapsed:.0f} s ({pipeline.runs} runs of ppi-refine, "
             f"{pipeline.seconds:.0f} s in them); every run is `ppi-refine network.tsv "
             f"{ITERATIONS} METHOD THRESHOLD METHOD TOP refined.tsv` in its own directory, "
             "with the vornel of the same build. All random choices are seeded.", ""]
    for message in skipped:
        lines += [f"Skipped: {message}", ""]
    lines += report_summary(results)
    for test in TESTS:
        if test.key in results:
            lines += test.report(results[test.key])
    text = "\n".join(lines)
    write_atomically(path, lambda out: out.write(text.encode()))


def known_methods(build_dir):
    """The methods this vornel lists in its help: those of METHODS first, in that order, then
    any others it lists (a method added later is measured without editing this script)."""
    help_text = subprocess.run([os.path.join(build_dir, "vornel"), "--help"],
                               capture_output=True, text=True).stdout
    listed, in_methods = [], False
    for line in help_text.splitlines():
        if line.strip().lower().startswith("methods"):
            in_methods = True
        elif in_methods and line.startswith("  ") and line.split():
            listed.append(line.split()[0])
        elif in_methods and line.strip():
            in_methods = False
    if not listed:
        log("no method list found in vornel --help: measuring the usual methods")
        return METHODS
    missing = [m for m in METHODS if m not in listed]
    if missing:
        log(f"vornel --help does not list {', '.join(missing)}: skipped")
    return [m for m in METHODS if m in listed] + [m for m in listed if m not in METHODS]


def test_ten_fold(pipeline, data_dir, methods):
    import holdout  # holdout.py builds on this module, so it is imported when first used
    return holdout.test_ten_fold(pipeline, data_dir, methods)


def report_ten_fold(result):
    import holdout
    return holdout.report_ten_fold(result)


REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

HarnessTest = collections.namedtuple("HarnessTest", "key number run inputs report")

# The harness's tests in report order: key, number in the report, how to run it (with a
# pipeline, the data directory and the methods), its input files under the data directory (it
# is skipped with a message when one is absent) and its report section. Adding a test is adding
# its line here: the workflow runs one job per entry.
TESTS = [
    HarnessTest("screen", "1", test_independent_screen,
                ["human/hi-ii-14.tsv", "human/hi-iii.tsv"], report_screen),
    HarnessTest("half", "2", test_held_out_half, ["human/lit-bm-13.tsv"], report_half),
    HarnessTest("complexes", "3", test_known_complexes,
                ["yeast/krogan2006_extended.tsv", "yeast/krogan2006_core.tsv",
                 "yeast/cyc2008_complexes.tsv"], report_complexes),
    HarnessTest("planted", "4", test_planted_noise, ["human/lit-bm-13.tsv"], report_planted),
    HarnessTest("synthetic", "5",
                lambda pipeline, data_dir, methods: test_synthetic(pipeline, REPO, methods),
                [], report_synthetic),
    HarnessTest("weighted", "6", test_weighted_complexes,
                ["yeast/krogan2006_extended_scores.tsv", "yeast/cyc2008_complexes.tsv"], report_weighted),
    HarnessTest("tenfold", "7", test_ten_fold, ["human/huri.tsv"], report_ten_fold),
]


def test_named(key):
    for test in TESTS:
        if test.key == key:
            return test
    raise KeyError(f"no evidence test '{key}' (known: {', '.join(t.key for t in TESTS)})")


def run_one_test(key, build_dir, data_dir, work_dir):
    """Runs one registered test in work_dir (emptied first); returns its outcome: the result or
    the reason it was skipped, the runs of ppi-refine it made and when it started and ended."""
    test = test_named(key)
    outcome = {"key": key, "started": time.time(), "runs": 0, "seconds": 0.0}
    absent = [f for f in test.inputs if not os.path.exists(os.path.join(data_dir, f))]
    if absent:
        outcome["skipped"] = f"test {test.number}: {', '.join(absent)} not found under {data_dir}"
        log("skipped " + outcome["skipped"])
    else:
        shutil.rmtree(work_dir, ignore_errors=True)
        pipeline = Pipeline(os.path.abspath(build_dir), os.path.abspath(work_dir))
        methods = known_methods(build_dir)
        # Weighted methods are measured in test 6 only: the other tests' networks carry no
        # weights. Test 6 gets the weighted forms whose unweighted form the build also has.
        if key == "weighted":
            methods = [m for m in methods if m.endswith("-w") and m[:-len("-w")] in methods]
        else:
            methods = [m for m in methods if not m.endswith("-w")]
        outcome["result"] = test.run(pipeline, data_dir, methods)
        outcome.update(runs=pipeline.runs, seconds=pipeline.seconds)
    outcome["finished"] = time.time()
    if "result" in outcome:
        log(f"test {test.number} done in {outcome['finished'] - outcome['started']:.0f} s")
    return outcome


def write_atomically(path, write):
    """Calls write(file) on a temporary file beside path, then renames it into place, so a
    killed job never leaves a partial file under the final name."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    temporary = f"{path}.tmp-{os.getpid()}"
    try:
        with open(temporary, "wb") as out:
            write(out)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def report_outcomes(outcomes, results_dir, plot_data_dir, command):
    """evidence.md and the plot data from the outcomes of the tests, in registry order."""
    by_key = {outcome["key"]: outcome for outcome in outcomes}
    ran = [by_key[t.key] for t in TESTS if t.key in by_key]
    results = {o["key"]: o["result"] for o in ran if "result" in o}
    skipped = [o["skipped"] for o in ran if "skipped" in o]
    totals = types.SimpleNamespace(runs=sum(o["runs"] for o in ran),
                                   seconds=sum(o["seconds"] for o in ran))
    elapsed = max(o["finished"] for o in ran) - min(o["started"] for o in ran)
    shutil.rmtree(plot_data_dir, ignore_errors=True)
    write_plot_data(results, plot_data_dir)
    report = os.path.join(results_dir, "evidence.md")
    write_report(report, results, skipped, command, elapsed, totals)
    log(f"wrote {report}")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("run-test", help="run one test, save its outcome")
    one.add_argument("key", choices=[t.key for t in TESTS])
    one.add_argument("--build-dir", required=True)
    one.add_argument("--data-dir", required=True)
    one.add_argument("--work-dir", required=True)
    one.add_argument("--out", required=True, help="the outcome file (pickle)")
    report = commands.add_parser("report", help="write evidence.md from saved outcomes")
    report.add_argument("--results-dir", required=True)
    report.add_argument("--plot-data-dir", required=True)
    report.add_argument("--command", default="evidence/run.sh")
    report.add_argument("outcomes", nargs="+")
    args = parser.parse_args(argv)

    if args.command == "run-test":
        outcome = run_one_test(args.key, args.build_dir, args.data_dir, args.work_dir)
        write_atomically(args.out, lambda out: pickle.dump(outcome, out))
    else:
        outcomes = []
        for path in args.outcomes:
            with open(path, "rb") as saved:
                outcomes.append(pickle.load(saved))
        report_outcomes(outcomes, args.results_dir, args.plot_data_dir, args.command)


if __name__ == "__main__":
    main(sys.argv[1:])
