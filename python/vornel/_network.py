"""Networks: read from a file or built from pandas, numpy, lists of pairs, networkx or igraph."""

from __future__ import annotations

import numbers
import os
from typing import Callable, Dict, Iterable, List, Literal, Optional, Protocol, Sequence, Set, Tuple, Union

import numpy as np
import pandas as pd

from . import _vornel
from ._checks import ProgressArg, check_flag, check_missing, check_number, check_option, check_progress
from ._progress import progress_report

PathLike = Union[str, "os.PathLike[str]"]
EdgesLike = Union[np.ndarray, Sequence[Sequence[object]]]
Column = Union[str, int]
MissingPolicy = Literal["raise", "drop"]


class NetworkxGraph(Protocol):
    """What ``from_networkx`` uses of a networkx graph."""

    def edges(self, *args: object, **kwargs: object) -> Iterable[Tuple[object, ...]]: ...


class IgraphVertices(Protocol):
    def attributes(self) -> List[str]: ...

    def __getitem__(self, name: str) -> List[object]: ...


class IgraphEdges(Protocol):
    def __getitem__(self, name: str) -> List[object]: ...


class IgraphGraph(Protocol):
    """What ``from_igraph`` uses of an igraph graph."""

    @property
    def vs(self) -> IgraphVertices: ...

    @property
    def es(self) -> IgraphEdges: ...

    def vcount(self) -> int: ...

    def get_edgelist(self) -> List[Tuple[int, int]]: ...


def _categorical_builder() -> "Callable[[np.ndarray, pd.CategoricalDtype], pd.Categorical]":
    """How to build a Categorical from codes known to be valid without checking them: pandas
    2.1 and later take ``validate=False``; before, the constructor's ``fastpath`` skips it."""
    import inspect
    if "validate" in inspect.signature(pd.Categorical.from_codes).parameters:
        return lambda codes, dtype: pd.Categorical.from_codes(codes, dtype=dtype, validate=False)
    return lambda codes, dtype: pd.Categorical(codes, dtype=dtype, fastpath=True)


_trusted_categorical = _categorical_builder()


class Network:
    """An undirected protein-protein interaction network, as the scorer holds it.

    Self-pairs are dropped, repeated pairs merged (keeping the largest weight) and proteins
    numbered in byte order of their identifiers. A network is not built by calling ``Network``
    but by one of the readers.

    Attributes
    ----------
    name_counts : dict of str to int
        After ``read_names``: how many proteins were ``named`` and how many ``missing``.

    See Also
    --------
    read_network, from_pandas, from_edges, from_networkx, from_igraph

    Examples
    --------
    >>> import vornel
    >>> net = vornel.from_edges([("B", "A"), ("A", "C"), ("A", "B"), ("C", "C")])
    >>> net
    <vornel.Network: 3 proteins, 2 interactions>
    >>> list(net.proteins)
    ['A', 'B', 'C']
    """

    _core: _vornel.Network
    _missing_ids_dropped: int
    _proteins: Optional[pd.Index]
    _dtype: Optional[pd.CategoricalDtype]
    _readable: Optional[pd.Categorical]
    name_counts: Dict[str, int]

    def __init__(self) -> None:
        raise TypeError("a Network is built by read_network, from_pandas, from_edges, from_networkx or from_igraph")

    @classmethod
    def _wrap(cls, core: _vornel.Network, missing_ids_dropped: int = 0) -> "Network":
        """The network around the compiled module's network ``core``."""
        network = cls.__new__(cls)
        network._core = core
        network._missing_ids_dropped = missing_ids_dropped
        network._proteins = None
        network._dtype = None
        network._readable = None  # by protein id, from a names map
        network.name_counts = {}
        return network

    def read_names(self, path: PathLike) -> "Network":
        r"""Read readable names for the proteins from a mapping table, as ``vornel --names`` does.

        Results of ``score`` and ``propose`` then carry Categorical columns ``name_a`` and
        ``name_b``; a protein missing from the map keeps its identifier there.

        Parameters
        ----------
        path : str or os.PathLike
            STRING's ``protein.info`` or any table whose first two columns are an identifier
            and its name (plain or gzip).

        Returns
        -------
        Network
            This network, now with names; ``name_counts`` says how many proteins were
            ``named`` and how many ``missing``.

        Raises
        ------
        OSError
            When the file cannot be read.
        ValueError
            When a row does not hold an identifier and a name.

        Examples
        --------
        >>> import os, tempfile, vornel
        >>> path = os.path.join(tempfile.mkdtemp(), "names.tsv")
        >>> with open(path, "w") as out:
        ...     _ = out.write("A\tAlpha\nB\tBeta\n")
        >>> net = vornel.from_edges([("A", "B"), ("B", "C")]).read_names(path)
        >>> net.name_counts
        {'named': 2, 'missing': 1}
        """
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
    def counts(self) -> Dict[str, int]:
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
        """The interactions as listed.

        Returns
        -------
        pandas.DataFrame
            Categorical columns ``a`` and ``b``, in input order and orientation, self-pairs
            left out and repeats kept.

        Examples
        --------
        >>> import vornel
        >>> vornel.from_edges([("B", "A"), ("A", "C"), ("A", "B")]).edges()
           a  b
        0  B  A
        1  A  C
        2  A  B
        """
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


