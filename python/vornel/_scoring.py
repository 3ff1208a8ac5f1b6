"""Scoring pairs, proposing candidates and refining a network, in process."""

from __future__ import annotations

import enum
import math
import warnings
from dataclasses import dataclass
from typing import Callable, List, Optional, Sequence, Tuple, TypeVar, Union

import numpy as np
import pandas as pd

from . import _vornel
from ._checks import (ProgressArg, check_flag, check_iterations, check_method, check_number, check_progress,
                      check_threads, check_top)
from ._network import Network, identifier_pairs
from ._progress import progress_report

PairsLike = Union[pd.DataFrame, np.ndarray, Sequence[Sequence[object]]]


class _NoDefault(enum.Enum):
    """The default of an argument whose absence means something of its own."""

    no_default = "NO_DEFAULT"

    def __repr__(self) -> str:
        return "<no_default>"


_no_default = _NoDefault.no_default


def _pair_columns(pairs: PairsLike) -> Tuple[List[str], List[str]]:
    """The two identifier columns of the pairs to score; a missing identifier raises ValueError
    naming its row (a pair with it could only score 0)."""
    if isinstance(pairs, pd.DataFrame):
        a, b, _ = identifier_pairs(pairs.iloc[:, 0].tolist(), pairs.iloc[:, 1].tolist(), "raise", pairs.index)
        return a, b
    if isinstance(pairs, np.ndarray):
        if pairs.ndim != 2 or pairs.shape[1] < 2:
            raise ValueError(f"a pair array must have shape (m, 2), not {pairs.shape}")
        a, b, _ = identifier_pairs(pairs[:, 0].tolist(), pairs[:, 1].tolist(), "raise")
        return a, b
    rows = list(pairs)
    for row in rows:
        if isinstance(row, str) or len(row) < 2:
            raise ValueError(f"pairs must hold pairs of identifiers, not {row!r}")
    a, b, _ = identifier_pairs([r[0] for r in rows], [r[1] for r in rows], "raise")
    return a, b


def _run(network: Network, method: str, source: _vornel.PairSource, pairs: Optional[PairsLike],
         iterations: int, threads: int, top: Optional[int], ordered: bool, progress: ProgressArg) -> pd.DataFrame:
    """Checks every argument, then scores; the rows become a DataFrame of Categoricals."""
    if not isinstance(network, Network):
        raise ValueError(f"network must be a vornel.Network, not {type(network).__name__}")
    method = check_method(method)
    rounds, threads, top = check_iterations(iterations), check_threads(threads), check_top(top)
    ordered, progress = check_flag("ordered", ordered), check_progress(progress)
    a, b = _pair_columns(pairs) if pairs is not None else ([], [])
    with progress_report(progress, f"scoring with {method}") as report:
        codes_a, codes_b, values = _vornel.score(network._core, method, source, a, b, rounds, threads, top, ordered,
                                                 report)
    # copy=False: the columns are fresh arrays of their own, nothing else holds them.
    # measured: Categoricals and DataFrame of 5.7 million rows 0.08 -> 0.001 s (no copies, no
    # check of every code).
    return network._named(pd.DataFrame({"a": network._categorical(codes_a), "b": network._categorical(codes_b),
                                        "score": values}, copy=False), codes_a, codes_b)


_SCORING_PARAMETERS = """iterations : int, default 1
        Rounds of the iterative methods (below 1: one); the other methods ignore it.
    threads : int, default 0
        Threads to score on: 0 uses one per usable processor; at most 1024, and, as the program
        does, no more than one per 256 proteins start.
    top : int, optional
        Keep only the best ``top`` pairs, picked in C++ as they are scored (the others are
        never kept, sorted nor turned into rows); by default every pair with a positive score.
    ordered : bool, default True
        False skips the sort: the rows come in no particular order (with ``top``, the best
        ``top`` of them), several times faster for millions of rows.
    progress : bool or callable, optional
        True reports on ``sys.stderr`` how far scoring has come, as the program does (a bar on
        a terminal, else a line every 5 s; nothing for calls under a few seconds); a callable
        is called as ``progress(done, total, seconds)`` about twice a second (rows of the
        scoring loops done and started so far, seconds since the start), and an exception it
        raises ends the call."""

_SCORING_RETURNS = """pandas.DataFrame
        Columns ``a`` and ``b`` (Categoricals whose categories are ``network.proteins``) and
        ``score`` (float64, positive), best first in the order the ``vornel`` program writes
        them; ``name_a`` and ``name_b`` too for a network with readable names."""

