#!/usr/bin/env bash
# Speed and memory of ppi-refine's pair files, against peers timed in the same run on generated
# files (all under a temporary directory in /tmp, removed at the end):
#   - score-threshold selection over PPI_BENCH_TRIPLES triples (default 10 million, ~310 MB)
#     against awk doing the same selection and formatting, and against the formatted-input
#     oracle built with -O2 (targets: at least 10x and 5x faster); the three outputs must match;
#   - top-N selection of the first 1,000 pairs of that file (target: under 10 ms of work);
#   - line counting of a ~1 GB file against `wc -l` (target: at most 1.5x its time);
#   - peak resident memory of a whole ppi-refine run on those files (target: under 32 MiB).
# Times are reported as CPU time (user + system) and wall-clock time, each the best of a few
# runs; both ratios are printed.
# Usage: bench/refine/run_refine_bench.sh [build_dir]   (default: build; Release build first)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
helpers=$build/bench/refine
for tool in "$build/ppi-refine" "$helpers/pairs_bench" "$helpers/oracle_select" "$helpers/generate_scored_pairs"; do
  [[ -x $tool ]] || { echo "missing $tool: build the project first (cmake --build $build)" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "GNU time (/usr/bin/time) is needed for the memory figure" >&2; exit 1; }

work=$(mktemp -d /tmp/ppi-refine-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
triples=${PPI_BENCH_TRIPLES:-10000000}
threshold=0.5
top_n=1000

# Times a command: prints "wall cpu" in seconds (cpu = user + system). The command's standard
# output goes to $out. On a shared machine the CPU time is the steadier measure: other jobs
# stretch the wall-clock time of whichever program happens to run beside them.
out=/dev/null
time_once() {
  /usr/bin/time -o "$work/time.txt" -f "%e %U %S" "$@" >"$out" 2>>"$work/stderr.txt"
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' "$work/time.txt"
}
# Runs time_once $1 times (the first argument) and prints the smallest wall and cpu times.
best_of() {
  local rounds=$1 wall=999 cpu=999 w c
  shift
  for _ in $(seq "$rounds"); do
    [[ -n ${before_each:-} ]] && eval "$before_each"
    read -r w c <<<"$(time_once "$@")"
    wall=$(min "$wall" "$w")
    cpu=$(min "$cpu" "$c")
  done
  echo "$wall $cpu"
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "generating $triples scored pairs in $work ..."
"$helpers/generate_scored_pairs" "$triples" 42 >"$work/scored.txt"
bytes=$(stat -c %s "$work/scored.txt")
cat "$work/scored.txt" >/dev/null  # page cache: every reader below starts warm

# Score-threshold selection, best of 3 for ours and of 2 for the slower peers. The outputs are
# appended, so each run starts without one.
before_each='rm -f "$work/ours.txt"'
read -r ours ours_cpu <<<"$(best_of 3 "$helpers/pairs_bench" select "$threshold" "$work/scored.txt" "$work/ours.txt")"
before_each='rm -f "$work/oracle.txt"'
read -r oracle oracle_cpu <<<"$(best_of 2 "$helpers/oracle_select" "$threshold" "$work/scored.txt" "$work/oracle.txt")"
before_each=
read -r awk_time awk_cpu <<<"$(out="$work/awk.txt" best_of 2 awk "\$3>=$threshold {printf \"%s\\t%s\\t%.2E\\n\",\$1,\$2,\$3}" "$work/scored.txt")"
same=yes
cmp -s "$work/ours.txt" "$work/oracle.txt" || same="NO (oracle differs)"
cmp -s "$work/ours.txt" "$work/awk.txt" || same="NO (awk differs)"
kept=$(wc -l <"$work/ours.txt")
rm -f "$work/ours.txt" "$work/oracle.txt" "$work/awk.txt"

# Top-N: the time of the pass itself, as measured inside the process (best of 3).
top_ms=999
for _ in 1 2 3; do
  rm -f "$work/top.txt"
  ms=$("$helpers/pairs_bench" select "$top_n" "$work/scored.txt" "$work/top.txt" 2>&1 >/dev/null | awk '/work_ms/ { print $2 }')
  top_ms=$(min "$top_ms" "$ms")
done

# Line counting of ~1 GB: the scored-pair file repeated.
copies=$(( (1000000000 + bytes - 1) / bytes ))
for _ in $(seq "$copies"); do cat "$work/scored.txt"; done >"$work/big.txt"
big_bytes=$(stat -c %s "$work/big.txt")
cat "$work/big.txt" >/dev/null
read -r count count_cpu <<<"$(best_of 3 "$helpers/pairs_bench" count "$work/big.txt")"
read -r wc_time wc_cpu <<<"$(best_of 3 wc -l "$work/big.txt")"

# Peak memory of a whole run: the 1 GB file is the network, and a stand-in scorer hands over
# the 10-million-triple file as its scored pairs in both phases.
mkdir "$work/run"
printf '#!/bin/sh\nln -f "%s" "$5"\n' "$work/scored.txt" >"$work/run/vornel"
chmod +x "$work/run/vornel"
rss_kib=$(cd "$work/run" && /usr/bin/time -f "%M" -o "$work/rss.txt" "$build/ppi-refine" \
            "$work/big.txt" 10 m1 "$threshold" m2 "$top_n" out.txt >"$work/run.txt" && cat "$work/rss.txt")
grep -q "^#PPIs after adding new PPIs: $((kept + top_n))\$" "$work/run.txt" || same="NO (whole run)"

mb=$(awk -v b="$bytes" 'BEGIN { printf "%.0f", b / 1e6 }')
gb=$(awk -v b="$big_bytes" 'BEGIN { printf "%.2f", b / 1e9 }')
echo
echo "ppi-refine benchmark ($(date -u +%Y-%m-%d), $(nproc) cores; ratios are what count)"
echo "selection score>=$threshold, $triples triples ($mb MB, $kept kept), outputs identical: $same"
echo "  vs awk:        cpu ${ours_cpu} s | ${awk_cpu} s -> $(ratio "$awk_cpu" "$ours_cpu")x faster;" \
     "wall ${ours} s | ${awk_time} s -> $(ratio "$awk_time" "$ours")x (target >= 10)"
echo "  vs oracle -O2: cpu ${ours_cpu} s | ${oracle_cpu} s -> $(ratio "$oracle_cpu" "$ours_cpu")x faster;" \
     "wall ${ours} s | ${oracle} s -> $(ratio "$oracle" "$ours")x (target >= 5)"
echo "top-$top_n selection: ${top_ms} ms of work (target < 10 ms)"
echo "count_ppis, $gb GB: cpu ${count_cpu} s | wc -l ${wc_cpu} s -> $(ratio "$count_cpu" "$wc_cpu")x its time;" \
     "wall ${count} s | ${wc_time} s -> $(ratio "$count" "$wc_time")x (target <= 1.5)"
echo "peak RSS of a whole run: $(awk -v k="$rss_kib" 'BEGIN { printf "%.1f", k / 1024 }') MiB (target < 32 MiB)"
