#!/usr/bin/env bash
# Checks that l3n, sim and mps write byte-identical files to those of vornel at commit 1f495de
# (before their row kernels were rewritten), proposing candidates and scoring listed pairs, on
# 1, 2, 3 and 8 threads: generated networks (one of them hub-rich), the yeast and human networks
# of ../shared/data, and listed pairs taken from another network (mostly non-interacting).
# The human pathways network's candidates (4.9 GB of text per method) are compared only with
# --large, on 2 threads. Builds the old commit itself unless OLD_VORNEL names its binary.
#
# Usage: bench/scorer/check_partner_similarity_identical.sh [--large] [build_dir]   (default: build)
set -euo pipefail

large=0
if [[ ${1:-} == --large ]]; then
    large=1
    shift
fi
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
data=$(cd "$repo/.." && pwd)/shared/data
old_commit=1f495de
methods=(l3n sim mps)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

old=${OLD_VORNEL:-}
if [[ -z $old ]]; then
    echo "check: building vornel at $old_commit" >&2
    mkdir -p "$work/old-src"
    git -C "$repo" archive "$old_commit" | tar -x -C "$work/old-src"
    cmake -S "$work/old-src" -B "$work/old-build" -DCMAKE_BUILD_TYPE=Release -DPPI_BUILD_TESTS=OFF \
        -DPPI_BUILD_BENCH=OFF >/dev/null
    cmake --build "$work/old-build" -j2 --target vornel >/dev/null
    old=$work/old-build/vornel
fi
echo "check: building the current tree in $build" >&2
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target vornel >/dev/null
new=$build/vornel

python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
nets=$work/nets
mkdir -p "$nets"
"$python" "$repo/tools/synth_network.py" --proteins 2000 --interactions 10000 --seed 7 \
    --false-share 0.2 --missing-share 0.1 --out-dir "$work/synth" >/dev/null
cp "$work/synth/network.tsv" "$nets/synth.tsv"
cp "$work/synth/missing.tsv" "$nets/synth_missing_pairs.tsv"
# Hub-rich: a few proteins interacting with a large share of the others.
awk 'BEGIN { srand(3); for (i = 0; i < 3000; ++i) printf "P%d\tP%d\n", int(rand() * 400), int(rand() * 400);
             for (h = 0; h < 5; ++h) for (i = 0; i < 400; i += 2) printf "H%d\tP%d\n", h, i + h % 2 }' \
    >"$nets/hubs.tsv"

real=()
if [[ -d $data ]]; then
    for f in "$data"/yeast/{krogan2006_extended,krogan2006_core,gavin2006,collins2007}.tsv \
             "$data"/human/{hi-ii-14,hi-iii,lit-bm-13,huri}.tsv; do
        [[ -f $f ]] && real+=("$f")
    done
    [[ -f $data/human/pp-pathways_ppi.tsv.gz ]] && gzip -dc "$data/human/pp-pathways_ppi.tsv.gz" >"$work/pp-pathways_ppi.tsv"
else
    echo "check: $data not found: real networks skipped" >&2
fi

passed=0
failed=0
compare() {  # label, threads, then vornel's arguments after the program name
    local label=$1 threads=$2
    shift 2
    local args=("$@")
    local n=${#args[@]}
    args[n - 1]=$work/old.out
    "$old" --threads "$threads" "${args[@]}" 2>/dev/null || true
    args[n - 1]=$work/new.out
    "$new" --threads "$threads" "${args[@]}" 2>/dev/null || true
    if [[ -s $work/old.out ]] && cmp -s "$work/old.out" "$work/new.out"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "check: DIFFERENT: $label, $threads threads" >&2
    fi
    rm -f "$work/old.out" "$work/new.out"
}

for net in "$nets"/synth.tsv "$nets"/hubs.tsv "${real[@]}"; do
    for method in "${methods[@]}"; do
        for threads in 1 2 3 8; do
            compare "$(basename "$net") listed $method" "$threads" "$net" "$net" "$method" 1 out
            compare "$(basename "$net") candidates $method" "$threads" "$net" NULL "$method" 1 out
        done
    done
done
for method in "${methods[@]}"; do
    if [[ -f $data/human/hi-iii.tsv && -f $data/human/hi-ii-14.tsv ]]; then
        compare "hi-iii pairs on hi-ii-14 $method" 2 "$data/human/hi-ii-14.tsv" "$data/human/hi-iii.tsv" "$method" 1 out
    fi
    if [[ -f $nets/synth_missing_pairs.tsv ]]; then
        compare "synth missing pairs $method" 3 "$nets/synth.tsv" "$nets/synth_missing_pairs.tsv" "$method" 1 out
    fi
    if [[ -f $work/pp-pathways_ppi.tsv ]]; then
        compare "pp-pathways listed $method" 2 "$work/pp-pathways_ppi.tsv" "$work/pp-pathways_ppi.tsv" "$method" 1 out
        if [[ $large == 1 ]]; then
            compare "pp-pathways candidates $method" 2 "$work/pp-pathways_ppi.tsv" NULL "$method" 1 out
        fi
    fi
done

echo "l3n, sim and mps against $old_commit: $passed passed, $failed failed"
[[ $failed == 0 ]]
