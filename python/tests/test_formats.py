"""Every table format the program reads, read in process with the program's options: the same
network (proteins, interactions, weights) as the program finds."""

import json
import subprocess
import sys

import pytest

import vornel
from conftest import REPO

KEYWORDS = {"--format": "format", "--columns": "columns", "--taxon": "taxon", "--ids": "ids"}


def keywords_of(args):
    found, i = {}, 0
    while i < len(args):
        if args[i] == "--genetic":
            found["genetic"] = True
            i += 1
        else:
            found[KEYWORDS[args[i]]] = args[i + 1]
            i += 2
    return found


@pytest.fixture(scope="module")
def tables(tmp_path_factory):
    out = tmp_path_factory.mktemp("formats")
    subprocess.run([sys.executable, str(REPO / "tools" / "write_formats.py"), str(out)], check=True,
                   capture_output=True)
    return out, json.loads((out / "expected.json").read_text())


def test_every_format_gives_the_programs_network(tables, vornel_bin, tmp_path):
    out, expected = tables
    assert len(expected) > 10
    for name, case in expected.items():
        path = out / case.get("file", name)
        net = vornel.read_network(path, **keywords_of(case["args"]))
        assert (net.protein_count, net.interaction_count) == (case["proteins"], case["interactions"]), name
        result = tmp_path / "out.tsv"
        subprocess.run([vornel_bin, *case["args"], str(path), "NULL", "cn-w", "1", str(result)], check=True,
                       capture_output=True)
        cli = [line.split("\t") for line in result.read_text().splitlines()]
        got = vornel.propose(net, "cn-w")
        assert [(a, b, float(s)) for a, b, s in cli] == \
            list(zip(got["a"].astype(str), got["b"].astype(str), got["score"].tolist())), name
