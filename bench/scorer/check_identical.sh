#!/usr/bin/env bash
# Checks that every method of vornel (the weighted ones, learn and auto included) writes
# byte-identical output files to those of another commit's build (default 1f495de), scoring
# listed pairs and proposing candidates, on a generated network with weights and on the small
# real networks of ../shared/data (yeast and human, weighted where they carry a score column);
# and that a default `vornel evaluate` report is byte-identical. Builds the other commit itself.
#
# Usage: bench/scorer/check_identical.sh [build_dir] [commit]   (defaults: build, 1f495de)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
base_commit=${2:-1f495de}
data=$(cd "$repo/.." && pwd)/shared/data

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "check: building vornel at $base_commit and the current tree" >&2
mkdir -p "$work/base-src"
git -C "$repo" archive "$base_commit" | tar -x -C "$work/base-src"
cmake -S "$work/base-src" -B "$work/base-build" -DCMAKE_BUILD_TYPE=Release -DPPI_BUILD_TESTS=OFF \
    -DPPI_BUILD_BENCH=OFF -DPPI_BUILD_PYTHON=OFF >/dev/null
cmake --build "$work/base-build" -j2 --target vornel >/dev/null
cmake --build "$build" -j2 --target vornel >/dev/null
base=$work/base-build/vornel
new=$build/vornel
mapfile -t methods < <("$new" --help | awk '/^Methods/ { on = 1; next } on && /^  [a-z]/ { print $1 } on && /^$/ { exit }')
[[ ${#methods[@]} -ge 20 ]] || { echo "check: could not list the methods from vornel --help" >&2; exit 2; }

python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
nets=()
"$python" "$repo/tools/synth_network.py" --proteins 1500 --interactions 7000 --seed 11 \
    --false-share 0.2 --missing-share 0.1 --out-dir "$work/synth" >/dev/null
awk 'BEGIN { srand(5) } { printf "%s\t%s\t%.3f\n", $1, $2, rand() }' "$work/synth/network.tsv" >"$work/synth_weights.tsv"
nets+=("$work/synth_weights.tsv")
if [[ -d $data ]]; then
    for f in "$data"/yeast/{krogan2006_core,krogan2006_extended_scores,collins2007}.tsv "$data"/human/{hi-iii,lit-bm-13}.tsv; do
        [[ -f $f ]] && nets+=("$f")
    done
else
    echo "check: $data not found: real networks skipped" >&2
fi

passed=0
failed=0
same() {  # label, base file, new file
    if [[ -f $2 ]] && cmp -s "$2" "$3"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "check: DIFFERENT: $1" >&2
    fi
    rm -f "$2" "$3"
}
compare() {  # label, then vornel's arguments after the program name (the last: OUTPUT)
    local label=$1
    shift
    local args=("$@")
    local n=${#args[@]}
    args[n - 1]=$work/base.out
    "$base" --threads 2 "${args[@]}" 2>/dev/null || true
    args[n - 1]=$work/new.out
    "$new" --threads 2 "${args[@]}" 2>/dev/null || true
    same "$label" "$work/base.out" "$work/new.out"
}

for net in "${nets[@]}"; do
    name=$(basename "$net")
    for method in "${methods[@]}"; do
        for rounds in 1 3; do
            [[ $rounds == 3 && $method != wcd* && $method != auto ]] && continue
            compare "$name listed $method $rounds" "$net" "$net" "$method" "$rounds" out
            compare "$name candidates $method $rounds" "$net" NULL "$method" "$rounds" out
        done
    done
    # gzip and GraphML OUTPUT and a bounded run go through the other writers.
    compare "$name candidates l3 .gz" "$net" NULL l3 1 out.gz
    compare "$name candidates cn .graphml" "$net" NULL cn 1 out.graphml
    compare "$name candidates ra --top 500" --top 500 "$net" NULL ra 1 out
done
# The default evaluation report, on two small networks.
for net in "${nets[@]:0:2}"; do
    "$base" evaluate --threads 2 "$net" >"$work/base.out" 2>/dev/null || true
    "$new" evaluate --threads 2 "$net" >"$work/new.out" 2>/dev/null || true
    same "$(basename "$net") evaluate" "$work/base.out" "$work/new.out"
done

echo "every method against $base_commit: $passed passed, $failed failed"
[[ $failed == 0 ]]
