"""Scores checked against networkx's own functions on the candidate pairs."""

import math

import networkx as nx
import numpy as np
import pytest

import vornel


@pytest.fixture(scope="module")
def graphs():
    rng = np.random.default_rng(5)
    graph = nx.Graph()
    graph.add_edges_from((f"p{u}", f"p{v}") for u, v in rng.integers(0, 150, size=(700, 2)) if u != v)
    return graph, vornel.from_networkx(graph)


def scores_of(frame):
    return {frozenset((a, b)): s for a, b, s in zip(frame["a"].astype(str), frame["b"].astype(str), frame["score"])}


@pytest.mark.parametrize("method,reference", [
    ("jaccard", nx.jaccard_coefficient),
    ("aa", nx.adamic_adar_index),
    ("ra", nx.resource_allocation_index),
    ("cn", lambda g, pairs: ((u, v, len(list(nx.common_neighbors(g, u, v)))) for u, v in pairs)),
])
def test_candidate_scores_match_networkx(graphs, method, reference):
    graph, net = graphs
    ours = scores_of(vornel.propose(net, method))
    theirs = {frozenset((u, v)): s for u, v, s in reference(graph, nx.non_edges(graph)) if s > 0}
    assert ours.keys() == theirs.keys()
    for pair, value in theirs.items():
        assert math.isclose(ours[pair], value, rel_tol=1e-12), pair