_SCORING_RAISES = """ValueError
        For an unknown method or an argument out of its range, naming it.
    MemoryError
        When the scored pairs do not fit in memory.
    KeyboardInterrupt
        On Ctrl-C, which stops the scoring threads within a fraction of a second."""


_Function = TypeVar("_Function", bound=Callable[..., pd.DataFrame])


def _scoring_doc(function: _Function) -> _Function:
    """Fills the parameters, returns and raises every scoring call shares into its docstring."""
    function.__doc__ = (function.__doc__ or "").format(parameters=_SCORING_PARAMETERS, returns=_SCORING_RETURNS,
                                               raises=_SCORING_RAISES)
    return function


@_scoring_doc
def score(network: Network, method: str, pairs: Union[PairsLike, None, _NoDefault] = _no_default, *,
          iterations: int = 1, threads: int = 0, top: Optional[int] = None, ordered: bool = True,
          progress: ProgressArg = None) -> pd.DataFrame:
    """Score the given pairs of proteins with a method.

    Only pairs with a positive score are returned, as the program writes only those.

    Parameters
    ----------
    network : Network
    method : str
        A method of ``methods()``, e.g. ``"l3"``, ``"cn"``, ``"wcd-w"``.
    pairs : pandas.DataFrame, numpy.ndarray, sequence of pairs, or None
        The pairs to score: a DataFrame (its first two columns), an (m, 2) array or a list of
        pairs of identifiers. Repeats are merged, self-pairs and pairs with an unknown protein
        left out, as with the program's pair file; rows come in their first orientation. None
        scores the candidates, as ``propose`` does. (Leaving ``pairs`` out, or passing the
        string ``"network"``, scores the network's own interactions, with a
        DeprecationWarning: call ``score_interactions``.)
    {parameters}

    Returns
    -------
    {returns}

    Raises
    ------
    {raises}

    See Also
    --------
    score_interactions : the network's own interactions.
    propose : the candidates, pairs that do not interact.

    Examples
    --------
    >>> import vornel
    >>> net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D"), ("D", "A"), ("A", "C")])
    >>> vornel.score(net, "cn", [("B", "D"), ("A", "C"), ("A", "nobody")])
       a  b  score
    0  B  D    2.0
    1  A  C    2.0
    """
    if pairs is _no_default or (isinstance(pairs, str) and pairs == "network"):
        spelled = "pairs=\"network\"" if pairs is not _no_default else "score(network, method) without pairs"
        warnings.warn(f"{spelled} is deprecated: score_interactions(network, method) scores the network's own "
                      "interactions", DeprecationWarning, stacklevel=2)
        return _run(network, method, _vornel.PairSource.own_interactions, None, iterations, threads, top, ordered,
                    progress)
    if isinstance(pairs, str):
        raise ValueError(f"pairs must be a DataFrame, an (m, 2) array, a list of pairs or None (the candidates), "
                         f"not the string {pairs!r}; score_interactions scores the network's own interactions")
    source = _vornel.PairSource.candidates if pairs is None else _vornel.PairSource.given
    return _run(network, method, source, pairs, iterations, threads, top, ordered, progress)


@_scoring_doc
def score_interactions(network: Network, method: str, *, iterations: int = 1, threads: int = 0,
                       top: Optional[int] = None, ordered: bool = True,
                       progress: ProgressArg = None) -> pd.DataFrame:
    """Score the network's own interactions with a method.

    What ``vornel NET NET ...`` does: every interaction as listed (first orientation), the
    filter phase of ``refine``.

    Parameters
    ----------
    network : Network
    method : str
        A method of ``methods()``.
    {parameters}

    Returns
    -------
    {returns}

    Raises
    ------
    {raises}

    See Also
    --------
    score, propose

    Examples
    --------
    >>> import vornel
    >>> net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D"), ("D", "A"), ("A", "C")])
    >>> vornel.score_interactions(net, "jaccard")
       a  b  score
    0  A  C   0.50
    1  A  B   0.25
    2  B  C   0.25
    3  C  D   0.25
    4  D  A   0.25
    """
    return _run(network, method, _vornel.PairSource.own_interactions, None, iterations, threads, top, ordered,
                progress)


@_scoring_doc
def propose(network: Network, method: str, *, iterations: int = 1, threads: int = 0, top: Optional[int] = None,
            ordered: bool = True, progress: ProgressArg = None) -> pd.DataFrame:
    """Propose new interactions: the candidates (pairs that do not interact) a method scores.

    What ``vornel NET NULL ...`` does; ``score(network, method, None, ...)`` is the same call.

    Parameters
    ----------
    network : Network
    method : str
        A method of ``methods()``.
    {parameters}

    Returns
    -------
    {returns}

    Raises
    ------
    {raises}

    See Also
    --------
    score, score_interactions

    Examples
    --------
    >>> import vornel
    >>> net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D"), ("D", "A"), ("A", "C")])
    >>> vornel.propose(net, "cn")
       a  b  score
    0  B  D    2.0
    """
    return _run(network, method, _vornel.PairSource.candidates, None, iterations, threads, top, ordered, progress)