def read_network(path: PathLike, *, format: Optional[str] = None, columns: Optional[str] = None,
                 taxon: Optional[str] = None, ids: Optional[str] = None, genetic: bool = False,
                 weights: bool = True, min_weight: Optional[float] = None,
                 names: Optional[PathLike] = None, progress: ProgressArg = None) -> Network:
    r"""Read a network file as the ``vornel`` program does.

    Every format the program reads is read, gzip-compressed files included; each keyword is the
    program's option of that name, checked as the program checks it.

    Parameters
    ----------
    path : str or os.PathLike
        The network file.
    format : str, optional
        A format name ``vornel --help`` lists for ``--format`` (plain, string, biogrid,
        mitab, ...); by default the format is detected from the first lines.
    columns : str, optional
        ``"A,B"`` or ``"A,B,W"``: 1-based column numbers or header names (``--columns``).
    taxon : str, optional
        Keep only interactions of this NCBI taxon id, digits (``--taxon``); by default every
        species is kept.
    ids : str, optional
        Which identifier columns to use where a format offers several (``--ids``: entrez,
        biogrid, systematic, symbol, uniprot); by default the format's usual ones.
    genetic : bool, default False
        BioGRID: keep genetic interactions too (``--genetic``).
    weights : bool, default True
        Keep each row's weight; the network is weighted when every interaction has one.
    min_weight : float, optional
        Keep only the interactions whose weight is at least this (``--min-weight``; weights as
        read, 0-1: STRING's combined_score 700 is 0.7).
    names : str or os.PathLike, optional
        A mapping table of readable names (see ``Network.read_names``).
    progress : bool or callable, optional
        True reports on ``sys.stderr`` how far reading has come, as the program does (a bar on
        a terminal, else a line every 5 s; nothing for reads under a few seconds); a callable
        is called as ``progress(done, total, seconds)`` about twice a second (bytes of the file
        read so far and its size, compressed bytes for a gzip file; seconds since the start)
        and once more with ``done == total`` when the network is read, and an exception it
        raises ends the call. A file without a size (a pipe) gets no reports.

    Returns
    -------
    Network

    Raises
    ------
    OSError
        When the file cannot be read (missing, unreadable, corrupt compression).
    ValueError
        When its contents are not a network, the network is empty, ``min_weight`` is given for
        a file without weights, or an option is not one the program accepts. The message is the
        program's error line without its ``vornel: `` prefix.
    KeyboardInterrupt
        On Ctrl-C, which stops reading within a fraction of a second.

    See Also
    --------
    from_pandas, from_edges : networks built from data in memory.

    Examples
    --------
    >>> import os, tempfile, vornel
    >>> path = os.path.join(tempfile.mkdtemp(), "net.tsv")
    >>> with open(path, "w") as out:
    ...     _ = out.write("A\tB\t0.9\nB\tC\t0.5\nC\tA\t0.7\nC\tD\t0.2\n")
    >>> vornel.read_network(path)
    <vornel.Network: 4 proteins, 4 interactions, weighted>
    >>> vornel.read_network(path, min_weight=0.5)
    <vornel.Network: 3 proteins, 3 interactions, weighted>
    """
    path = os.fspath(path)
    options = dict(format=check_option("format", format), columns=check_option("columns", columns),
                   taxon=check_option("taxon", taxon), ids=check_option("ids", ids),
                   genetic=check_flag("genetic", genetic), weights=check_flag("weights", weights),
                   min_weight=check_number("min_weight", min_weight, optional=True))
    with progress_report(check_progress(progress), f"reading {path}") as report:
        core = _vornel.read_network(path, **options, progress=report)
    network = Network._wrap(core)
    return network if names is None else network.read_names(names)


