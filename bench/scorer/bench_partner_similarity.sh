#!/usr/bin/env bash
# Cost of l3n, sim and mps against l3 in the same run, on the human pathways network of
# ../shared/data (skipped with a message when absent): proposing candidates and scoring the
# network's own interactions, `vornel -t THREADS NETWORK PAIRS METHOD 1 /dev/null` under GNU
# time, one after the other. Prints, per method and mode, the scoring processor seconds (as
# vornel reports them on standard error), the whole run's processor seconds (user + system),
# wall seconds, peak memory and both ratios to l3. With OLD_VORNEL set to another build's
# binary, its three methods are run in the same run too (rows marked "old").
#
# Usage: bench/scorer/bench_partner_similarity.sh [build_dir] [threads]   (default: build 2)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build}
threads=${2:-2}
data=$(cd "$repo/.." && pwd)/shared/data
network_gz=$data/human/pp-pathways_ppi.tsv.gz
if [[ ! -f $network_gz ]]; then
    echo "bench: $network_gz not found: nothing to measure" >&2
    exit 0
fi
command -v /usr/bin/time >/dev/null || { echo "bench: GNU time missing (apt-get install time)" >&2; exit 1; }
new=$build/vornel
[[ -x $new ]] || { echo "bench: $new not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gzip -dc "$network_gz" >"$work/network.tsv"

# Prints "scoring_cpu whole_cpu wall peak_mb" of one run.
measure() {  # binary pairs method
    /usr/bin/time -f "%U %S %e %M" -o "$work/time" "$1" -t "$threads" "$work/network.tsv" "$2" "$3" 1 /dev/null \
        2>"$work/err"
    local scoring
    scoring=$(sed -n 's/.*non-zero score after .* (cpu \([0-9.]*\) s).*/\1/p' "$work/err" | tail -1)
    read -r user sys wall peak <"$work/time"
    awk -v s="$scoring" -v u="$user" -v y="$sys" -v w="$wall" -v p="$peak" \
        'BEGIN { printf "%s %.2f %s %.0f\n", s, u + y, w, p / 1024 }'
}

printf '%-10s %-4s %-4s %12s %12s %8s %8s %10s %10s\n' mode build method "scoring cpu" "whole cpu" wall "peak MB" \
    "x l3 scor" "x l3 whole"
for mode in candidates listed; do
    pairs=NULL
    [[ $mode == listed ]] && pairs=$work/network.tsv
    read -r l3_scoring l3_whole l3_wall l3_peak < <(measure "$new" "$pairs" l3)
    printf '%-10s %-4s %-4s %12s %12s %8s %8s %10s %10s\n' "$mode" new l3 "$l3_scoring" "$l3_whole" "$l3_wall" \
        "$l3_peak" 1 1
    runs=("new $new")
    [[ -n ${OLD_VORNEL:-} ]] && runs+=("old $OLD_VORNEL")
    for run in "${runs[@]}"; do
        for method in l3n sim mps; do
            read -r scoring whole wall peak < <(measure "${run#* }" "$pairs" "$method")
            awk -v m="$mode" -v b="${run%% *}" -v me="$method" -v s="$scoring" -v w="$whole" -v wa="$wall" \
                -v p="$peak" -v ls="$l3_scoring" -v lw="$l3_whole" \
                'BEGIN { printf "%-10s %-4s %-4s %12s %12s %8s %8s %9.2fx %9.2fx\n", m, b, me, s, w, wa, p, s / ls, w / lw }'
        done
    done
done
