"""Shared fixtures: the vornel program built beside the package, a generated network, and long
gzip files."""

import gzip
import os
import random
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(os.environ.get("VORNEL_REPO", Path(__file__).resolve().parents[2]))


@pytest.fixture(scope="session")
def vornel_bin():
    path = Path(os.environ.get("VORNEL_BIN", REPO / "build" / "vornel"))
    if not path.is_file():
        pytest.skip(f"the vornel program is not built ({path})")
    return str(path)


@pytest.fixture(scope="session")
def synth_network(tmp_path_factory):
    """A generated network (tools/synth_network.py) with a weight column added: a plain edge
    list of 400 proteins / 2,000 interactions whose third column is a confidence."""
    out = tmp_path_factory.mktemp("synth")
    subprocess.run([sys.executable, str(REPO / "tools" / "synth_network.py"), "--proteins", "400",
                    "--interactions", "2000", "--seed", "7", "--false-share", "0.2",
                    "--missing-share", "0.1", "--out-dir", str(out)], check=True, capture_output=True)
    rng = random.Random(11)
    weighted = out / "weighted.tsv"
    with open(out / "network.tsv") as source, open(weighted, "w") as target:
        for line in source:
            a, b = line.split()
            target.write(f"{a}\t{b}\t{rng.randint(150, 999) / 1000}\n")
    return weighted


def write_self_pairs(path, millions):
    """A gzip file of two interactions, then `millions` members of a million self-pairs each,
    which reading parses and drops: seconds of reading for little on disk and in memory."""
    member = gzip.compress(b"A\tA\n" * 1_000_000, compresslevel=9)
    with open(path, "wb") as out:
        out.write(gzip.compress(b"A\tB\nB\tC\n"))
        for _ in range(millions):
            out.write(member)
    return path


@pytest.fixture(scope="session")
def self_pair_gzip():
    return write_self_pairs
