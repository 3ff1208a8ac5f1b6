#!/usr/bin/env python3
"""One ppi-refine run of the workflow, isolated in a working directory of its own.

ppi-refine keeps its scores in fixed file names in the working directory, so every run gets
a working directory of its own, OUT_DIR/.work-XXXXXXXX, locked (flock) for as long as the run
lasts: two workflows that share a results folder never run in, or remove, each other's, and
one that an interrupted run left (no longer locked) is removed by the next run. The run's files
are written there and moved into OUT_DIR only when the run is over, the run record (run.json)
last: a killed job never leaves a partial refined.tsv under its final name.

Writes OUT_DIR/refined.tsv (the refined network), OUT_DIR/console.txt (ppi-refine's report with
the scorer's messages, in the order they were printed) and OUT_DIR/run.json (the three counts,
the Error: lines and the wall time). A report with an Error: line makes the job fail (exit 1,
the lines on standard error, nothing moved into place) unless --keep-errors is given.
"""

import argparse
import fcntl
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

COUNT_LABELS = {"original": "#PPIs in the original file:",
                "filtered": "#PPIs after filtering:",
                "refined": "#PPIs after adding new PPIs:"}
WORK_PREFIX = ".work-"
LOCK = ".lock"


def parse_report(console):
    """The three counts (None when a line is missing) and the Error: lines of a ppi-refine report."""
    counts = dict.fromkeys(COUNT_LABELS)
    errors = []
    for line in console.splitlines():
        if line.startswith("Error:"):
            errors.append(line)
        for key, label in COUNT_LABELS.items():
            if line.startswith(label):
                counts[key] = int(line[len(label):])
    return counts, errors


def refine_command(program, network, setting):
    return [program, network, str(setting["iterations"]), setting["filter_method"],
            str(setting["filter_min_score"]), setting["add_method"],
            str(setting["add_min_score"]), "refined.tsv"]


def run_in(work_dir, command):
    """Runs the command in work_dir; returns (console text, exit status, seconds). Standard
    output and error share one pipe so the scorer's messages stay where ppi-refine printed its
    command line. ppi-refine looks for the scorer on PATH before its own directory, so that
    directory goes first on PATH: the run uses the vornel of the same build, not another one
    that PATH happens to hold."""
    env = dict(os.environ)
    env["PATH"] = os.path.dirname(command[0]) + os.pathsep + env.get("PATH", "")
    started = time.monotonic()
    finished = subprocess.run(command, cwd=work_dir, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
    return (finished.stdout.decode(errors="replace"), finished.returncode,
            time.monotonic() - started)


def broken_run(status, counts):
    """What makes a run's report unusable whatever --keep-errors says: ppi-refine exits with 0
    after every run it completes, so another status (a crash) or a missing count means it did
    not finish."""
    problems = [] if status == 0 else [f"ppi-refine exited with status {status}"]
    problems += [f"no '{COUNT_LABELS[key]}' line in the report"
                 for key, value in counts.items() if value is None]
    return problems


def publish(work_dir, out_dir, record):
    """Moves the run's files into out_dir, run.json last, and removes the working directory."""
    refined = os.path.join(work_dir, "refined.tsv")
    if not os.path.exists(refined):  # nothing was kept: an empty network, not a missing one
        open(refined, "w").close()
    os.replace(refined, os.path.join(out_dir, "refined.tsv"))
    os.replace(os.path.join(work_dir, "console.txt"), os.path.join(out_dir, "console.txt"))
    with open(os.path.join(work_dir, "run.json"), "w") as out:
        json.dump(record, out, indent=1)
    os.replace(os.path.join(work_dir, "run.json"), os.path.join(out_dir, "run.json"))
    shutil.rmtree(work_dir)


def try_lock(path):
    """An open descriptor holding an exclusive flock on path, or None when another holds it or
    the file system cannot lock (then no working directory is taken for abandoned)."""
    descriptor = os.open(path, os.O_RDWR | os.O_CREAT, 0o644)
    try:
        fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return descriptor
    except OSError:
        os.close(descriptor)
        return None


def remove_abandoned_work_dirs(out_dir):
    """Removes the working directories of runs that are over (their lock is free): what an
    interrupted run left. Those of runs still going, here or in another workflow, stay."""
    for work_dir in glob.glob(os.path.join(glob.escape(out_dir), WORK_PREFIX + "*")):
        if not os.path.exists(os.path.join(work_dir, LOCK)):
            continue  # not a run's: each takes its lock before it gets its .work- name
        descriptor = try_lock(os.path.join(work_dir, LOCK))
        if descriptor is not None:
            shutil.rmtree(work_dir, ignore_errors=True)
            os.close(descriptor)
    shutil.rmtree(os.path.join(out_dir, ".work"), ignore_errors=True)  # left by older versions


def make_work_dir(out_dir):
    """A new working directory in out_dir, locked before it takes its .work- name; returns
    its path and the descriptor that holds the lock (released when the process ends)."""
    staging = tempfile.mkdtemp(prefix=".new-", dir=out_dir)
    descriptor = try_lock(os.path.join(staging, LOCK))
    work_dir = os.path.join(out_dir, WORK_PREFIX + os.path.basename(staging)[len(".new-"):])
    os.rename(staging, work_dir)
    return work_dir, descriptor


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True, help="the ppi-refine to run")
    parser.add_argument("--network", required=True)
    parser.add_argument("--setting", required=True, help="the setting as a JSON object")
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--name", default="", help="network/setting, for messages")
    parser.add_argument("--keep-errors", action="store_true",
                        help="record Error: lines in run.json instead of failing")
    args = parser.parse_args(argv)

    out_dir = os.path.abspath(args.out_dir)
    os.makedirs(out_dir, exist_ok=True)
    remove_abandoned_work_dirs(out_dir)
    work_dir, _lock = make_work_dir(out_dir)
    setting = json.loads(args.setting)
    command = refine_command(os.path.abspath(args.program), os.path.abspath(args.network), setting)
    console, status, seconds = run_in(work_dir, command)
    with open(os.path.join(work_dir, "console.txt"), "w") as out:
        out.write(console)
    counts, errors = parse_report(console)
    problems = broken_run(status, counts) + ([] if args.keep_errors else errors)
    if problems:
        print(f"ppi-refine run {args.name} failed (full report in "
              f"{os.path.join(work_dir, 'console.txt')}):", file=sys.stderr)
        for line in problems:
            print(f"  {line}", file=sys.stderr)
        return 1
    publish(work_dir, out_dir, {"command": command, **counts, "errors": errors,
                                "seconds": round(seconds, 3)})
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
