"""Inputs a careless caller gives: missing identifiers, out-of-range thread counts, networks
left empty, and a file with lone carriage returns whose lines refine() counts as ppi-refine."""

import os
import subprocess

import numpy as np
import pandas as pd
import pytest

import vornel


@pytest.mark.parametrize("missing_value", [None, float("nan"), np.nan, pd.NA, np.float32("nan")])
def test_missing_identifiers_raise_naming_the_row_or_are_dropped_and_counted(missing_value):
    frame = pd.DataFrame({"x": ["A", "B", "C", missing_value, "D"], "y": ["B", "C", "A", "A", missing_value],
                          "w": [0.9, 0.8, 0.7, 0.6, 0.5]}, index=["r0", "r1", "r2", "r3", "r4"])
    with pytest.raises(ValueError, match=r"row 3 \(index label 'r3'\): 2 rows .*missing=\"drop\""):
        vornel.from_pandas(frame)
    net = vornel.from_pandas(frame, weight="w", missing="drop")
    # No protein stands for the missing value: the fake hub that joined A and D is gone.
    assert list(net.proteins) == ["A", "B", "C"]
    assert net.counts["missing_ids_dropped"] == 2 and net.weighted
    # The weights stay with their rows.
    scored = vornel.score(net, "cn-w", [("A", "B")])
    assert scored["score"].tolist() == vornel.score(vornel.from_edges([("A", "B", 0.9), ("B", "C", 0.8),
                                                                        ("C", "A", 0.7)]), "cn-w",
                                                    [("A", "B")])["score"].tolist()
    with pytest.raises(ValueError, match="row 1"):
        vornel.from_edges([("A", "B"), (missing_value, "C")])
    assert vornel.from_edges([("A", "B"), (missing_value, "C")], missing="drop").counts["missing_ids_dropped"] == 1
    with pytest.raises(ValueError, match="row 0"):
        vornel.score(net, "cn", [(missing_value, "A")])
    with pytest.raises(ValueError, match='missing must be "raise" or "drop"'):
        vornel.from_pandas(frame, missing="keep")


def test_strings_that_read_like_missing_values_stay_identifiers():
    net = vornel.from_edges([("nan", "None"), ("None", "<NA>")])
    assert list(net.proteins) == ["<NA>", "None", "nan"]
    assert net.counts["missing_ids_dropped"] == 0


@pytest.mark.parametrize("threads", [-1, 1025, 20000, 100000, 1.5, True, "2", None])
def test_threads_out_of_range_raise(threads):
    net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D")])
    with pytest.raises(ValueError, match="threads must be a whole number from 0"):
        vornel.propose(net, "cn", threads=threads)


def test_many_threads_on_a_small_network_start_as_few_as_the_rows_allow():
    import resource
    import time
    net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D"), ("D", "E"), ("E", "F"), ("F", "A")])
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.monotonic()
    for method in ("l3", "wcd", "learn"):
        many = vornel.propose(net, method, threads=1024, iterations=3)
        assert many.equals(vornel.propose(net, method, threads=1, iterations=3))
    # 1,024 workspaces and threads would take seconds and hundreds of megabytes.
    assert time.monotonic() - start < 5
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 100_000  # kilobytes


def test_networks_left_empty_raise(tmp_path):
    comments = tmp_path / "comments.tsv"
    comments.write_text("# nothing here\n\n")
    with pytest.raises(ValueError, match="comments.tsv: no interactions in the network"):
        vornel.read_network(comments)
    links = tmp_path / "links.txt"
    links.write_text("protein1 protein2 combined_score\n9606.A 9606.B 900\n9606.B 9606.C 800\n")
    assert vornel.read_network(links, taxon="9606").interaction_count == 2
    with pytest.raises(ValueError, match=r"no interactions in the network \(rows skipped: 2 of another taxon\)"):
        vornel.read_network(links, taxon="10090")
    with pytest.raises(ValueError, match="no interactions"):
        vornel.from_edges([("A", "A")])
    with pytest.raises(ValueError, match="no interactions"):
        vornel.from_pandas(pd.DataFrame({"a": [None], "b": ["B"]}), missing="drop")


def test_refine_counts_lines_as_ppi_refine_does(vornel_bin, tmp_path):
    # Lone carriage returns end a line for reading, not for ppi-refine's count of PPIs.
    network = tmp_path / "cr.tsv"
    network.write_bytes(b"A\tB\rB\tC\rC\tA\nC\tD\r\nD\tA\nA\tE")
    program = os.path.join(os.path.dirname(vornel_bin), "ppi-refine")
    report = subprocess.run([program, str(network), "1", "cn", "0", "cn", "0", "out.tsv"], cwd=tmp_path,
                            check=True, capture_output=True, text=True).stdout
    original = [int(line.rsplit(":", 1)[1]) for line in report.splitlines() if "original" in line]
    net = vornel.read_network(network)
    assert net.counts["lines"] == 6
    assert [vornel.refine(net, "cn", 0, "cn", 0).original] == original == [4]
    # A file gone since it was read: its lines as read.
    network.unlink()
    assert vornel.refine(net, "cn", 0, "cn", 0).original == 6
