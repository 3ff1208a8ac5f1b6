#!/usr/bin/python3
"""Benchmark of `vornel evaluate` on the human network against one `vornel ... l3` run.

Builds nothing: it runs an existing Release build (build/ at the repository root, or
--build-dir). In one run it measures, under GNU time, `vornel evaluate` (default: every default
method, 5 repeats, both jobs, with --plot when gnuplot is there) and, as the peer, one CLI run
proposing l3 candidates of the same network (`vornel -t T NETWORK NULL l3 1 OUT`), and reports
wall seconds, peak memory (maximum resident set size) and the ratios evaluate/peer of both.
Evaluating keeps no record, so its peak memory should stay below the peer's, which holds every
l3 candidate. Skips, saying so, when ../shared/data/human is absent.

  /usr/bin/python3 bench/scorer/bench_evaluate.py [--build-dir build] [--threads 2]
      [--repeats 5] [--methods cn,jaccard,...] [--without-learn] [--no-plot]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
HUMAN = os.path.join(REPO, "..", "shared", "data", "human", "pp-pathways_ppi.tsv.gz")
DEFAULT_METHODS = ["cn", "jaccard", "dice", "cd", "aa", "ra", "pcd", "wcd", "l3", "learn"]
GNU_TIME = "/usr/bin/time"


def log(text):
    print(text, file=sys.stderr, flush=True)


def timed(command, work_dir, name):
    """Runs a command under GNU time: (wall seconds, peak MB); exits when it fails."""
    stats = os.path.join(work_dir, name + ".time")
    start = time.perf_counter()
    with open(os.path.join(work_dir, name + ".out"), "w") as out, \
            open(os.path.join(work_dir, name + ".err"), "w") as err:
        code = subprocess.run([GNU_TIME, "-f", "%M", "-o", stats] + command, stdout=out, stderr=err).returncode
    wall = time.perf_counter() - start
    if code != 0:
        with open(os.path.join(work_dir, name + ".err")) as err:
            raise SystemExit(f"bench: failed ({code}): {' '.join(command)}\n{err.read().strip()}")
    with open(stats) as f:
        peak_kb = int(f.read().split()[-1])
    return wall, peak_kb / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build"))
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--methods", default=",".join(DEFAULT_METHODS))
    parser.add_argument("--without-learn", action="store_true", help="leave learn out of --methods")
    parser.add_argument("--no-plot", action="store_true", help="do not draw the precision plot")
    args = parser.parse_args()

    if not os.path.exists(HUMAN):
        log(f"bench: skipped: the human network {os.path.normpath(HUMAN)} is absent")
        return 0
    vornel = os.path.join(args.build_dir, "vornel")
    if not os.access(vornel, os.X_OK):
        raise SystemExit(f"bench: no {vornel}: build Release first (cmake --build build -j2)")
    if not os.access(GNU_TIME, os.X_OK):
        raise SystemExit("bench: needs GNU time (apt-get install time)")
    methods = [m for m in args.methods.split(",") if m and not (args.without_learn and m == "learn")]

    with tempfile.TemporaryDirectory(prefix="bench_evaluate.") as work:
        evaluate = [vornel, "evaluate", "-t", str(args.threads), "--repeats", str(args.repeats),
                    "--methods", ",".join(methods)]
        plotting = not args.no_plot and shutil.which("gnuplot") is not None
        if plotting:
            evaluate += ["--plot", os.path.join(work, "precision.png")]
        peer = [vornel, "-t", str(args.threads), HUMAN, "NULL", "l3", "1", os.path.join(work, "l3.tsv")]
        log(f"bench: peer: {' '.join(peer)}")
        peer_wall, peer_mb = timed(peer, work, "peer")
        os.remove(os.path.join(work, "l3.tsv"))
        log(f"bench: evaluate: {' '.join(evaluate + [HUMAN])}")
        wall, mb = timed(evaluate + [HUMAN], work, "evaluate")
        with open(os.path.join(work, "evaluate.out")) as f:
            report = f.read()
        if "## Proposing" not in report:
            raise SystemExit("bench: the evaluation report has no proposal table")
        print(f"{time.strftime('%Y-%m-%d %H:%M')} vornel {args.build_dir}, {args.threads} threads, "
              f"{os.cpu_count()} cores; human network (21,538 proteins, 338,636 interactions)")
        print(f"  peer: one l3 run, every candidate sorted and written: {peer_wall:8.1f} s {peer_mb:8.0f} MB")
        print(f"  evaluate, {len(methods)} methods ({','.join(methods)}), {args.repeats} repeats, both jobs"
              f"{', plot' if plotting else ''}: {wall:8.1f} s {mb:8.0f} MB")
        print(f"  evaluate / peer: time {wall / peer_wall:.2f}, peak memory {mb / peer_mb:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
