#!/usr/bin/env bash
# Regenerates the evidence: runs ppi-refine and vornel on the real networks of ../shared/data (when
# present) and on the synthetic default network, writes evidence/results/evidence.md and its PNG plots.
#
# Usage: evidence/run.sh [build_dir]     (default build_dir: build; built when needed)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
data=$(cd "$repo/.." && pwd)/shared/data
work=$repo/evidence/work
results=$repo/evidence/results

if [[ ! -x $build/ppi-refine || ! -x $build/vornel ]]; then
    echo "evidence: building ppi-refine and vornel in $build" >&2
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j2 --target ppi-refine vornel >/dev/null
fi

if [[ ! -d $data ]]; then
    echo "evidence: $data not found: tests 1-4 (real networks) are skipped" >&2
fi

if ! command -v gnuplot >/dev/null; then
    if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
        echo "evidence: installing gnuplot-nox for the plots" >&2
        apt-get update -qq >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gnuplot-nox >/dev/null
    else
        echo "evidence: gnuplot not found and cannot be installed here: plots are skipped" >&2
    fi
fi

python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3

rm -rf "$work"
mkdir -p "$work" "$results"
"$python" "$repo/evidence/evidence.py" --build-dir "$build" --data-dir "$data" \
    --work-dir "$work/runs" --results-dir "$results" --plot-data-dir "$work/plot-data" \
    --command "evidence/run.sh"

if command -v gnuplot >/dev/null; then
    rm -f "$results"/*.png
    gnuplot -e "datadir='$work/plot-data'; outdir='$results'" "$repo/evidence/plots.gp"
    echo "evidence: plots in $results" >&2
fi
