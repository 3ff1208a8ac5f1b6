#!/usr/bin/python3
"""Peer implementations of the pair scores, for the vornel benchmark.

Each run loads a network, scores either all its interactions (--pairs network) or all
candidate pairs (--pairs candidates: not interacting, non-zero score), sorts them best first
(ties by identifiers, as vornel does for candidates) and writes "A<TAB>B<TAB>score" lines, so
that the timed work matches vornel's. Run with Debian's /usr/bin/python3 (numpy, scipy,
python3-igraph, python3-networkx).

  peers.py --tool scipy|igraph|networkx --method M --network FILE --pairs candidates|network
           --out FILE [--sample-rows N]
"""

import argparse
import math
import sys
import time

import numpy as np

METHODS = {
    "scipy": {"cn", "jaccard", "dice", "aa", "ra", "l3"},
    "igraph": {"jaccard", "dice", "aa"},
    "networkx": {"jaccard", "aa", "ra", "cn"},
}


def read_network(path):
    """Identifiers numbered in sorted order (the tie order), and the distinct interactions."""
    pairs = set()
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) < 2 or fields[0].startswith("#") or fields[0] == fields[1]:
                continue
            a, b = fields[0], fields[1]
            pairs.add((a, b) if a < b else (b, a))
    names = sorted({x for p in pairs for x in p})
    index = {name: i for i, name in enumerate(names)}
    edges = np.array([(index[a], index[b]) for a, b in pairs], dtype=np.int64).reshape(-1, 2)
    return names, edges


def shortest(x):
    """Shortest round-trip form, written like vornel's (no ".0" on whole numbers)."""
    text = repr(x)
    return text[:-2] if text.endswith(".0") else text


def write_sorted(path, names, u, v, score):
    """Best first, ties by (u, v); scores in shortest round-trip form."""
    keep = score != 0
    u, v, score = u[keep], v[keep], score[keep]
    order = np.lexsort((v, u, -score))
    names = np.array(names, dtype=object)
    with open(path, "w") as out:
        step = 1 << 20
        for start in range(0, len(order), step):
            part = order[start:start + step]
            out.write("".join(f"{a}\t{b}\t{shortest(s)}\n" for a, b, s in
                              zip(names[u[part]], names[v[part]], score[part].tolist())))
    return len(order)


def scipy_scores(method, names, edges, mode):
    from scipy import sparse
    n = len(names)
    rows = np.concatenate([edges[:, 0], edges[:, 1]])
    cols = np.concatenate([edges[:, 1], edges[:, 0]])
    adjacency = sparse.csr_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
    degree = np.asarray(adjacency.sum(axis=1)).ravel()
    if method in ("aa", "ra"):
        with np.errstate(divide="ignore"):
            weight = 1 / np.log(degree) if method == "aa" else 1 / degree
        weight[~np.isfinite(weight)] = 0
        product = adjacency @ sparse.diags(weight) @ adjacency
    elif method == "l3":
        scale = sparse.diags(1 / np.sqrt(degree))
        product = adjacency @ scale @ adjacency @ scale @ adjacency
    else:
        product = adjacency @ adjacency
    if mode == "candidates":
        product = sparse.triu(product, k=1).tocsr()
        product = product - product.multiply(adjacency)  # drop interacting pairs
    else:
        if method == "l3":
            raise SystemExit("scipy l3 on interactions would need path exclusion; not a like-for-like peer")
        product = sparse.triu(product.multiply(adjacency), k=1)
    product = product.tocoo()
    u, v, value = product.row.astype(np.int64), product.col.astype(np.int64), product.data
    if method == "jaccard":
        value = value / (degree[u] + degree[v] - value)
    elif method == "dice":
        value = 2 * value / (degree[u] + degree[v])
    return u, v, value


def candidate_pairs_igraph(graph):
    reach = graph.neighborhood(vertices=None, order=2, mindist=2)
    return [(u, v) for u, targets in enumerate(reach) for v in targets if v > u]