@dataclass
class RefineResult:
    """The outcome of ``refine``.

    Attributes
    ----------
    pairs : pandas.DataFrame
        The kept pairs: those of the filter phase, then the added ones, with their scores.
    original : int
        Lines of the network's file as ``ppi-refine`` counts them (for a network built in
        memory, the pairs given).
    filtered : int
        Pairs kept by the filter phase.
    final : int
        Those and the added pairs.
    """

    pairs: pd.DataFrame
    original: int
    filtered: int
    final: int


def _select(scored: pd.DataFrame, threshold: float) -> pd.DataFrame:
    if threshold > 1:
        return scored if math.isinf(threshold) else scored.iloc[:min(len(scored), math.ceil(threshold))]
    return scored[scored["score"].to_numpy() >= threshold]


def _original_count(network: Network) -> int:
    """The lines of the network's file as ``ppi-refine`` counts them: a lone carriage return
    does not end a line there, though it does for reading."""
    if network.source:
        try:
            return int(_vornel.refine_line_count(network.source))
        except OSError:
            pass
    return int(network.counts["lines"])


def refine(network: Network, filter_method: str, filter_min_score: float, add_method: str, add_min_score: float, *,
           iterations: int = 1, threads: int = 0) -> RefineResult:
    """Refine a network as ``ppi-refine`` does, in process.

    Filter phase: the network's own interactions are scored with ``filter_method`` and kept
    when they score at least ``filter_min_score`` (when it is 1 or less) or as the top N, N the
    threshold rounded up (when it is greater than 1: 2.5 keeps 3). Add phase, only when
    ``add_min_score`` > 0: candidates proposed by ``add_method`` are selected the same way and
    appended.

    Parameters
    ----------
    network : Network
    filter_method, add_method : str
        Methods of ``methods()`` for the two phases.
    filter_min_score, add_min_score : float
        The thresholds of the two phases, as ``ppi-refine`` reads them.
    iterations : int, default 1
        Rounds of the iterative methods.
    threads : int, default 0
        As for ``score``.

    Returns
    -------
    RefineResult
        The kept pairs and the three counts ``ppi-refine`` prints. ``original`` counts the
        lines of the network's file as ``ppi-refine`` does (its newlines, and a last line
        without one), when ``refine`` runs; a file that can no longer be read gives its lines
        as read, a network built in memory the pairs given.

    Raises
    ------
    ValueError
        For an unknown method or an argument out of its range, naming it.

    Examples
    --------
    >>> import vornel
    >>> net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D"), ("D", "A"), ("A", "C")])
    >>> result = vornel.refine(net, "cn", 1.0, "cn", 1)
    >>> result.original, result.filtered, result.final
    (5, 5, 6)
    >>> result.pairs.tail(1)
       a  b  score
    5  B  D    2.0
    """
    filter_min = check_number("filter_min_score", filter_min_score)
    add_min = check_number("add_min_score", add_min_score)
    check_method(filter_method, "filter_method")
    check_method(add_method, "add_method")

    def phase(method: str, candidates: bool, threshold: float) -> pd.DataFrame:
        top = math.ceil(threshold) if threshold > 1 and math.isfinite(threshold) else None
        call = propose if candidates else score_interactions
        return _select(call(network, method, iterations=iterations, threads=threads, top=top), threshold)

    kept = phase(filter_method, False, filter_min)
    filtered = len(kept)
    if add_min > 0:
        kept = pd.concat([kept, phase(add_method, True, add_min)], ignore_index=True)
    return RefineResult(pairs=kept.reset_index(drop=True), original=_original_count(network),
                        filtered=filtered, final=len(kept))


def methods() -> pd.DataFrame:
    """The scoring methods, in the order ``vornel --help`` lists them.

    Returns
    -------
    pandas.DataFrame
        Columns ``name``, ``description`` (its one-line summary), ``iterative`` (uses
        ``iterations``) and ``weighted`` (uses the interaction weights).

    Examples
    --------
    >>> import vornel
    >>> listed = vornel.methods()
    >>> list(listed.columns)
    ['name', 'description', 'iterative', 'weighted']
    >>> "l3" in set(listed["name"])
    True
    """
    return pd.DataFrame(_vornel.methods(), columns=["name", "description", "iterative", "weighted"])
