#!/usr/bin/env bash
# Checks that the unweighted methods write byte-identical files to those of vornel as it was
# before interaction weights were read (commit b3b9ccc), on generated networks with and without
# a third column (numeric and not) and on the real networks of ../shared/data, for every
# unweighted method, scoring listed pairs and proposing candidates. Builds the old commit itself.
#
# Usage: bench/scorer/check_unweighted_identical.sh [build_dir]   (default: build)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
data=$(cd "$repo/.." && pwd)/shared/data
old_commit=b3b9ccc
methods=(cn jaccard dice cd aa ra pcd wcd l3)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "check: building vornel at $old_commit and the current tree" >&2
mkdir -p "$work/old-src"
git -C "$repo" archive "$old_commit" | tar -x -C "$work/old-src"
cmake -S "$work/old-src" -B "$work/old-build" -DCMAKE_BUILD_TYPE=Release -DPPI_BUILD_TESTS=OFF \
    -DPPI_BUILD_BENCH=OFF >/dev/null
cmake --build "$work/old-build" -j2 --target vornel >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target vornel >/dev/null
old=$work/old-build/vornel
new=$build/vornel

python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
nets=$work/nets
mkdir -p "$nets"
"$python" "$repo/tools/synth_network.py" --proteins 2000 --interactions 10000 --seed 7 \
    --false-share 0.2 --missing-share 0.1 --out-dir "$work/synth" >/dev/null
cp "$work/synth/network.tsv" "$nets/synth_two_columns.tsv"
# The same interactions with seeded weights, with a word, and with repeats in both orientations.
awk 'BEGIN { srand(5) } { printf "%s\t%s\t%.3f\n", $1, $2, rand() }' "$work/synth/network.tsv" \
    >"$nets/synth_weights.tsv"
awk '{ print $1 "\t" $2 "\tevidence" }' "$work/synth/network.tsv" >"$nets/synth_words.tsv"
awk 'BEGIN { srand(6) } { printf "%s %s %.2f\n", $1, $2, rand(); if (NR % 3 == 0) printf "%s %s %.2f\n", $2, $1, rand() }' \
    "$work/synth/network.tsv" >"$nets/synth_weighted_repeats.tsv"

real=()
if [[ -d $data ]]; then
    for f in "$data"/yeast/{krogan2006_extended,krogan2006_extended_scores,krogan2006_core,gavin2006,collins2007}.tsv \
             "$data"/human/{hi-ii-14,hi-iii,lit-bm-13}.tsv; do
        [[ -f $f ]] && real+=("$f")
    done
    # The large human network: listed pairs only (its l3 candidates alone are 4.9 GB of text).
    [[ -f $data/human/pp-pathways_ppi.tsv.gz ]] && gzip -dc "$data/human/pp-pathways_ppi.tsv.gz" >"$work/pp-pathways_ppi.tsv"
else
    echo "check: $data not found: real networks skipped" >&2
fi

passed=0
failed=0
compare() {  # label, then vornel's arguments after the program name
    local label=$1
    shift
    local args=("$@")
    local n=${#args[@]}
    args[n - 1]=$work/old.out
    "$old" --threads 2 "${args[@]}" 2>/dev/null || true
    args[n - 1]=$work/new.out
    "$new" --threads 2 "${args[@]}" 2>/dev/null || true
    if [[ -f $work/old.out ]] && cmp -s "$work/old.out" "$work/new.out"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "check: DIFFERENT: $label" >&2
    fi
    rm -f "$work/old.out" "$work/new.out"
}

for net in "$nets"/*.tsv "${real[@]}"; do
    for method in "${methods[@]}"; do
        for rounds in 1 3; do
            [[ $rounds == 3 && $method != wcd ]] && continue
            compare "$(basename "$net") listed $method $rounds" "$net" "$net" "$method" "$rounds" out
            compare "$(basename "$net") candidates $method $rounds" "$net" NULL "$method" "$rounds" out
        done
    done
done
# Listed pairs from another file with a third column, on a network without one and the reverse.
for method in "${methods[@]}"; do
    compare "synth weights as pairs $method" "$nets/synth_two_columns.tsv" "$nets/synth_weights.tsv" "$method" 2 out
    compare "synth pairs on weighted $method" "$nets/synth_weights.tsv" "$nets/synth_two_columns.tsv" "$method" 2 out
    if [[ -f $work/pp-pathways_ppi.tsv ]]; then
        compare "pp-pathways listed $method" "$work/pp-pathways_ppi.tsv" "$work/pp-pathways_ppi.tsv" "$method" 2 out
    fi
done

echo "unweighted methods against $old_commit: $passed passed, $failed failed"
[[ $failed == 0 ]]
