#!/usr/bin/env bash
# The main job on the bundled default input: generate a seeded PPI-like network with known truth
# (2,000 proteins, 10,000 true interactions, 20% false ones added, 10% true ones removed), refine it
# with ppi-refine and vornel exactly as a user would, and report what the refinement got right.
#
# Usage: examples/run_default.sh [build_dir]     (default build_dir: build; built when needed)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac

filter_method=wcd
filter_min_score=0.2
add_method=l3
add_top=500
iterations=2

if [[ ! -x $build/ppi-refine || ! -x $build/vornel ]]; then
    echo "== building ppi-refine and vornel in $build"
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j2 --target ppi-refine vornel >/dev/null
fi

work=$build/example
mkdir -p "$work"
python3 "$repo/tools/synth_network.py" --proteins 2000 --interactions 10000 --seed 7 \
    --false-share 0.2 --missing-share 0.1 --out-dir "$work"

cd "$work"
"$build/ppi-refine" network.tsv $iterations $filter_method $filter_min_score \
    $add_method $add_top refined.tsv | tee refine.log
echo

python3 - "$filter_method" "$filter_min_score" "$add_method" "$add_top" <<'PY'
import os
import sys

filter_method, filter_min_score, add_method, add_top = sys.argv[1:5]


def pairs(path):
    with open(path) as lines:
        return [frozenset(line.split()[:2]) for line in lines if line.strip()]


def report_count(log, label):
    for line in log:
        if line.startswith(label):
            return int(line.rsplit(":", 1)[1])
    sys.exit(f"run_default: no '{label}' line in the ppi-refine report")


with open("refine.log") as log_file:
    log = log_file.readlines()
errors = [line.strip() for line in log if line.startswith("Error:")]
if errors or not os.path.exists("refined.tsv"):
    sys.exit("run_default: the refinement failed: " + ("; ".join(errors) or "no refined.tsv"))
filtered_count = report_count(log, "#PPIs after filtering:")
refined = pairs("refined.tsv")
kept, added = set(refined[:filtered_count]), refined[filtered_count:]
network = set(pairs("network.tsv"))
false = set(pairs("false.tsv"))
missing = set(pairs("missing.tsv"))
true_observed = network - false

false_removed = len(false - kept)
true_kept = len(true_observed & kept)
added_true = sum(1 for pair in added if pair in missing)
print(f"Filter phase ({filter_method}, minimum score {filter_min_score}): "
      f"kept {len(kept)} of {len(network)} interactions")
print(f"  false interactions removed: {false_removed} of {len(false)} "
      f"({100.0 * false_removed / len(false):.1f}%)")
print(f"  true interactions kept:     {true_kept} of {len(true_observed)} "
      f"({100.0 * true_kept / len(true_observed):.1f}%)")
print(f"  share of false interactions: {100.0 * len(false) / len(network):.1f}% before, "
      f"{100.0 * len(kept & false) / max(1, len(kept)):.1f}% after")
print(f"Add phase ({add_method}, top {add_top}): {len(added)} pairs proposed")
print(f"  truly missing interactions among them: {added_true} "
      f"({100.0 * added_true / max(1, len(added)):.1f}%; "
      f"{len(missing)} were removed)")
PY
