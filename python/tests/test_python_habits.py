"""The package's face in the habits of numpy, pandas and networkx: arguments refused with a
ValueError naming them before any work starts, None for an option not given, no string standing
for data, the read failure's kind (not its message) choosing the exception, hints that resolve,
and a stub that matches the compiled module."""

import ast
import gzip
import inspect
import re
import typing
import warnings
from pathlib import Path

import pytest

import vornel
from vornel import _vornel

SQUARE = [("A", "B"), ("B", "C"), ("C", "D"), ("D", "A"), ("A", "C")]
PUBLIC_FUNCTIONS = [vornel.read_network, vornel.from_pandas, vornel.from_edges, vornel.from_networkx,
                    vornel.from_igraph, vornel.score, vornel.score_interactions, vornel.propose, vornel.refine,
                    vornel.methods, vornel.Network.read_names, vornel.Network.edges]


def rows(frame):
    return list(zip(frame["a"].astype(str), frame["b"].astype(str), frame["score"].tolist()))


@pytest.fixture
def net():
    return vornel.from_edges(SQUARE)


@pytest.fixture
def edge_file(tmp_path):
    path = tmp_path / "net.tsv"
    path.write_text("".join(f"{a}\t{b}\t0.5\n" for a, b in SQUARE))
    return path


def test_the_networks_own_interactions_have_a_call_of_their_own(net):
    own = vornel.score_interactions(net, "cn")
    assert rows(own) == [("A", "C", 2.0), ("A", "B", 1.0), ("B", "C", 1.0), ("C", "D", 1.0), ("D", "A", 1.0)]
    # The old spellings still work, with a DeprecationWarning.
    for old in (lambda: vornel.score(net, "cn"), lambda: vornel.score(net, "cn", "network")):
        with pytest.warns(DeprecationWarning, match="score_interactions") as warned:
            assert rows(old()) == rows(own)
        assert warned[0].filename == __file__
    assert rows(vornel.score(net, "cn", None)) == rows(vornel.propose(net, "cn"))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        vornel.refine(net, "cn", 1.0, "cn", 1)  # refine uses no deprecated spelling


@pytest.mark.parametrize("pairs", ["netwrok", "", "AB"])
def test_a_string_for_pairs_is_refused_naming_the_argument(net, pairs):
    with pytest.raises(ValueError, match=r"^pairs must be .* not the string .*score_interactions"):
        vornel.score(net, "cn", pairs)


def test_options_not_given_are_none(edge_file):
    parameters = inspect.signature(vornel.read_network).parameters
    assert all(parameters[name].default is None for name in ("format", "columns", "taxon", "ids", "min_weight"))
    expected = vornel.read_network(edge_file, format=None, columns=None, taxon=None, ids=None)
    with pytest.warns(DeprecationWarning, match='format="" .* format=None') as warned:
        old = vornel.read_network(edge_file, format="")
    assert warned[0].filename == __file__  # the warning points at the caller
    assert (old.protein_count, old.interaction_count) == (expected.protein_count, expected.interaction_count)


BAD_SCORING_ARGUMENTS = [
    ("threads", -1), ("threads", 2**70),
    ("iterations", 1.5), ("iterations", "3"), ("iterations", True), ("iterations", None),
    ("top", -1), ("top", 1.5), ("top", "5"), ("top", False),
    ("ordered", "no"), ("ordered", 0), ("progress", 3), ("progress", "yes"),
]


@pytest.mark.parametrize("call", ["score", "score_interactions", "propose"])
@pytest.mark.parametrize("name, value", BAD_SCORING_ARGUMENTS)
def test_bad_scoring_arguments_raise_value_error_naming_them(net, call, name, value):
    arguments = (net, "cn", None) if call == "score" else (net, "cn")
    with pytest.raises(ValueError, match=rf"^{name} must be"):
        getattr(vornel, call)(*arguments, **{name: value})


def test_bad_methods_and_refine_thresholds_raise_value_error(net, vornel_bin, tmp_path):
    with pytest.raises(ValueError, match=r"^method must be a method name"):
        vornel.propose(net, 3)
    with pytest.raises(ValueError, match=r"^unknown method 'nope' \(known: cn, .*l3"):
        vornel.propose(net, "nope")
    with pytest.raises(ValueError, match=r"^network must be a vornel.Network"):
        vornel.propose(SQUARE, "cn")
    for threshold in ("0.5", float("nan"), None):
        with pytest.raises(ValueError, match=r"^filter_min_score must be a number"):
            vornel.refine(net, "cn", threshold, "cn", 0)
    with pytest.raises(ValueError, match=r"^add_method must be a method name"):
        vornel.refine(net, "cn", 1.0, None, 0)
    # Rounds beyond 64 bits are the most rounds, not pybind11's TypeError.
    assert rows(vornel.propose(net, "wcd", iterations=10**30)) == rows(vornel.propose(net, "wcd", iterations=2**30))


