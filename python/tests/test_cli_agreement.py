"""The package gives the program's results: same pairs, same order, same scores (the shortest
round-trip text of each score is the program's text), for every method in both modes."""

import subprocess

import pytest

import vornel

METHODS = list(vornel.methods()["name"])


def run_cli(vornel_bin, network, pairs, method, iterations, out):
    subprocess.run([vornel_bin, "--threads", "2", str(network), pairs, method, str(iterations), str(out)],
                   check=True, capture_output=True)
    rows = []
    with open(out) as lines:
        for line in lines:
            a, b, score = line.rstrip("\n").split("\t")
            rows.append((a, b, float(score)))
    return rows


@pytest.mark.parametrize("mode", ["network", "candidates"])
@pytest.mark.parametrize("method", METHODS)
def test_every_method_matches_the_program(vornel_bin, synth_network, tmp_path, method, mode):
    pairs_arg = str(synth_network) if mode == "network" else "NULL"
    expected = run_cli(vornel_bin, synth_network, pairs_arg, method, 3, tmp_path / "out.tsv")
    net = vornel.read_network(synth_network)
    call = vornel.score_interactions if mode == "network" else vornel.propose
    got = call(net, method, iterations=3, threads=2)
    rows = list(zip(got["a"].astype(str), got["b"].astype(str), got["score"].tolist()))
    assert len(rows) == len(expected) > 0
    # Exact equality of doubles: the program writes each score's shortest round-trip text.
    assert rows == expected
    assert [repr(s) for _, _, s in rows[:50]] == [repr(s) for _, _, s in expected[:50]]


def test_listed_pairs_given_in_memory_match_a_pair_file(vornel_bin, synth_network, tmp_path):
    net = vornel.read_network(synth_network)
    proposed = vornel.propose(net, "l3", top=300)
    # Pairs in reverse orientation, with a repeat, a self-pair and an unknown protein.
    given = [(b, a) for a, b in zip(proposed["a"].astype(str), proposed["b"].astype(str))]
    given += [given[0], (given[1][0], given[1][0]), ("P0001", "nobody")]
    pair_file = tmp_path / "pairs.tsv"
    pair_file.write_text("".join(f"{a}\t{b}\n" for a, b in given))
    expected = run_cli(vornel_bin, synth_network, str(pair_file), "l3", 1, tmp_path / "out.tsv")
    got = vornel.score(net, "l3", given)
    assert list(zip(got["a"].astype(str), got["b"].astype(str), got["score"].tolist())) == expected


@pytest.mark.parametrize("arguments", [("wcd", 0.2, "l3", 120), ("jaccard", 700.5, "cn", 0.5),
                                       ("cn-w", 1.0, "l3", 0), ("l3", float("inf"), "aa", -1)])
def test_refine_matches_ppi_refine(vornel_bin, synth_network, tmp_path, arguments):
    import os
    filter_method, filter_min, add_method, add_min = arguments
    program = os.path.join(os.path.dirname(vornel_bin), "ppi-refine")
    report = subprocess.run([program, str(synth_network), "2", filter_method, str(filter_min), add_method,
                             str(add_min), "out.tsv"], cwd=tmp_path, check=True, capture_output=True,
                            text=True).stdout
    counts = [int(line.rsplit(":", 1)[1]) for line in report.splitlines() if line.startswith("#PPIs ") and
              ("original" in line or "after" in line)]
    kept = [line.split("\t") for line in (tmp_path / "out.tsv").read_text().splitlines()]

    result = vornel.refine(vornel.read_network(synth_network), filter_method, filter_min, add_method, add_min,
                           iterations=2)
    assert [result.original, result.filtered, result.final] == counts
    rows = list(zip(result.pairs["a"].astype(str), result.pairs["b"].astype(str), result.pairs["score"]))
    # ppi-refine writes scores as %.2E.
    assert [(a, b, f"{s:.2E}") for a, b, s in rows] == [tuple(k) for k in kept]
