#!/usr/bin/env bash
# Regenerates the evidence: runs ppi-refine and vornel on the real networks of ../shared/data (when
# present) and on the synthetic default network, writes evidence/results/evidence.md and its PNG plots.
# The tests run as the Snakemake workflow evidence/Snakefile on two cores, one job per test; what is
# up to date (same programs, data and evidence.py) is kept, an interrupted run resumes.
#
# Usage: evidence/run.sh [build_dir [snakemake options...]]   (default build_dir: build; built when
#        needed; e.g. evidence/run.sh build --forceall reruns every test)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
data=$(cd "$repo/.." && pwd)/shared/data

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

if ! command -v snakemake >/dev/null; then
    if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
        echo "evidence: installing snakemake to run the tests" >&2
        apt-get update -qq >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends snakemake >/dev/null
    else
        echo "evidence: snakemake not found: apt-get install snakemake" >&2
        exit 1
    fi
fi

shift $(( $# > 0 ? 1 : 0 ))
snakemake -s "$repo/evidence/Snakefile" --directory "$repo/evidence" --cores 2 --quiet \
    --config "build_dir=$build" "data_dir=$data" command=evidence/run.sh "$@"
