"""Score and refine protein-protein interaction networks from Python.

The package runs the same C++ scorer as the ``vornel`` program, in process: build a network
(from a file in any format the program reads, a pandas DataFrame, a numpy array, a list of
pairs, or a networkx or igraph graph), then score pairs or propose candidates with any method.
Results are pandas DataFrames with columns ``a``, ``b`` (Categoricals over the network's
protein names) and ``score``, best first, in the program's order.

    >>> import vornel
    >>> net = vornel.read_network("9606.protein.links.v12.0.txt.gz")
    >>> vornel.propose(net, "l3", top=500).head()
"""

from __future__ import annotations

import math
import numbers
import sys
from dataclasses import dataclass
from typing import Any, Callable, Iterable, Optional, Sequence, Union

import numpy as np
import pandas as pd

from . import _vornel
from ._vornel import __version__  # the project's version, compiled in from CMakeLists.txt

__all__ = [
    "Network", "RefineResult", "read_network", "from_pandas", "from_edges", "from_networkx",
    "from_igraph", "score", "propose", "refine", "methods",
]


def _categorical_builder() -> Any:
    """How to build a Categorical from codes known to be valid without checking them: pandas
    2.1 and later take ``validate=False``; before, the constructor's ``fastpath`` skips it."""
    import inspect
    if "validate" in inspect.signature(pd.Categorical.from_codes).parameters:
        return lambda codes, dtype: pd.Categorical.from_codes(codes, dtype=dtype, validate=False)
    return lambda codes, dtype: pd.Categorical(codes, dtype=dtype, fastpath=True)


_trusted_categorical = _categorical_builder()


class Network:
    """An undirected network as the scorer holds it: self-pairs dropped, repeated pairs merged,
    proteins numbered in byte order of their identifiers. Build one with ``read_network``,
    ``from_pandas``, ``from_edges``, ``from_networkx`` or ``from_igraph``."""

    def __init__(self, core: Any, missing_ids_dropped: int = 0) -> None:
        self._core = core
        self._missing_ids_dropped = missing_ids_dropped
        self._proteins: Optional[pd.Index] = None
        self._dtype: Optional[pd.CategoricalDtype] = None
        self._readable: Optional[pd.Categorical] = None  # by protein id, from a names map
        self.name_counts: dict = {}

    def read_names(self, path: Union[str, "os.PathLike[str]"]) -> "Network":
        """Reads readable names for the proteins from a mapping table, as ``vornel --names``
        does: STRING's ``protein.info`` or any table of identifier and name (plain or gzip).
        Results of ``score`` and ``propose`` then carry Categorical columns ``name_a`` and
        ``name_b``; a protein missing from the map keeps its identifier. ``name_counts`` says
        how many proteins were ``named`` and how many ``missing``. Returns the network."""
        import os
        names, mapped, missing = _vornel.readable_names(self._core, os.fspath(path))
        self._readable = pd.Categorical(names)
        self.name_counts = {"named": mapped, "missing": missing}
        return self

    def _named(self, frame: pd.DataFrame, codes_a: np.ndarray, codes_b: np.ndarray) -> pd.DataFrame:
        """`frame` with the columns name_a and name_b when the network has readable names."""
        if self._readable is not None:
            codes = self._readable.codes
            frame["name_a"] = _trusted_categorical(codes[codes_a], self._readable.dtype)
            frame["name_b"] = _trusted_categorical(codes[codes_b], self._readable.dtype)
        return frame

    @property
    def protein_count(self) -> int:
        """Number of proteins (those in at least one interaction with another protein)."""
        return self._core.protein_count

    @property
    def interaction_count(self) -> int:
        """Number of distinct interactions."""
        return self._core.interaction_count

    @property
    def weighted(self) -> bool:
        """Whether every interaction carries a weight (the weighted ``-w`` methods use them)."""
        return self._core.weighted

    @property
    def source(self) -> str:
        """The file the network was read from, or "" when built from pairs."""
        return self._core.source

    @property
    def format(self) -> str:
        """The detected (or named) format of the file, e.g. "plain edge list"."""
        return self._core.format

    @property
    def counts(self) -> dict:
        """What reading found: lines, pairs_read, self_pairs, repeated_pairs, pairs_without_weight,
        and missing_ids_dropped (rows left out for a missing identifier, with ``missing="drop"``)."""
        counts = self._core.counts()
        counts["missing_ids_dropped"] = self._missing_ids_dropped
        return counts

    @property
    def proteins(self) -> pd.Index:
        """The protein identifiers in id order: the categories of result columns ``a`` and ``b``."""
        if self._proteins is None:
            self._proteins = pd.Index(self._core.names(), dtype=object)
        return self._proteins

    def edges(self) -> pd.DataFrame:
        """The interactions as listed (input order and orientation, self-pairs left out,
        repeats kept), as a DataFrame with Categorical columns ``a`` and ``b``."""
        a, b = self._core.lines()
        return pd.DataFrame({"a": self._categorical(a), "b": self._categorical(b)})

    def _categorical(self, codes: np.ndarray) -> pd.Categorical:
        """A Categorical over the proteins from codes that are valid protein ids (the scorer's
        own), taken as they are: no check of every code, and no copy when they come in the
        integer type pandas keeps codes in (the scorer's results do)."""
        if self._dtype is None:
            self._dtype = pd.CategoricalDtype(self.proteins, ordered=False)
        return _trusted_categorical(codes, self._dtype)

    def __repr__(self) -> str:
        weighted = ", weighted" if self.weighted else ""
        return f"<vornel.Network: {self.protein_count} proteins, {self.interaction_count} interactions{weighted}>"


