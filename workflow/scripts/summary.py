#!/usr/bin/env python3
"""Gathers the run records (RESULTS/NETWORK/SETTING/run.json) of a workflow into one table,
as TSV for scripts and Markdown for people: the three counts of every run, its Error: lines
and its wall time.

Usage: summary.py --tsv OUT.tsv --md OUT.md RUN_JSON...
"""

import argparse
import json
import os
import socket
import sys

COLUMNS = ["network", "setting", "original", "filtered", "refined", "seconds", "errors"]


def read_record(path):
    """The record of one run, named by the two directories above its run.json."""
    with open(path) as text:
        record = json.load(text)
    setting_dir = os.path.dirname(os.path.abspath(path))
    record["setting"] = os.path.basename(setting_dir)
    record["network"] = os.path.basename(os.path.dirname(setting_dir))
    return record


def cells(record):
    """One row's fields as text; blanks, tabs and line ends inside an error line become spaces
    so every row stays one line of COLUMNS fields."""
    errors = " | ".join(" ".join(line.split()) for line in record.get("errors", []))
    return [record["network"], record["setting"], str(record["original"]),
            str(record["filtered"]), str(record["refined"]), f"{record['seconds']:.2f}", errors]


def tsv_text(records):
    return "".join("\t".join(row) + "\n" for row in [COLUMNS] + [cells(r) for r in records])


def markdown_text(records):
    def escape(text):
        return text.replace("|", "\\|")
    lines = ["| " + " | ".join(COLUMNS) + " |", "|---|---|---:|---:|---:|---:|---|"]
    for record in records:
        lines.append("| " + " | ".join(escape(cell) for cell in cells(record)) + " |")
    total = sum(r["seconds"] for r in records)
    failed = sum(1 for r in records if r.get("errors"))
    lines += ["", f"{len(records)} runs, {total:.1f} s in ppi-refine, {failed} with Error: lines."]
    return "\n".join(lines) + "\n"


def write_atomically(path, text):
    """Writes path through a temporary file of this process alone (named by host and process),
    so workflows that share a results folder never write into one temporary file."""
    temporary = f"{path}.{socket.gethostname()}.{os.getpid()}.tmp"
    with open(temporary, "w") as out:
        out.write(text)
    os.replace(temporary, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tsv", required=True)
    parser.add_argument("--md", required=True)
    parser.add_argument("records", nargs="*")
    args = parser.parse_args(argv)
    records = sorted((read_record(path) for path in args.records),
                     key=lambda r: (r["network"], r["setting"]))
    write_atomically(args.tsv, tsv_text(records))
    write_atomically(args.md, markdown_text(records))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
