"""The program's compressed and GraphML OUTPUT read back by the usual Python tools: gzip and
pandas give the plain text, networkx the same pairs and scores from GraphML (identifiers with
XML's special characters included)."""

import gzip
import math
import random
import subprocess

import pandas as pd
import pytest

nx = pytest.importorskip("networkx")


@pytest.fixture(scope="module")
def odd_network(tmp_path_factory):
    """A random network whose identifiers hold &, <, >, quotes and non-ASCII letters."""
    rng = random.Random(3)
    names = [f"p{i}" for i in range(300)] + ["a&b", "<c>", "\"d\"", "e'f", "\u00e9toile", "x>y&z"]
    path = tmp_path_factory.mktemp("odd") / "net.tsv"
    with open(path, "w", encoding="utf-8") as out:
        for _ in range(1500):
            out.write(f"{rng.choice(names)}\t{rng.choice(names)}\n")
    return path


def run(vornel_bin, network, method, output, *options):
    subprocess.run([vornel_bin, *options, str(network), "NULL", method, "1", str(output)], check=True,
                   capture_output=True)


def tsv_pairs(path):
    frame = pd.read_csv(path, sep="\t", header=None, names=["a", "b", "score"], dtype={"a": str, "b": str},
                        keep_default_na=False, quoting=3, float_precision="round_trip")
    return frame


@pytest.mark.parametrize("method", ["jaccard", "l3"])
def test_graphml_reads_back_with_the_same_pairs_and_scores(vornel_bin, odd_network, tmp_path, method):
    run(vornel_bin, odd_network, method, tmp_path / "out.tsv")
    expected = tsv_pairs(tmp_path / "out.tsv")
    for name in ["out.graphml", "out.graphml.gz"]:
        run(vornel_bin, odd_network, method, tmp_path / name)
        graph = nx.read_graphml(tmp_path / name)
        assert graph.number_of_edges() == len(expected)
        assert set(graph.nodes) == set(expected["a"]) | set(expected["b"])
        for a, b, score in expected.itertuples(index=False):
            assert graph.edges[a, b]["score"] == score  # the same double, not a near one
        assert all(graph.nodes[n]["name"] == n for n in graph.nodes)


def test_gzip_output_reads_back_as_the_plain_text(vornel_bin, odd_network, tmp_path):
    run(vornel_bin, odd_network, "cn", tmp_path / "out.tsv")
    run(vornel_bin, odd_network, "cn", tmp_path / "out.tsv.gz")
    run(vornel_bin, odd_network, "cn", tmp_path / "top.gz", "--top", "25")
    plain = (tmp_path / "out.tsv").read_bytes()
    assert gzip.decompress((tmp_path / "out.tsv.gz").read_bytes()) == plain
    assert tsv_pairs(tmp_path / "out.tsv.gz").equals(tsv_pairs(tmp_path / "out.tsv"))
    assert gzip.decompress((tmp_path / "top.gz").read_bytes()) == b"".join(plain.splitlines(True)[:25])
    assert not math.isnan(tsv_pairs(tmp_path / "top.gz")["score"].sum())