def read_network(path: Union[str, "os.PathLike[str]"], *, format: str = "", columns: str = "",
                 taxon: str = "", ids: str = "", genetic: bool = False,
                 weights: bool = True, min_weight: Optional[float] = None,
                 names: Optional[Union[str, "os.PathLike[str]"]] = None) -> Network:
    """Reads a network file as ``vornel`` does (gzip-compressed files included where the
    program reads them).

    format:  "" detects the format from the first lines; otherwise a name ``vornel --help``
             lists for --format (plain, string, biogrid, mitab, ...).
    columns: "" or "A,B[,W]": 1-based column numbers or header names (--columns).
    taxon:   "" keeps every species; otherwise an NCBI taxon id (--taxon).
    ids:     "" for the format's usual identifiers; otherwise which identifier columns to use
             where a format offers several (--ids: entrez, biogrid, systematic, symbol, uniprot).
    genetic: BioGRID: keep genetic interactions too (--genetic).
    weights: keep each row's weight; the network is weighted when every interaction has one.
    min_weight: keep only the interactions whose weight is at least this (--min-weight; weights
             as read, 0-1: STRING's combined_score 700 is 0.7); a network without weights is
             then a ValueError.
    names:   a mapping table of readable names (see ``Network.read_names``).

    Raises OSError when the file cannot be read and ValueError when its contents are not a
    network, with the program's error line (without the "vornel: " prefix) as message.
    """
    import os
    cut = float("nan") if min_weight is None else float(min_weight)
    network = Network(_vornel.read_network(os.fspath(path), format, columns, taxon, ids, genetic, weights, cut))
    return network if names is None else network.read_names(names)


def _is_missing(value: Any) -> bool:
    """Whether an identifier is a missing value: None, pandas' NA or NaT, or a number that is
    not equal to itself (NaN of float, numpy or Decimal)."""
    if value is None or value is pd.NA or value is pd.NaT:
        return True
    if isinstance(value, (numbers.Number, np.generic)):
        try:
            return bool(value != value)
        except (TypeError, ValueError):
            return False
    return False


def _identifiers(values: Iterable[Any], missing_rows: Optional[set] = None) -> list:
    """The identifiers as strings; a missing one becomes "" and its position goes into
    ``missing_rows``."""
    out = []
    for i, v in enumerate(values):
        if type(v) is str:
            out.append(v)
        elif missing_rows is not None and _is_missing(v):
            missing_rows.add(i)
            out.append("")
        else:
            out.append(v if isinstance(v, str) else str(v))
    return out


def _check_missing(missing: str) -> None:
    if missing not in ("raise", "drop"):
        raise ValueError(f'missing must be "raise" or "drop", not {missing!r}')


def _identifier_pairs(a: Iterable[Any], b: Iterable[Any], missing: str, labels: Optional[Sequence[Any]] = None) -> tuple:
    """Both identifier columns as strings, and the sorted positions of rows with a missing
    identifier. With missing="raise" such a row raises ValueError naming it (and its index
    label, for a DataFrame); with "drop" the caller leaves those rows out."""
    missing_rows: set = set()
    a_ids = _identifiers(a, missing_rows)
    b_ids = _identifiers(b, missing_rows)
    rows = sorted(missing_rows)
    if rows and missing == "raise":
        first = rows[0]
        label = f" (index label {labels[first]!r})" if labels is not None else ""
        raise ValueError(f"missing identifier in row {first}{label}: {len(rows)} row"
                         f"{'s' if len(rows) != 1 else ''} with None, NaN or NA as an identifier; "
                         'pass missing="drop" to leave them out')
    return a_ids, b_ids, rows


