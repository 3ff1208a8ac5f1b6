#!/usr/bin/python3
"""Benchmark of vornel against peers measured in the same run.

Builds nothing: it runs an existing Release build (build/ at the repository root, or
--build-dir). Generates PPI-like networks with tools/synth_network.py (cached in the work
directory), and uses the real human network from ../shared/data when it is there. For every
size, method and mode (candidates: all candidate pairs proposed, sorted and written; network:
all interactions scored, sorted and written) it runs vornel on all cores and on one thread, and
the peers (scipy sparse products, python3-igraph similarity functions, networkx) where they
have the method, each writing its sorted output too. It reports wall seconds, pairs per
second, peak memory (maximum resident set size from GNU time), the 1 -> 2 thread speed-up and
the ratio peer time / vornel time, and checks that both wrote the same pairs.

Runnable in parts: --sizes, --methods, --modes, --peers. Example:
  /usr/bin/python3 bench/scorer/bench_scorer.py --sizes medium --methods jaccard,aa
"""

import argparse
import filecmp
import gzip
import os
import shutil
import subprocess
import sys
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SIZES = {"small": (2000, 10000), "medium": (10000, 100000), "large": (20000, 500000), "human": None}
HUMAN = os.path.join(REPO, "..", "shared", "data", "human", "pp-pathways_ppi.tsv.gz")
ALL_METHODS = ["cn", "jaccard", "dice", "cd", "aa", "ra", "pcd", "wcd", "l3"]
PEER_METHODS = {
    "scipy": {"cn", "jaccard", "dice", "aa", "ra", "l3"},
    "igraph": {"jaccard", "dice", "aa"},
    "networkx": {"cn", "jaccard", "aa", "ra"},
}
PYTHON = "/usr/bin/python3"
GNU_TIME = "/usr/bin/time"


def log(text):
    print(text, file=sys.stderr, flush=True)


DEBIAN_PACKAGES = {"scipy": "python3-scipy", "igraph": "python3-igraph", "networkx": "python3-networkx"}


def ensure_peers(peers):
    """Installs the peers' Debian packages (and GNU time) when they are missing and we are root."""
    modules = {"scipy": "scipy", "igraph": "igraph", "networkx": "networkx"}
    missing = [p for p in peers
               if subprocess.run([PYTHON, "-c", f"import numpy, {modules[p]}"], capture_output=True).returncode]
    if not missing and os.access(GNU_TIME, os.X_OK):
        return
    packages = ["python3-numpy", "time"] + [DEBIAN_PACKAGES[p] for p in missing]
    if os.geteuid() != 0 or not shutil.which("apt-get"):
        raise SystemExit(f"bench: missing {', '.join(packages)}: apt-get install {' '.join(packages)}")
    log(f"bench: installing {' '.join(packages)}")
    subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends"] + packages, check=True)


def network_for(size, work_dir):
    """Path of the network file of a size, generating or unpacking it when needed."""
    if size == "human":
        if not os.path.exists(HUMAN):
            log(f"bench: skipping human: {HUMAN} not found")
            return None
        path = os.path.join(work_dir, "human", "network.tsv")
        if not os.path.exists(path):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with gzip.open(HUMAN, "rb") as src, open(path, "wb") as dst:
                shutil.copyfileobj(src, dst)
        return path
    proteins, interactions = SIZES[size]
    directory = os.path.join(work_dir, size)
    path = os.path.join(directory, "network.tsv")
    if not os.path.exists(path):
        generator = os.path.join(REPO, "tools", "synth_network.py")
        subprocess.run([sys.executable, generator, "--proteins", str(proteins), "--interactions",
                        str(interactions), "--seed", "1", "--out-dir", directory], check=True,
                       stdout=subprocess.DEVNULL)
    return path


def read_peer_timing(work_dir):
    with open(os.path.join(work_dir, "stderr.txt")) as f:
        for line in f:
            if line.startswith("peers-timing:"):
                fields = dict(item.split("=") for item in line.split()[1:])
                return float(fields["load"]), float(fields["work"]), int(fields["pairs"])
    raise SystemExit("bench: the peer printed no timing line")