def _is_missing(value: object) -> bool:
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


def _identifiers(values: Iterable[object], missing_rows: Optional[Set[int]] = None) -> List[str]:
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


def identifier_pairs(a: Iterable[object], b: Iterable[object], missing: MissingPolicy,
                     labels: Optional[Sequence[object]] = None) -> Tuple[List[str], List[str], List[int]]:
    """Both identifier columns as strings, and the sorted positions of rows with a missing
    identifier. With missing="raise" such a row raises ValueError naming it (and its index
    label, for a DataFrame); with "drop" the caller leaves those rows out."""
    missing_rows: Set[int] = set()
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


def _without_rows(values: List[str], rows: Sequence[int]) -> List[str]:
    if not rows:
        return values
    dropped = set(rows)
    return [v for i, v in enumerate(values) if i not in dropped]


def _weights(values: Optional[Iterable[object]]) -> Optional[np.ndarray]:
    if values is None:
        return None
    return np.asarray(pd.to_numeric(pd.Series(list(values) if not hasattr(values, "__len__") else values),
                                    errors="coerce"), dtype=np.float64)


def _build(a: Sequence[object], b: Sequence[object], weights: Optional[Iterable[object]],
           missing: MissingPolicy = "raise", labels: Optional[Sequence[object]] = None) -> Network:
    check_missing(missing)
    a_ids, b_ids, rows = identifier_pairs(a, b, missing, labels)
    weight_array = _weights(weights)
    if rows:
        a_ids, b_ids = _without_rows(a_ids, rows), _without_rows(b_ids, rows)
        if weight_array is not None and len(weight_array) == len(a_ids) + len(rows):
            weight_array = np.delete(weight_array, rows)
    return Network._wrap(_vornel.build_network(a_ids, b_ids, weight_array), missing_ids_dropped=len(rows))


def from_pandas(frame: pd.DataFrame, a: Column = 0, b: Column = 1, weight: Optional[Column] = None, *,
                missing: MissingPolicy = "raise") -> Network:
    """Build a network from a DataFrame with two identifier columns and an optional weight column.

    Parameters
    ----------
    frame : pandas.DataFrame
    a, b : str or int, default 0 and 1
        The identifier columns, by label or by position. Identifiers that are not strings are
        turned into strings (``str``).
    weight : str or int, optional
        The weight column; a weight that is missing, negative or not a number counts as none.
    missing : {"raise", "drop"}, default "raise"
        A row whose identifier is None, NaN or ``pd.NA`` raises ValueError naming the row
        ("raise"), or is left out and counted in ``counts["missing_ids_dropped"]`` ("drop").

    Returns
    -------
    Network

    Raises
    ------
    ValueError
        For a missing identifier (with ``missing="raise"``), or when no interaction is left.
    KeyError
        When a column is not in the frame.

    Examples
    --------
    >>> import pandas as pd, vornel
    >>> frame = pd.DataFrame({"p1": ["A", "B", None], "p2": ["B", "C", "A"], "conf": [0.9, 0.4, 0.3]})
    >>> net = vornel.from_pandas(frame, "p1", "p2", weight="conf", missing="drop")
    >>> net, net.counts["missing_ids_dropped"]
    (<vornel.Network: 3 proteins, 2 interactions, weighted>, 1)
    """
    def column(key: Column) -> pd.Series:
        return frame.iloc[:, key] if isinstance(key, int) and key not in frame.columns else frame[key]
    return _build(column(a).tolist(), column(b).tolist(), None if weight is None else column(weight), missing,
                  labels=frame.index)


