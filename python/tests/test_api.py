"""Inputs of every kind, result types, top=K, refinement and errors."""

import math
import subprocess

import networkx as nx
import numpy as np
import pandas as pd
import pytest

import vornel

EDGES = [("A", "B", 0.9), ("B", "C", 0.5), ("C", "D", 0.7), ("A", "C", 0.3), ("D", "E", 0.8),
         ("B", "D", 0.6), ("E", "F", 0.4), ("C", "C", 0.2), ("B", "A", 0.1)]


def as_rows(frame):
    return list(zip(frame["a"].astype(str), frame["b"].astype(str), frame["score"].tolist()))


@pytest.fixture
def edge_file(tmp_path):
    path = tmp_path / "net.tsv"
    path.write_text("".join(f"{a}\t{b}\t{w}\n" for a, b, w in EDGES))
    return path


def every_input_kind(edge_file):
    frame = pd.DataFrame(EDGES, columns=["p1", "p2", "conf"])
    graph = nx.Graph()
    for a, b, w in EDGES:
        if not graph.has_edge(a, b) or graph[a][b]["conf"] < w:  # repeats keep the largest weight
            graph.add_edge(a, b, conf=w)
    import igraph
    ig = igraph.Graph.TupleList(EDGES, edge_attrs=["conf"])
    return {
        "file": vornel.read_network(edge_file),
        "pandas": vornel.from_pandas(frame, "p1", "p2", weight="conf"),
        "numpy": vornel.from_edges(np.array([(a, b) for a, b, _ in EDGES]), weights=[w for *_, w in EDGES]),
        "list": vornel.from_edges(EDGES),
        "networkx": vornel.from_networkx(graph, weight="conf"),
        "igraph": vornel.from_igraph(ig, weight="conf"),
    }


def test_every_input_kind_gives_the_same_network_and_scores(edge_file):
    networks = every_input_kind(edge_file)
    reference = networks["file"]
    assert list(reference.proteins) == list("ABCDEF")
    assert reference.interaction_count == 7 and reference.weighted
    for kind, net in networks.items():
        assert list(net.proteins) == list("ABCDEF"), kind
        assert net.interaction_count == 7, kind
        assert net.weighted, kind
        for method in ("jaccard", "l3", "cn-w", "wcd-w"):
            assert as_rows(vornel.propose(net, method, iterations=2)) == \
                as_rows(vornel.propose(reference, method, iterations=2)), (kind, method)


def test_numeric_identifiers_and_networks_without_weights():
    net = vornel.from_edges(np.array([[1, 2], [2, 3], [3, 10]]))
    assert list(net.proteins) == ["1", "10", "2", "3"]  # byte order of the identifiers
    assert not net.weighted
    # A weighted method weighs every interaction 1, as the program does.
    assert as_rows(vornel.propose(net, "cn-w")) == [("1", "3", 2.0), ("10", "2", 2.0)]


def test_result_columns_are_categoricals_over_the_protein_names(edge_file):
    net = vornel.read_network(edge_file)
    result = vornel.score_interactions(net, "cn")
    assert list(result.columns) == ["a", "b", "score"]
    for column in ("a", "b"):
        assert isinstance(result[column].dtype, pd.CategoricalDtype)
        assert list(result[column].cat.categories) == list(net.proteins)
    assert result["score"].dtype == np.float64
    assert result["score"].is_monotonic_decreasing
    # The network's own pairs in their listed orientation.
    assert ("B", "C") in set(zip(result["a"].astype(str), result["b"].astype(str)))
    empty = vornel.score(net, "cn", [("A", "nobody")])
    assert len(empty) == 0 and isinstance(empty["a"].dtype, pd.CategoricalDtype)


def test_codes_of_every_width_name_the_right_proteins():
    # Codes come as int8, int16 or int32 by the number of proteins: chains across each width.
    for proteins in (100, 1000, 40000):
        net = vornel.from_edges(np.stack([np.arange(proteins - 1), np.arange(1, proteins)], axis=1))
        result = vornel.propose(net, "cn")
        names = net.proteins
        ids = {name: i for i, name in enumerate(names)}
        # Every protein two steps along the chain, in the program's order (pairs by protein id).
        chain = np.array([ids[str(i)] for i in range(proteins)])
        expected = sorted(tuple(sorted((chain[i], chain[i + 2]))) for i in range(proteins - 2))
        assert as_rows(result) == [(names[u], names[v], 1.0) for u, v in expected], proteins
        assert result["a"].cat.codes.dtype.itemsize == {100: 1, 1000: 2, 40000: 4}[proteins]