@pytest.mark.parametrize("name, value, message", [
    ("taxon", "abc", r"^taxon='abc' is not an NCBI taxon id"),
    ("taxon", "9606x", r"^taxon='9606x' is not an NCBI taxon id"),
    ("columns", "1", r"^columns='1' is not A,B or A,B,W"),
    ("columns", "1,,2", r"^columns='1,,2' is not A,B or A,B,W"),
    ("format", "no-such-format", r"^format='no-such-format' is not one of"),
    ("ids", "gene", r"^ids='gene' is not one of entrez"),
    ("format", 3, r"^format must be a str or None"),
    ("min_weight", "abc", r"^min_weight must be a number or None"),
    ("min_weight", float("nan"), r"^min_weight must be a number or None"),
    ("genetic", "yes", r"^genetic must be True or False"),
    ("weights", None, r"^weights must be True or False"),
])
def test_reader_options_are_refused_as_the_program_refuses_them(edge_file, name, value, message):
    with pytest.raises(ValueError, match=message):
        vornel.read_network(edge_file, **{name: value})


def test_the_read_failures_kind_chooses_the_exception_not_its_message(tmp_path):
    # A file name holding the words of a read error: its bad contents are still a ValueError.
    odd = tmp_path / "x: cannot read: y.tsv"
    odd.write_text("A\tB\t0.5\nC\n")
    with pytest.raises(ValueError, match="cannot read: y.tsv:2: "):
        vornel.read_network(odd)
    with pytest.raises(OSError, match="missing.tsv: cannot read: "):
        vornel.read_network(tmp_path / "missing.tsv")
    truncated = tmp_path / "cut.tsv.gz"
    truncated.write_bytes(gzip.compress(b"A\tB\n" * 5000)[:-40])
    with pytest.raises(OSError, match="cut.tsv.gz: cannot read: "):
        vornel.read_network(truncated)
    with pytest.raises(OSError):
        vornel.read_network(tmp_path)  # a directory
    net = vornel.from_edges(SQUARE)
    with pytest.raises(OSError, match="names.tsv: cannot read: "):
        net.read_names(tmp_path / "names.tsv")
    bad_names = tmp_path / "x: cannot read: names.tsv"
    bad_names.write_text("A\n")
    with pytest.raises(ValueError, match="expected an identifier and its name"):
        net.read_names(bad_names)


def test_a_network_is_built_by_the_readers_not_by_its_constructor(net):
    with pytest.raises(TypeError, match="read_network, from_pandas"):
        vornel.Network()
    with pytest.raises(TypeError):
        vornel.Network(net._core)


@pytest.mark.parametrize("function", PUBLIC_FUNCTIONS, ids=lambda f: f.__qualname__)
def test_hints_resolve_and_name_real_types(function):
    hints = typing.get_type_hints(function)
    assert "return" in hints
    for name, hint in hints.items():
        assert typing.Any not in (hint, *typing.get_args(hint)), name
    doc = inspect.getdoc(function)
    for section in ("Returns\n-------", "Examples\n--------"):
        assert section in doc, section
    if inspect.signature(function).parameters.keys() - {"self"}:
        assert "Parameters\n----------" in doc


def stub_functions():
    tree = ast.parse((Path(vornel.__file__).parent / "_vornel.pyi").read_text())
    return {node.name: node for node in tree.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}, tree


def test_the_stub_matches_the_compiled_module():
    declared, tree = stub_functions()
    variables = {node.target.id for node in tree.body if isinstance(node, ast.AnnAssign)}
    compiled = {name for name in dir(_vornel) if not name.startswith("_")} | {"__version__"}
    assert compiled == declared.keys() | variables
    for name, node in declared.items():
        if isinstance(node, ast.ClassDef):
            continue
        # pybind11 writes each signature as the docstring's first line: the parameter names
        # and which are keyword-only must be the stub's.
        signature = getattr(_vornel, name).__doc__.splitlines()[0]
        compiled_names = re.findall(r"(\*|\w+): ", signature.replace("*, ", "*: "))
        stub_names = [a.arg for a in node.args.args] + (["*"] if node.args.kwonlyargs else []) + \
            [a.arg for a in node.args.kwonlyargs]
        assert compiled_names == stub_names, name
    members = {m for m in dir(_vornel.Network) if not m.startswith("_")}
    stub_members = {n.name for n in declared["Network"].body if isinstance(n, ast.FunctionDef)}
    assert members == stub_members
    assert set(_vornel.PairSource.__members__) == \
        {n.targets[0].id for n in declared["PairSource"].body if isinstance(n, ast.Assign)}