def _without_rows(values: list, rows: Sequence[int]) -> list:
    if not rows:
        return values
    dropped = set(rows)
    return [v for i, v in enumerate(values) if i not in dropped]


def _weights(values: Optional[Iterable[Any]]) -> Optional[np.ndarray]:
    if values is None:
        return None
    return np.asarray(pd.to_numeric(pd.Series(list(values) if not hasattr(values, "__len__") else values),
                                    errors="coerce"), dtype=np.float64)


def _build(a: Sequence[Any], b: Sequence[Any], weights: Optional[Iterable[Any]], missing: str = "raise",
           labels: Optional[Sequence[Any]] = None) -> Network:
    _check_missing(missing)
    a_ids, b_ids, rows = _identifier_pairs(a, b, missing, labels)
    weight_array = _weights(weights)
    if rows:
        a_ids, b_ids = _without_rows(a_ids, rows), _without_rows(b_ids, rows)
        if weight_array is not None and len(weight_array) == len(a_ids) + len(rows):
            weight_array = np.delete(weight_array, rows)
    return Network(_vornel.build_network(a_ids, b_ids, weight_array), missing_ids_dropped=len(rows))


def from_pandas(frame: pd.DataFrame, a: Union[str, int] = 0, b: Union[str, int] = 1,
                weight: Union[str, int, None] = None, *, missing: str = "raise") -> Network:
    """Builds a network from a DataFrame with two identifier columns and an optional weight
    column, each named by label or by position (default: the first two columns, no weight).
    Identifiers that are not strings are turned into strings (``str``). A weight that is
    missing, negative or not a number counts as none.

    missing: a row whose identifier is None, NaN or ``pd.NA`` raises ValueError naming the row
             ("raise", the default), or is left out and counted in
             ``counts["missing_ids_dropped"]`` ("drop").
    """
    def column(key: Union[str, int]) -> pd.Series:
        return frame.iloc[:, key] if isinstance(key, int) and key not in frame.columns else frame[key]
    return _build(column(a).tolist(), column(b).tolist(), None if weight is None else column(weight), missing,
                  labels=frame.index)


def from_edges(edges: Union[np.ndarray, Sequence[Sequence[Any]]],
               weights: Optional[Sequence[float]] = None, *, missing: str = "raise") -> Network:
    """Builds a network from pairs of identifiers: a numpy array of shape (m, 2) or a list of
    2-tuples (or 3-tuples whose third item is the weight, when ``weights`` is not given).
    Identifiers that are not strings are turned into strings (``str``); ``missing`` is as for
    ``from_pandas``."""
    if isinstance(edges, np.ndarray):
        if edges.ndim != 2 or edges.shape[1] != 2:
            raise ValueError(f"an edge array must have shape (m, 2), not {edges.shape}")
        return _build(edges[:, 0].tolist(), edges[:, 1].tolist(), weights, missing)
    rows = list(edges)
    if weights is None and rows and all(len(r) == 3 for r in rows):
        weights = [r[2] for r in rows]
    for r in rows:
        if len(r) not in (2, 3):
            raise ValueError(f"an edge must be a pair of identifiers, not {r!r}")
    return _build([r[0] for r in rows], [r[1] for r in rows], weights, missing)


def from_networkx(graph: Any, weight: Optional[str] = None) -> Network:
    """Builds a network from a networkx graph (direction ignored); with ``weight``, each
    interaction's weight is that edge attribute (missing: none). Node labels become
    identifiers through ``str``."""
    if weight is None:
        pairs = list(graph.edges())
        return _build([u for u, _ in pairs], [v for _, v in pairs], None)
    triples = list(graph.edges(data=weight, default=float("nan")))
    return _build([t[0] for t in triples], [t[1] for t in triples], [t[2] for t in triples])


def from_igraph(graph: Any, weight: Optional[str] = None, names: Optional[str] = "name") -> Network:
    """Builds a network from an igraph graph (direction ignored). Identifiers come from the
    vertex attribute ``names`` when the graph has it, else from the vertex indexes; with
    ``weight``, each interaction's weight is that edge attribute."""
    if names is not None and names in graph.vs.attributes():
        labels = list(graph.vs[names])
    else:
        labels = [str(i) for i in range(graph.vcount())]
    pairs = graph.get_edgelist()
    weights = graph.es[weight] if weight is not None else None
    return _build([labels[u] for u, _ in pairs], [labels[v] for _, v in pairs], weights)


