#!/usr/bin/python3
"""How far a sampled `vornel evaluate` lies from the exact one on the networks of ../shared/data.

For every network found there, runs the default evaluation twice with the same seed, hold-outs
and planted pairs: exactly (--sample 1) and on a hashed share of the rows and listed pairs
(--sample SHARE), then compares each method's average precision (proposing) and AUC
(filtering), the figures the recommendations compare, against the sampling error the sampled
report states for them, and the two recommendations. Writes the Markdown table to --out and
prints it.

  /usr/bin/python3 evidence/sampling_check.py --vornel build/vornel [--share 0.3] [--repeats 5]
      [--threads 2] [--data ../shared/data] [--out evidence/results/sampling_check.md]
"""

import argparse
import os
import re
import subprocess
import sys

NETWORKS = [
    "yeast/collins2007.tsv", "yeast/gavin2006.tsv", "yeast/krogan2006_core.tsv", "yeast/krogan2006_extended.tsv",
    "human/lit-bm-13.tsv", "human/hi-ii-14.tsv", "human/hi-iii.tsv", "human/huri.tsv", "human/pp-pathways_ppi.tsv.gz",
]


def evaluate(vornel, path, share, repeats, threads):
    command = [vornel, "evaluate", "--sample", str(share), "--repeats", str(repeats), "-t", str(threads), path]
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)}: exit status {done.returncode}\n{done.stderr}")
    return done.stdout


def table_after(report, heading):
    """The rows of the first table after the line starting with `heading`: lists of cells."""
    lines = report.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(heading))
    rows = []
    for line in lines[start + 1:]:
        if line.startswith("|"):
            rows.append([cell.strip() for cell in line.strip("|").split("|")])
        elif rows:
            break
    return rows


def figures(report, heading, column):
    """method -> (mean, error or None) of `column` in the table after `heading`."""
    header, _, *rows = table_after(report, heading)
    at = header.index(column)
    error_at = len(header) - 1 if header[-1].endswith("sampling error") else None
    found = {}
    for row in rows:
        if row[0] == "random":
            continue
        mean = float(row[at].split("±")[0])
        error = float(row[error_at].lstrip("± ")) if error_at is not None else None
        found[row[0]] = (mean, error)
    return found


def recommendation(report, job):
    """The recommended method, with those the report finds within its sampling error: "ra (~learn)"."""
    found = re.search(rf"Recommendation for {job}: (\S+) \(([^)]*)\)", report)
    if not found:
        return "none"
    close = re.search(r"within the sampling error of it: (.*)", found.group(2))
    return found.group(1) + (" (~" + close.group(1).replace(", ", ", ~") + ")" if close else "")


def compare(exact, sampled, heading, column):
    """(methods within their error, methods, largest |difference| / error, largest |difference|)."""
    truth, estimate = figures(exact, heading, column), figures(sampled, heading, column)
    within, ratios, differences = 0, [], []
    for method, (mean, error) in estimate.items():
        difference = abs(mean - truth[method][0])
        differences.append(difference)
        # The report prints three decimals: a difference of up to 0.0005 is rounding.
        ratio = max(0.0, difference - 0.0005) / error if error else (0.0 if difference <= 0.0005 else float("inf"))
        ratios.append(ratio)
        within += ratio <= 1
    return within, len(estimate), max(ratios), max(differences)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vornel", required=True)
    parser.add_argument("--share", type=float, default=0.3)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--data", default=os.path.join(os.path.dirname(__file__), "..", "..", "shared", "data"))
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "results", "sampling_check.md"))
    args = parser.parse_args()
    lines = [
        f"# Sampled against exact `vornel evaluate` (--sample {args.share}, {args.repeats} repeats, seed 1)",
        "",
        "Within: methods whose sampled mean lies within its stated sampling error (the half-width of a 95%"
        " interval) of the exact mean, after the 0.0005 of the reports' rounding; worst: the largest such"
        " distance in stated errors, and the largest difference itself.",
        "",
        "A sampled recommendation lists in brackets (~) the methods it finds within the sampling error.",
        "",
        "| network | AP within | AP worst | proposing: exact / sampled | AUC within | AUC worst |"
        " filtering: exact / sampled |",
        "|---|---|---|---|---|---|---|",
    ]
    for name in NETWORKS:
        path = os.path.join(args.data, name)
        if not os.path.exists(path):
            print(f"sampling_check: {path} is absent; skipped", file=sys.stderr)
            continue
        print(f"sampling_check: {name}", file=sys.stderr, flush=True)
        exact = evaluate(args.vornel, path, 1, args.repeats, args.threads)
        sampled = evaluate(args.vornel, path, args.share, args.repeats, args.threads)
        ap = compare(exact, sampled, "## Proposing", "AP")
        auc = compare(exact, sampled, "## Filtering", "AUC")
        lines.append(
            f"| {name} | {ap[0]} of {ap[1]} | {ap[2]:.1f} ({ap[3]:.3f}) | {recommendation(exact, 'proposing')} / "
            f"{recommendation(sampled, 'proposing')} | {auc[0]} of {auc[1]} | {auc[2]:.1f} ({auc[3]:.3f}) | "
            f"{recommendation(exact, 'filtering')} / {recommendation(sampled, 'filtering')} |")
    text = "\n".join(lines) + "\n"
    with open(args.out, "w") as out:
        out.write(text)
    print(text)


if __name__ == "__main__":
    main()