def timed_once(command, work_dir):
    """One run under GNU time: (wall seconds, peak MB), or None when it failed."""
    stats = os.path.join(work_dir, "time.txt")
    os.sync()  # dirty pages of earlier runs would slow this one's writing down
    start = time.perf_counter()
    result = subprocess.run([GNU_TIME, "-f", "%e %M", "-o", stats] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start  # GNU time's own %e has only 10 ms resolution
    with open(os.path.join(work_dir, "stderr.txt"), "w") as f:
        f.write(result.stderr)
    if result.returncode != 0:
        log(f"bench: failed ({result.returncode}): {' '.join(command)}\n{result.stderr.strip()}")
        return None
    with open(stats) as f:
        peak_kb = f.read().split()[-1]
    return wall, int(peak_kb) / 1024


SHORT_RUN = 1.0  # seconds: runs shorter than this are repeated and their median taken
SHORT_RUN_REPEATS = 5


def wall_of_direct_run(command):
    """Wall seconds of one run without GNU time in between (starting it costs about 10 ms,
    which would swamp a run of a few tens of milliseconds); None when it failed."""
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    return wall if result.returncode == 0 else None


def timed(command, work_dir):
    """Runs a command under GNU time; returns (wall seconds, peak MB) or None when it failed.
    A short run (every program alike) is run again without GNU time and the median wall time
    of those runs taken: one run of a few tens of milliseconds is at the mercy of the scheduler
    on a shared machine."""
    first = timed_once(command, work_dir)
    if first is None or first[0] >= SHORT_RUN:
        return first
    walls = [wall_of_direct_run(command) for _ in range(SHORT_RUN_REPEATS)]
    if None in walls:
        return None
    return sorted(walls)[len(walls) // 2], first[1]


def count_lines(path):
    with open(path, "rb") as f:
        return sum(block.count(b"\n") for block in iter(lambda: f.read(1 << 24), b""))


def read_scores(path):
    scores = {}
    with open(path) as f:
        for line in f:
            a, b, s = line.split("\t")
            scores[(a, b) if a < b else (b, a)] = float(s)
    return scores


def compare(ours, theirs):
    """Identical files, or the same pairs with scores equal up to rounding, or a difference."""
    if not os.path.exists(theirs):
        return "no output"
    if filecmp.cmp(ours, theirs, shallow=False):
        return "identical"
    a, b = count_lines(ours), count_lines(theirs)
    if a != b:
        return f"DIFFERENT: {a} vs {b} lines"
    if a > 3_000_000:
        return "same number of pairs"
    mine, other = read_scores(ours), read_scores(theirs)
    if mine.keys() != other.keys():
        return "DIFFERENT pairs"
    worst = max((abs(mine[k] - other[k]) / max(abs(other[k]), 1e-300) for k in mine), default=0.0)
    return f"same pairs, scores within {worst:.0e} (order of ties/rounding differs)"


def row(cells):
    return "| " + " | ".join(str(c) for c in cells) + " |"


def fmt(x, digits=2):
    return "-" if x is None else f"{x:.{digits}f}"


def fmt_seconds(x):
    """Seconds with three decimals below one second (short runs are timed to the millisecond)."""
    return fmt(x, 3 if x is not None and x < SHORT_RUN else 2)


def bench_case(args, size, network, method, mode, work_dir, report):
    vornel = os.path.join(args.build_dir, "vornel")
    pairs_arg = network if mode == "network" else "NULL"
    ours = os.path.join(work_dir, "vornel.out")
    full = timed([vornel, network, pairs_arg, method, "2", ours], work_dir)
    if full is None:
        return
    written = count_lines(ours)
    single = None
    if not args.no_single_thread:
        single = timed([vornel, "--threads", "1", network, pairs_arg, method, "2",
                        os.path.join(work_dir, "vornel1.out")], work_dir)
        if single and not filecmp.cmp(ours, os.path.join(work_dir, "vornel1.out"), shallow=False):
            log("bench: WARNING: one-thread output differs")
        os.remove(os.path.join(work_dir, "vornel1.out"))
    speedup = single[0] / full[0] if single and full[0] > 0 else None
    rate = written / full[0] if full[0] > 0 else None
    base = [size, method, mode, written, fmt_seconds(full[0]), fmt_seconds(single[0] if single else None), fmt(speedup),
            f"{rate / 1e6:.1f}M" if rate else "-", fmt(full[1], 0)]
    peers = [p for p in args.peers if method in PEER_METHODS[p]]
    if method == "l3" and mode == "network":
        peers = [p for p in peers if p != "scipy"]  # no path exclusion: not the same scores
    if not peers:
        report(row(base + ["-", "-", "-", "-", "-"]))
    for peer in peers:
        theirs = os.path.join(work_dir, f"{peer}.out")
        command = [PYTHON, os.path.join(os.path.dirname(__file__), "peers.py"), "--tool", peer,
                   "--method", method, "--network", network, "--pairs", mode, "--out", theirs]
        sampled = peer == "networkx" and mode == "candidates" and size != "small"
        if sampled:
            command += ["--sample-rows", str(args.networkx_sample_rows)]
        if peer == "scipy" and method == "l3" and size in ("large", "human"):
            report(row(base + [peer, "skipped (dense product too large)", "-", "-", "-"]))
            continue
        measured = timed(command, work_dir)
        if measured is None:
            report(row(base + [peer, "failed", "-", "-", "-"]))
            continue
        seconds, peak = measured
        if sampled:
            load, work, done = read_peer_timing(work_dir)
            # Loading once plus the per-pair work of the sample, scaled to all pairs.
            seconds = load + work * written / max(done, 1)
            check = f"sampled {done} pairs, time extrapolated"
        else:
            check = compare(ours, theirs)
        os.remove(theirs)
        report(row(base + [peer, fmt_seconds(seconds), fmt(peak, 0), fmt(seconds / full[0], 1) + "x", check]))
    os.remove(ours)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build"))
    parser.add_argument("--work-dir", default="/tmp/vornel-bench")
    parser.add_argument("--sizes", default="small,medium,large,human")
    parser.add_argument("--methods", default=",".join(ALL_METHODS))
    parser.add_argument("--modes", default="candidates,network")
    parser.add_argument("--peers", default="scipy,igraph,networkx")
    parser.add_argument("--networkx-sample-rows", type=int, default=100,
                        help="on sizes above small, networkx scores the candidates of this many proteins")
    parser.add_argument("--no-single-thread", action="store_true", help="skip the one-thread runs")
    args = parser.parse_args()
    args.build_dir = os.path.abspath(args.build_dir)
    args.peers = [p for p in args.peers.split(",") if p]
    if not os.access(os.path.join(args.build_dir, "vornel"), os.X_OK):
        raise SystemExit(f"bench: no vornel in {args.build_dir}: build it first (cmake --build build)")
    if not os.access(PYTHON, os.X_OK):
        raise SystemExit(f"bench: {PYTHON} is missing: apt-get install python3")
    ensure_peers(args.peers)
    os.makedirs(args.work_dir, exist_ok=True)
    results = os.path.join(args.work_dir, "results.md")

    def report(line):
        print(line, flush=True)
        with open(results, "a") as f:
            f.write(line + "\n")

    header = ["size", "method", "mode", "written", "vornel s", "1 thread s", "speed-up", "pairs/s",
              "peak MB", "peer", "peer s", "peer peak MB", "peer/vornel", "output check"]
    report(f"\n{time.strftime('%Y-%m-%d %H:%M')} vornel {args.build_dir}, {os.cpu_count()} cores")
    report(row(header))
    report(row(["---"] * len(header)))
    for size in args.sizes.split(","):
        network = network_for(size, args.work_dir)
        if network is None:
            continue
        for method in args.methods.split(","):
            for mode in args.modes.split(","):
                bench_case(args, size, network, method, mode, args.work_dir, report)


if __name__ == "__main__":
    main()