def igraph_scores(method, names, edges, mode):
    import igraph
    graph = igraph.Graph(n=len(names), edges=edges.tolist())
    if mode == "candidates":
        pairs = candidate_pairs_igraph(graph)
    else:
        pairs = [tuple(e) for e in edges.tolist()]
    if method in ("jaccard", "dice"):
        fn = graph.similarity_jaccard if method == "jaccard" else graph.similarity_dice
        # loops=False explicitly: with pairs, this igraph version otherwise counts each vertex
        # as its own neighbour.
        value = np.array(fn(pairs=pairs, loops=False), dtype=float)
    else:  # Adamic-Adar: igraph returns whole rows of the similarity matrix
        by_row = {}
        for u, v in pairs:
            by_row.setdefault(u, []).append(v)
        value_of = {}
        rows = sorted(by_row)
        for start in range(0, len(rows), 256):
            chunk = rows[start:start + 256]
            matrix = np.array(graph.similarity_inverse_log_weighted(vertices=chunk, mode="all"))
            for i, u in enumerate(chunk):
                targets = by_row[u]
                for v, s in zip(targets, matrix[i, targets].tolist()):
                    value_of[(u, v)] = s
        value = np.array([value_of[p] for p in pairs], dtype=float)
    pair_array = np.array(pairs, dtype=np.int64).reshape(-1, 2)
    u = np.minimum(pair_array[:, 0], pair_array[:, 1])
    v = np.maximum(pair_array[:, 0], pair_array[:, 1])
    return u, v, value


def networkx_scores(method, names, edges, mode, sample_rows):
    """With sample_rows, only the candidates of the first sample_rows proteins are scored."""
    import networkx as nx
    graph = nx.Graph()
    graph.add_nodes_from(range(len(names)))
    graph.add_edges_from(edges.tolist())
    if mode == "candidates":
        rows = range(len(names)) if sample_rows is None else range(min(sample_rows, len(names)))
        pairs = []
        for u in rows:
            reach = set()
            for a in graph[u]:
                reach.update(graph[a])
            pairs.extend((u, v) for v in reach if v > u and v not in graph[u])
    else:
        pairs = [tuple(e) for e in edges.tolist()]
    if method == "cn":
        scored = [(u, v, float(len(list(nx.common_neighbors(graph, u, v))))) for u, v in pairs]
    else:
        fn = {"jaccard": nx.jaccard_coefficient, "aa": nx.adamic_adar_index,
              "ra": nx.resource_allocation_index}[method]
        scored = list(fn(graph, pairs))
    u = np.array([s[0] for s in scored], dtype=np.int64)
    v = np.array([s[1] for s in scored], dtype=np.int64)
    value = np.array([s[2] for s in scored], dtype=float)
    return u, v, value


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, choices=sorted(METHODS))
    parser.add_argument("--method", required=True)
    parser.add_argument("--network", required=True)
    parser.add_argument("--pairs", required=True, choices=["candidates", "network"])
    parser.add_argument("--out", required=True)
    parser.add_argument("--sample-rows", type=int, default=None,
                        help="networkx only: score the candidates of this many proteins")
    args = parser.parse_args()
    if args.method not in METHODS[args.tool]:
        raise SystemExit(f"{args.tool} has no {args.method}")
    started = time.monotonic()
    names, edges = read_network(args.network)
    loaded = time.monotonic()
    if args.tool == "scipy":
        u, v, value = scipy_scores(args.method, names, edges, args.pairs)
    elif args.tool == "igraph":
        u, v, value = igraph_scores(args.method, names, edges, args.pairs)
    else:
        u, v, value = networkx_scores(args.method, names, edges, args.pairs, args.sample_rows)
    written = write_sorted(args.out, names, u, v, value)
    done = time.monotonic()
    print(f"peers: {args.tool} {args.method} {args.pairs}: {written} pairs written", file=sys.stderr)
    print(f"peers-timing: load={loaded - started:.3f} work={done - loaded:.3f} pairs={written}", file=sys.stderr)


if __name__ == "__main__":
    main()
