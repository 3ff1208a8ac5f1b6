"""Compiled core of the vornel package (python/src/module.cpp); use the functions of `vornel`."""

import enum
from typing import Callable, Dict, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

__version__: str
max_threads: int

class Network:
    """A network as the scorer holds it, with what reading it found."""

    @property
    def protein_count(self) -> int: ...
    @property
    def interaction_count(self) -> int: ...
    @property
    def weighted(self) -> bool: ...
    @property
    def source(self) -> str: ...
    @property
    def format(self) -> str: ...
    def names(self) -> List[str]: ...
    def lines(self) -> Tuple[npt.NDArray[np.uint32], npt.NDArray[np.uint32]]: ...
    def counts(self) -> Dict[str, int]: ...

class PairSource(enum.Enum):
    """Which pairs a call of `score` scores."""

    candidates = 0
    own_interactions = 1
    given = 2

def read_network(
    path: str,
    *,
    format: Optional[str] = None,
    columns: Optional[str] = None,
    taxon: Optional[str] = None,
    ids: Optional[str] = None,
    genetic: bool = False,
    weights: bool = True,
    min_weight: Optional[float] = None,
    progress: Optional[Callable[[int, int, float], None]] = None,
) -> Network: ...
def readable_names(network: Network, path: str) -> Tuple[List[str], int, int]: ...
def build_network(a: List[str], b: List[str], weights: Optional[npt.NDArray[np.float64]]) -> Network: ...
def score(
    network: Network,
    method: str,
    source: PairSource,
    pairs_a: List[str],
    pairs_b: List[str],
    iterations: int,
    threads: int,
    top: Optional[int],
    ordered: bool,
    progress: Optional[Callable[[int, int, float], None]] = None,
) -> Tuple[npt.NDArray[np.signedinteger], npt.NDArray[np.signedinteger], npt.NDArray[np.float64]]: ...
def methods() -> List[Tuple[str, str, bool, bool]]: ...
def refine_line_count(path: str) -> int: ...
