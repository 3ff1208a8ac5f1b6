"""Score and refine protein-protein interaction networks from Python.

The package runs the same C++ scorer as the ``vornel`` program, in process: build a network
(from a file in any format the program reads, a pandas DataFrame, a numpy array, a list of
pairs, or a networkx or igraph graph), then score pairs, score the network's own interactions
or propose candidates with any method. Results are pandas DataFrames with columns ``a``, ``b``
(Categoricals over the network's protein identifiers) and ``score``, best first, in the
program's order.

Examples
--------
>>> import vornel
>>> net = vornel.from_edges([("A", "B"), ("B", "C"), ("C", "D"), ("D", "A"), ("A", "C")])
>>> vornel.propose(net, "l3")
   a  b     score
0  B  D  0.666667
"""

from ._vornel import __version__  # the project's version, compiled in from CMakeLists.txt
from ._network import Network, from_edges, from_igraph, from_networkx, from_pandas, read_network
from ._scoring import RefineResult, methods, propose, refine, score, score_interactions

__all__ = [
    "Network", "RefineResult", "read_network", "from_pandas", "from_edges", "from_networkx",
    "from_igraph", "score", "score_interactions", "propose", "refine", "methods", "__version__",
]