def _pair_columns(pairs: Any) -> tuple:
    """The two identifier columns of the pairs to score; a missing identifier raises ValueError
    naming its row (a pair with it could only score 0)."""
    if isinstance(pairs, pd.DataFrame):
        a, b, _ = _identifier_pairs(pairs.iloc[:, 0].tolist(), pairs.iloc[:, 1].tolist(), "raise", pairs.index)
        return a, b
    if isinstance(pairs, np.ndarray):
        if pairs.ndim != 2 or pairs.shape[1] < 2:
            raise ValueError(f"a pair array must have shape (m, 2), not {pairs.shape}")
        a, b, _ = _identifier_pairs(pairs[:, 0].tolist(), pairs[:, 1].tolist(), "raise")
        return a, b
    rows = list(pairs)
    a, b, _ = _identifier_pairs([r[0] for r in rows], [r[1] for r in rows], "raise")
    return a, b


def _thread_count(threads: Any) -> int:
    """``threads`` checked as ``vornel --threads`` checks it (0: one per core)."""
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral) or \
            not 0 <= int(threads) <= _vornel.max_threads:
        raise ValueError(f"threads must be a whole number from 0 (one per core) to {_vornel.max_threads}, "
                         f"not {threads!r}")
    return int(threads)


class _ProgressPrinter:
    """progress=True: the program's report on sys.stderr, a bar redrawn in place on a terminal
    (from 2 s on, erased at the end), else a line every 5 s; nothing for shorter calls."""

    def __init__(self, step: str) -> None:
        self.step = step
        self.terminal = hasattr(sys.stderr, "isatty") and sys.stderr.isatty()
        self.next_line = 5.0
        self.drawn = False

    def __call__(self, done: int, total: int, seconds: float) -> None:
        share = min(1.0, done / total) if total else 0.0
        text = f"vornel: {self.step}: "
        if self.terminal:
            if seconds < 2:
                return
            filled = int(share * 30)
            text += "[" + "#" * filled + "." * (30 - filled) + "] "
        elif seconds < self.next_line:
            return
        else:
            self.next_line += 5.0
        text += f"{math.floor(share * 100):.0f}% after {seconds:.0f} s"
        if share > 0.01:
            text += f", about {seconds * (1 - share) / share:.0f} s left"
        sys.stderr.write("\r" + text + "\033[K" if self.terminal else text + "\n")
        sys.stderr.flush()
        self.drawn = self.drawn or self.terminal

    def close(self) -> None:
        if self.drawn:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()


def score(network: Network, method: str, pairs: Any = "network", *, iterations: int = 1,
          threads: int = 0, top: Optional[int] = None, ordered: bool = True,
          progress: Union[bool, Callable[[int, int, float], None], None] = None) -> pd.DataFrame:
    """Scores pairs of proteins with a method of ``methods()`` and returns a DataFrame with
    columns ``a``, ``b`` (Categoricals over ``network.proteins``) and ``score`` (float64),
    best first, in the order the ``vornel`` program writes them. Only pairs with a positive
    score are returned, as the program writes only those.

    pairs:      "network" scores the network's own interactions (as listed, first orientation);
                None proposes candidates (pairs not interacting); otherwise the pairs to score,
                as a DataFrame (first two columns), an (m, 2) array or a list of pairs.
    iterations: rounds of the iterative methods (below 1: one).
    threads:    0 uses one thread per core; at most 1024, and as the program does, no more
                than one per 256 proteins start (ValueError for anything else).
    top:        keep only the best ``top`` pairs (selected in C++: the others are never
                sorted nor turned into rows).
    ordered:    False skips the sort: the rows come in no particular order (and ``top`` keeps
                any ``top`` of them), several times faster for millions of rows.
    threads:    0 uses one thread per core.
    top:        keep only the best ``top`` pairs (picked in C++ as they are scored: the others
                are never kept, sorted nor turned into rows).
    ordered:    False skips the sort: the rows come in no particular order (with ``top``, the
                best ``top`` of them), several times faster for millions of rows.
    progress:   True reports on sys.stderr how far scoring has come, as the program does (a bar
                on a terminal, else a line every 5 s; nothing for calls under a few seconds);
                a callable is called as progress(done, total, seconds) about twice a second
                (rows of the scoring loops done and started so far, seconds since the start).

    The GIL is released while scoring, and Ctrl-C stops the run (KeyboardInterrupt).
    Raises ValueError for an unknown method, MemoryError when the records do not fit.
    """
    if top is not None and top < 0:
        raise ValueError("top must be 0 or more")
    threads = _thread_count(threads)
    if isinstance(pairs, str) and pairs == "network":
        source, a, b = "network", [], []
    elif pairs is None:
        source, a, b = "candidates", [], []
    else:
        source = "given"
        a, b = _pair_columns(pairs)
    printer = _ProgressPrinter(f"scoring with {method}") if progress is True else None
    report = printer if printer else (progress if callable(progress) else None)
    try:
        codes_a, codes_b, values = _vornel.score(network._core, method, source, a, b, int(iterations),
                                                 threads, top, bool(ordered), report)
    finally:
        if printer:
            printer.close()
    # copy=False: the columns are fresh arrays of their own, nothing else holds them.
    # measured: Categoricals and DataFrame of 5.7 million rows 0.08 -> 0.001 s (no copies, no
    # check of every code).
    return network._named(pd.DataFrame({"a": network._categorical(codes_a), "b": network._categorical(codes_b),
                                        "score": values}, copy=False), codes_a, codes_b)


