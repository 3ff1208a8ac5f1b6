"""Every table format the program reads, read in process with the program's options: the same
network (proteins, interactions, weights) as the program finds."""

import json
import subprocess
import sys

import pytest

import vornel
from conftest import REPO

KEYWORDS = {"--format": "format", "--columns": "columns", "--taxon": "taxon", "--ids": "ids",
            "--min-weight": "min_weight"}


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


def test_names_and_cut_agree_with_the_program(tmp_path, vornel_bin):
    links = ["protein1 protein2 combined_score"]
    pairs = [("9.a", "9.b", 900), ("9.b", "9.c", 800), ("9.c", "9.a", 300), ("9.c", "9.d", 750), ("9.d", "9.a", 710)]
    links += ["%s %s %d" % p for p in pairs]
    (tmp_path / "links.txt").write_text("\n".join(links) + "\n")
    (tmp_path / "info.txt").write_text("#string_protein_id\tpreferred_name\n9.a\tTP53\n9.b\tMDM2\n9.d\tTP53\n")
    net = vornel.read_network(tmp_path / "links.txt", min_weight=0.7, names=tmp_path / "info.txt")
    assert (net.protein_count, net.interaction_count) == (4, 4)
    assert net.name_counts == {"named": 3, "missing": 1}
    got = vornel.propose(net, "cn")
    out = tmp_path / "out.tsv"
    subprocess.run([vornel_bin, "--min-weight", "0.7", "--names", str(tmp_path / "info.txt"),
                    str(tmp_path / "links.txt"), "NULL", "cn", "1", str(out)], check=True, capture_output=True)
    cli = [line.split("\t") for line in out.read_text().splitlines()]
    assert len(cli) == len(got) > 0
    # Two proteins named alike share one category.
    assert list(got["name_a"].cat.categories) == ["9.c", "MDM2", "TP53"]
    assert [r[3] for r in cli] == ["%s|%s" % p for p in zip(got["name_a"].astype(str), got["name_b"].astype(str))]
    assert "name_a" not in vornel.propose(vornel.read_network(tmp_path / "links.txt"), "cn").columns
    (tmp_path / "plain.txt").write_text("a b\nb c\n")
    with pytest.raises(ValueError, match="--min-weight needs weights"):
        vornel.read_network(tmp_path / "plain.txt", min_weight=0.5)