def from_edges(edges: EdgesLike, weights: Optional[Sequence[float]] = None, *,
               missing: MissingPolicy = "raise") -> Network:
    """Build a network from pairs of identifiers.

    Parameters
    ----------
    edges : numpy.ndarray or sequence of tuples
        An array of shape (m, 2), or a list of 2-tuples (or of 3-tuples whose third item is the
        weight, when ``weights`` is not given). Identifiers that are not strings are turned
        into strings (``str``), so ``10`` sorts before ``2``.
    weights : sequence of float, optional
        One weight per pair.
    missing : {"raise", "drop"}, default "raise"
        As for ``from_pandas``.

    Returns
    -------
    Network

    Raises
    ------
    ValueError
        For an array of another shape, an item that is not a pair, a missing identifier (with
        ``missing="raise"``), or when no interaction is left.

    Examples
    --------
    >>> import numpy as np, vornel
    >>> net = vornel.from_edges(np.array([[1, 2], [2, 3], [3, 10]]))
    >>> list(net.proteins), net.weighted
    (['1', '10', '2', '3'], False)
    >>> vornel.from_edges([("A", "B", 0.9), ("B", "C", 0.5)])
    <vornel.Network: 3 proteins, 2 interactions, weighted>
    """
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


def from_networkx(graph: NetworkxGraph, weight: Optional[str] = None) -> Network:
    """Build a network from a networkx graph (direction ignored).

    Parameters
    ----------
    graph : networkx.Graph
        Any networkx graph; node labels become identifiers through ``str``.
    weight : str, optional
        The edge attribute holding each interaction's weight (an edge without it: none).

    Returns
    -------
    Network

    Raises
    ------
    ValueError
        For a node that is a missing value (None, NaN), or a graph without edges between two
        nodes.

    Examples
    --------
    >>> import networkx as nx, vornel
    >>> vornel.from_networkx(nx.path_graph(4))
    <vornel.Network: 4 proteins, 3 interactions>
    """
    if weight is None:
        pairs = list(graph.edges())
        return _build([u for u, _ in pairs], [v for _, v in pairs], None)
    triples = list(graph.edges(data=weight, default=float("nan")))
    return _build([t[0] for t in triples], [t[1] for t in triples], [t[2] for t in triples])


def from_igraph(graph: IgraphGraph, weight: Optional[str] = None, names: Optional[str] = "name") -> Network:
    """Build a network from an igraph graph (direction ignored).

    Parameters
    ----------
    graph : igraph.Graph
    weight : str, optional
        The edge attribute holding each interaction's weight.
    names : str or None, default "name"
        The vertex attribute holding the identifiers; without it (or with None), the vertex
        indexes are the identifiers.

    Returns
    -------
    Network

    Raises
    ------
    ValueError
        For an identifier that is a missing value, or a graph without edges between two
        vertices.

    Examples
    --------
    >>> import igraph, vornel
    >>> vornel.from_igraph(igraph.Graph.Ring(5))
    <vornel.Network: 5 proteins, 5 interactions>
    """
    if names is not None and names in graph.vs.attributes():
        labels = list(graph.vs[names])
    else:
        labels = [str(i) for i in range(graph.vcount())]
    pairs = graph.get_edgelist()
    weights = graph.es[weight] if weight is not None else None
    return _build([labels[u] for u, _ in pairs], [labels[v] for _, v in pairs], weights)