def test_top_keeps_the_first_rows_of_the_full_ordering(tmp_path):
    rng = np.random.default_rng(3)
    edges = rng.integers(0, 300, size=(3000, 2))
    net = vornel.from_edges(edges)
    for method in ("cn", "ra", "l3"):  # cn: many ties, broken by pair position
        full = vornel.propose(net, method, threads=3)
        for k in (0, 1, 17, 500, len(full) * 3 // 4, len(full), len(full) + 10):
            top = vornel.propose(net, method, threads=3, top=k)
            assert as_rows(top) == as_rows(full.head(k)), (method, k)
    with pytest.raises(ValueError):
        vornel.propose(net, "cn", top=-1)


def test_refine_filters_then_adds_as_the_program_does(edge_file):
    net = vornel.read_network(edge_file)
    own = vornel.score_interactions(net, "cn")
    proposed = vornel.propose(net, "l3")
    by_score = vornel.refine(net, "cn", 1.0, "l3", 0)
    assert as_rows(by_score.pairs) == [r for r in as_rows(own) if r[2] >= 1.0]
    assert (by_score.original, by_score.filtered, by_score.final) == (9, len(by_score.pairs), len(by_score.pairs))
    # Above 1 the threshold is a number of pairs, rounded up: 2.5 keeps 3.
    top_n = vornel.refine(net, "cn", 2.5, "l3", 2)
    assert as_rows(top_n.pairs) == as_rows(own)[:3] + as_rows(proposed)[:2]
    assert (top_n.filtered, top_n.final) == (3, 5)
    by_min = vornel.refine(net, "cn", 0.5, "l3", 0.3)
    assert by_min.final == by_min.filtered + sum(1 for r in as_rows(proposed) if r[2] >= 0.3)


def test_methods_are_listed_with_their_summaries(vornel_bin):
    listed = vornel.methods()
    help_text = subprocess.run([vornel_bin, "--help"], capture_output=True, text=True).stdout
    for name, description in zip(listed["name"], listed["description"]):
        assert name in help_text
        assert description.split(":")[0] in help_text
    assert set(listed.loc[listed["weighted"], "name"]) == {n for n in listed["name"] if n.endswith("-w")}


def cli_error(vornel_bin, tmp_path, *args):
    result = subprocess.run([vornel_bin, *args, str(tmp_path / "out.tsv")], capture_output=True, text=True)
    assert result.returncode != 0
    return result.stderr.strip().splitlines()[-1].removeprefix("vornel: ")


def test_errors_raise_the_program_messages(vornel_bin, tmp_path, edge_file):
    missing = tmp_path / "missing.tsv"
    with pytest.raises(OSError) as raised:
        vornel.read_network(missing)
    assert str(raised.value) == cli_error(vornel_bin, tmp_path, str(missing), "NULL", "cn", "1")

    bad = tmp_path / "bad.tsv"
    bad.write_text("A\tB\t0.5\nC\n")
    with pytest.raises(ValueError) as raised:
        vornel.read_network(bad)
    assert str(raised.value) == cli_error(vornel_bin, tmp_path, str(bad), "NULL", "cn", "1")

    with pytest.raises(ValueError, match="unknown method 'nope'"):
        vornel.propose(vornel.read_network(edge_file), "nope")
    with pytest.raises(ValueError):
        vornel.read_network(edge_file, format="no-such-format")
    with pytest.raises(ValueError):
        vornel.from_edges(np.zeros((3, 3)))


def test_unordered_results_hold_the_same_rows():
    rng = np.random.default_rng(9)
    net = vornel.from_edges(rng.integers(0, 200, size=(1500, 2)))
    for method in ("jaccard", "l3"):
        full = vornel.propose(net, method, threads=2)
        loose = vornel.propose(net, method, threads=2, ordered=False)
        assert sorted(as_rows(loose)) == sorted(as_rows(full))
        assert len(vornel.propose(net, method, top=25, ordered=False)) == 25


MEMORY_SCRIPT = r"""
import os, resource
import numpy as np
import vornel
# 40 hubs joined to 3,000 proteins: 4.5 million candidate pairs share partners (72 MB of records).
net = vornel.from_edges(np.stack([np.repeat(np.arange(40), 3000), np.tile(np.arange(40, 3040), 40)], axis=1))
mapped = int(open("/proc/self/statm").read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
resource.setrlimit(resource.RLIMIT_AS, (mapped + 40 * 2**20, resource.RLIM_INFINITY))
try:
    vornel.propose(net, "cn", threads=1)
except MemoryError as error:
    print(f"MemoryError: {error}")
"""


def test_running_out_of_memory_raises_memory_error_with_the_programs_message():
    import sys
    result = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT], capture_output=True, text=True, timeout=60)
    assert result.stdout.strip() == "MemoryError: out of memory while scoring", result.stderr


TOP_MEMORY_SCRIPT = MEMORY_SCRIPT.replace('vornel.propose(net, "cn", threads=1)',
                                          'print(len(vornel.propose(net, "cn", threads=1, top=100)))')


def test_top_holds_the_selection_not_every_record():
    """Where the full listing runs out of memory, top=100 does not: the records beyond the best
    100 are never kept."""
    import sys
    result = subprocess.run([sys.executable, "-c", TOP_MEMORY_SCRIPT], capture_output=True, text=True, timeout=60)
    assert result.stdout.strip() == "100", result.stdout + result.stderr


def test_progress_reports_rows_done_and_stays_quiet_for_short_calls(capsys):
    rng = np.random.default_rng(4)
    net = vornel.from_edges(rng.integers(0, 3000, size=(40000, 2)))
    calls = []
    best = vornel.propose(net, "l3", threads=2, top=10,
                          progress=lambda done, total, seconds: calls.append((done, total, seconds)))
    assert as_rows(best) == as_rows(vornel.propose(net, "l3", threads=2, top=10))
    for (done, total, seconds), later in zip(calls, calls[1:] + [(3000, 3000, math.inf)]):
        assert 0 <= done <= total <= 3000 and seconds >= 0.5
        assert later[0] >= done and later[2] > seconds
    vornel.propose(net, "cn", top=10, progress=True)
    assert capsys.readouterr().err == ""

    def stop(done, total, seconds):
        raise RuntimeError("enough")
    big = vornel.from_edges(rng.integers(0, 6000, size=(150000, 2)))
    with pytest.raises(RuntimeError, match="enough"):
        vornel.propose(big, "l3", threads=2, progress=stop)