def propose(network: Network, method: str, *, iterations: int = 1, threads: int = 0,
            top: Optional[int] = None, ordered: bool = True,
            progress: Union[bool, Callable[[int, int, float], None], None] = None) -> pd.DataFrame:
    """Proposes new interactions: ``score(network, method, None, ...)``, the candidates (pairs
    of proteins that do not interact) with a positive score, best first."""
    return score(network, method, None, iterations=iterations, threads=threads, top=top, ordered=ordered,
                 progress=progress)


@dataclass
class RefineResult:
    """The outcome of ``refine``: the kept pairs (filter phase first, then added pairs) and the
    three counts the ``ppi-refine`` program prints."""
    pairs: pd.DataFrame
    original: int
    filtered: int
    final: int


def _select(scored: pd.DataFrame, threshold: float) -> pd.DataFrame:
    if threshold > 1:
        return scored if math.isinf(threshold) else scored.iloc[:min(len(scored), math.ceil(threshold))]
    return scored[scored["score"].to_numpy() >= threshold]


def refine(network: Network, filter_method: str, filter_min_score: float, add_method: str,
           add_min_score: float, *, iterations: int = 1, threads: int = 0) -> RefineResult:
    """Refines a network as ``ppi-refine`` does, in process. Filter phase: the network's own
    interactions are scored with ``filter_method`` and kept when they score at least
    ``filter_min_score`` (when it is 1 or less) or as the top N, N = ``filter_min_score``
    rounded up (when it is greater than 1). Add phase, only when ``add_min_score`` > 0:
    candidates proposed by ``add_method`` are selected the same way and appended.

    Counts: ``original`` is the number of lines of the file the network was read from, as
    ``ppi-refine`` counts it (its newlines, and a last line without one; the file is counted
    when ``refine`` runs, and when it can no longer be read, its lines as read are taken; for a
    network built in memory, the number of pairs given);
    ``filtered`` the pairs kept by the filter phase; ``final`` those plus the added pairs.
    """
    def phase(method: str, pairs: Any, threshold: float) -> pd.DataFrame:
        top = math.ceil(threshold) if threshold > 1 and math.isfinite(threshold) else None
        return _select(score(network, method, pairs, iterations=iterations, threads=threads, top=top),
                       threshold)

    kept = phase(filter_method, "network", filter_min_score)
    filtered = len(kept)
    if add_min_score > 0:
        kept = pd.concat([kept, phase(add_method, None, add_min_score)], ignore_index=True)
    return RefineResult(pairs=kept.reset_index(drop=True), original=_original_count(network),
                        filtered=filtered, final=len(kept))


def _original_count(network: Network) -> int:
    """The lines of the network's file as ``ppi-refine`` counts them: a lone carriage return
    does not end a line there, though it does for reading."""
    if network.source:
        try:
            return int(_vornel.refine_line_count(network.source))
        except OSError:
            pass
    return int(network.counts["lines"])


def methods() -> pd.DataFrame:
    """The scoring methods, in the order ``vornel --help`` lists them: columns ``name``,
    ``description`` (its one-line summary), ``iterative`` (uses ``iterations``) and
    ``weighted`` (uses the interaction weights)."""
    return pd.DataFrame(_vornel.methods(), columns=["name", "description", "iterative", "weighted"])
