#!/usr/bin/python3
"""Benchmark at database scale: `vornel` on a generated STRING-shaped network
(tools/string_network.py: 19,600 proteins and 1,000,000 interactions, or 6,860,000 with
--size large), every run in one go against the full l3 run as the peer.

Runs, each under GNU time (wall seconds, peak resident memory), on an existing Release build:
  l3 full        vornel NET NULL l3 1 out.txt          (the peer)
  l3 gzip        vornel NET NULL l3 1 out.txt.gz       (same text, compressed on the writers)
  l3 --top 500   vornel --top 500 NET NULL l3 1 top.txt
  learn --top 500, and `vornel evaluate NET` with its default methods (unless --skip-evaluate)
and prints a Markdown table with the scoring time each run reports and the ratios to the peer.
The generated network and the outputs live in --work (default: a temporary folder, removed at
the end); the network is kept and reused when --work names a folder that holds it. Nothing is
written into the repository.

  /usr/bin/python3 bench/scorer/bench_string_scale.py [--build-dir build] [--size medium|large]
      [--work DIR] [--threads 2] [--skip-evaluate]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GNU_TIME = "/usr/bin/time"
SIZES = {"medium": 1_000_000, "large": 6_860_000}
PROTEINS = 19_600


def log(text):
    print(text, file=sys.stderr, flush=True)


def timed(command, work, name):
    """Runs `command` under GNU time in `work`: (wall s, peak MB, CPU s, stderr text); exits on failure."""
    stats = os.path.join(work, name + ".time")
    start = time.perf_counter()
    with open(os.path.join(work, name + ".stdout"), "w") as out, open(os.path.join(work, name + ".stderr"), "w") as err:
        code = subprocess.run([GNU_TIME, "-f", "%M %U %S", "-o", stats] + command, stdout=out, stderr=err,
                              cwd=work).returncode
    wall = time.perf_counter() - start
    with open(os.path.join(work, name + ".stderr")) as err:
        messages = err.read()
    if code != 0:
        sys.exit(f"{name}: exit status {code}\n{messages}")
    with open(stats) as f:
        peak_kb, user, system = f.read().split()[-3:]
    return wall, int(peak_kb) / 1024, float(user) + float(system), messages


def scoring_seconds(messages):
    found = re.search(r"non-zero score after ([0-9.]+) s", messages)
    return float(found.group(1)) if found else None


def network_for(args, work):
    path = os.path.join(work, f"string_{args.size}.txt.gz")
    if not os.path.exists(path):
        log(f"generating {path}")
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "string_network.py"), "--proteins", str(PROTEINS),
                        "--interactions", str(SIZES[args.size]), "--seed", "1", "--out", path], check=True)
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build"))
    parser.add_argument("--size", choices=sorted(SIZES), default="medium")
    parser.add_argument("--work")
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--skip-evaluate", action="store_true")
    args = parser.parse_args()
    vornel = os.path.abspath(os.path.join(args.build_dir, "vornel"))
    if not os.access(vornel, os.X_OK):
        sys.exit(f"no vornel in {args.build_dir}: build it first (Release)")
    work = args.work or tempfile.mkdtemp(prefix="string-scale-")
    os.makedirs(work, exist_ok=True)
    try:
        run_all(args, vornel, work)
    finally:
        for name in ("out.txt", "out.txt.gz", "top.txt", "learn.txt"):
            if os.path.exists(os.path.join(work, name)):
                os.remove(os.path.join(work, name))
        if not args.work:
            shutil.rmtree(work)


def run_all(args, vornel, work):
    net = network_for(args, work)
    threads = ["-t", str(args.threads)]
    runs = [("l3 full", [vornel] + threads + [net, "NULL", "l3", "1", "out.txt"], "out.txt"),
            ("l3 to .gz", [vornel] + threads + [net, "NULL", "l3", "1", "out.txt.gz"], "out.txt.gz"),
            ("l3 --top 500", [vornel] + threads + ["--top", "500", net, "NULL", "l3", "1", "top.txt"], "top.txt"),
            ("learn --top 500", [vornel] + threads + ["--top", "500", net, "NULL", "learn", "1", "learn.txt"], "learn.txt")]
    if not args.skip_evaluate:
        runs.append(("evaluate (default methods)", [vornel, "evaluate"] + threads + [net], None))
    rows = []
    for label, command, output in runs:
        log(f"running {label}")
        wall, peak, cpu, messages = timed(command, work, re.sub(r"[^a-z0-9]+", "_", label))
        size = os.path.getsize(os.path.join(work, output)) if output else None
        if output == "out.txt.gz" or output == "out.txt":
            os.remove(os.path.join(work, output))
        rows.append((label, wall, scoring_seconds(messages), cpu, peak, size))
        log(f"  {wall:.1f} s, cpu {cpu:.1f} s, {peak:.0f} MB, OUTPUT {size} bytes")
    peer_wall, peer_cpu, peer_peak = rows[0][1], rows[0][3], rows[0][4]
    print(f"STRING-shaped network: {PROTEINS:,} proteins, {SIZES[args.size]:,} interactions, {args.threads} threads\n")
    print("| run | wall s | scoring s | CPU s | peak MB | OUTPUT | wall / l3 full | CPU / l3 full | peak / l3 full |")
    print("|---|---|---|---|---|---|---|---|---|")
    for label, wall, scoring, cpu, peak, size in rows:
        scoring_text = f"{scoring:.1f}" if scoring is not None else "-"
        size_text = f"{size / 1e6:,.1f} MB" if size is not None else "report"
        print(f"| {label} | {wall:.1f} | {scoring_text} | {cpu:.1f} | {peak:,.0f} | {size_text} | {wall / peer_wall:.2f} | "
              f"{cpu / peer_cpu:.2f} | {peak / peer_peak:.2f} |")


if __name__ == "__main__":
    main()
