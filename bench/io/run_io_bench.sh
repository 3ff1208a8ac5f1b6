#!/usr/bin/env bash
# Speed of the shared input layer, against peers timed in the same run (files under a temporary
# directory in /tmp, removed at the end):
#   - plain-file line reading (lines and their first two fields) against the line reader vornel
#     had before (kept in bench/io/old_line_reader.*): target at most 1.0x its time;
#   - ppi-refine's line count and score-threshold selection against a build of an earlier
#     commit, when one is given with --baseline BUILD_DIR: target at most 1.0x;
#   - gzip input: reading a .gz network against reading the plain file plus `gzip -dc FILE >
#     /dev/null`, and whole vornel runs (generated network, and the real human network when
#     ../shared/data is there) on the .gz file against the plain run plus `gzip -dc`: target at
#     most 1.0x.
# Times are the best of a few runs: CPU time (user + system) and wall-clock time; ratios of both.
# Usage: bench/io/run_io_bench.sh [--baseline BUILD_DIR] [build_dir]   (Release builds first)
# PPI_BENCH_LINES sets the generated network's size (default 3 million lines, ~41 MB); the
# reading rows use that network four times over and a scored-pair file of four times as many
# lines, so their times are well above the 10 ms resolution of GNU time.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
baseline=
if [[ ${1:-} == --baseline ]]; then
  baseline=$(cd "$2" && pwd)
  shift 2
fi
build=$(cd "${1:-$repo/build}" && pwd)
io_bench=$build/bench/io/io_bench
for tool in "$build/vornel" "$io_bench" "$build/bench/refine/pairs_bench" "$build/bench/refine/generate_scored_pairs"; do
  [[ -x $tool ]] || { echo "missing $tool: build the project first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/ppi-io-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
lines=${PPI_BENCH_LINES:-3000000}

time_once() {
  /usr/bin/time -o "$work/time.txt" -f "%e %U %S" "$@" >/dev/null 2>>"$work/stderr.txt"
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' "$work/time.txt"
}
best_of() {
  local rounds=$1 wall=999 cpu=999 w c
  shift
  for _ in $(seq "$rounds"); do
    read -r w c <<<"$(time_once "$@")"
    wall=$(min "$wall" "$w")
    cpu=$(min "$cpu" "$c")
  done
  echo "$wall $cpu"
}
# Times the commands in the arrays `ours` and `peer` alternately, $1 rounds, and prints the best
# "ours_wall ours_cpu peer_wall peer_cpu": alternating spreads the load of other jobs on the
# machine over both sides.
compare() {
  local ow=999 oc=999 pw=999 pc=999 w c
  for _ in $(seq "$1"); do
    [[ -n ${before_each:-} ]] && eval "$before_each"
    read -r w c <<<"$(time_once "${ours[@]}")"
    ow=$(min "$ow" "$w") oc=$(min "$oc" "$c")
    [[ -n ${before_each:-} ]] && eval "$before_each"
    read -r w c <<<"$(time_once "${peer[@]}")"
    pw=$(min "$pw" "$w") pc=$(min "$pc" "$c")
  done
  echo "$ow $oc $pw $pc"
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() {  # name, ours wall, ours cpu, peer wall, peer cpu
  printf "%-44s %7.3f %7.3f   %7.3f %7.3f   %5sx %5sx\n" "$1" "$2" "$3" "$4" "$5" "$(ratio "$2" "$4")" "$(ratio "$3" "$5")"
}

echo "generating a network of $lines lines in $work ..."
"$io_bench" network "$lines" 100000 1 >"$work/net.txt"
gzip -c "$work/net.txt" >"$work/net.txt.gz"
cat "$work/net.txt" "$work/net.txt" "$work/net.txt" "$work/net.txt" >"$work/big.txt"
gzip -c "$work/big.txt" >"$work/big.txt.gz"
"$build/bench/refine/generate_scored_pairs" $((4 * lines)) 42 >"$work/scored.txt"
cat "$work"/* >/dev/null  # page cache: warm starts

echo
printf "%-44s %15s   %15s   %13s\n" "" "ours wall  cpu" "peer wall  cpu" "ratio wall cpu"

ours=("$io_bench" lines "$work/big.txt") peer=("$io_bench" old-lines "$work/big.txt")
read -r ow oc pw pc <<<"$(compare 7)"
row "plain lines: io::line_reader vs old reader" "$ow" "$oc" "$pw" "$pc"

if [[ -n $baseline ]]; then
  ours=("$build/bench/refine/pairs_bench" count "$work/big.txt")
  peer=("$baseline/bench/refine/pairs_bench" count "$work/big.txt")
  read -r ow oc pw pc <<<"$(compare 7)"
  row "ppi-refine count vs baseline build" "$ow" "$oc" "$pw" "$pc"
  # The selection appends: each run starts without an output.
  before_each='rm -f "$work/out.txt"'
  ours=("$build/bench/refine/pairs_bench" select 0.5 "$work/scored.txt" "$work/out.txt")
  peer=("$baseline/bench/refine/pairs_bench" select 0.5 "$work/scored.txt" "$work/out.txt")
  read -r ow oc pw pc <<<"$(compare 5)"
  before_each=
  row "ppi-refine selection vs baseline build" "$ow" "$oc" "$pw" "$pc"
fi

read -r gw gc <<<"$(best_of 3 gzip -dc "$work/big.txt.gz")"
ours=("$io_bench" lines "$work/big.txt.gz") peer=("$io_bench" lines "$work/big.txt")
read -r ow oc pw pc <<<"$(compare 5)"
row "gzip lines vs plain lines + gzip -dc" "$ow" "$oc" "$(sum "$pw" "$gw")" "$(sum "$pc" "$gc")"

whole_run() {  # name, plain file, gzip file
  local gw gc ow oc pw pc
  read -r gw gc <<<"$(best_of 3 gzip -dc "$3")"
  ours=("$build/vornel" "$3" "$3" jaccard 1 "$work/gz.out") peer=("$build/vornel" "$2" "$2" jaccard 1 "$work/plain.out")
  read -r ow oc pw pc <<<"$(compare 3)"
  cmp -s "$work/gz.out" "$work/plain.out" || { echo "outputs differ for $1" >&2; exit 1; }
  row "$1" "$ow" "$oc" "$(sum "$pw" "$gw")" "$(sum "$pc" "$gc")"
}
whole_run "vornel jaccard, generated: gz vs plain+gzip" "$work/net.txt" "$work/net.txt.gz"
human=$repo/../shared/data/human/pp-pathways_ppi.tsv.gz
if [[ -f $human ]]; then
  cp "$human" "$work/human.tsv.gz"
  gzip -dc "$human" >"$work/human.tsv"
  whole_run "vornel jaccard, human: gz vs plain+gzip" "$work/human.tsv" "$work/human.tsv.gz"
else
  echo "skipped the human network: $human is not there"
fi
