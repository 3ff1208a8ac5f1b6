#!/usr/bin/python3
"""Benchmark of the Python package against Python peers, in one process.

Needs the package importable (PYTHONPATH=build/python after a Release build, or installed with
pip) and the vornel program (build/vornel, or --build-dir). Measures, on the generated network
of 10,000 proteins / 100,000 interactions (tools/synth_network.py, cached in bench/work):

* all Jaccard candidates proposed into a DataFrame by vornel.propose (in the program's order,
  and unordered with ordered=False), against igraph's
  similarity_jaccard restricted to the same pairs (the pair list given to igraph, not timed)
  and networkx's jaccard_coefficient over a sample of those pairs, extrapolated to all; vornel
  and igraph run --repeats times each (median and first call reported: a first call also pays
  for memory the process never had, which on some virtual machines costs more than the work);
* on the human network (../shared/data/human/pp-pathways_ppi.tsv.gz, skipped when absent),
  vornel.propose(net, "l3", top=500) against the program's own scoring time (its log line
  "... pairs with a non-zero score after X s", before sorting and writing).

Reports wall seconds, ratios and the process's peak memory (maximum resident set size) after
each step. Example:
  PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_python.py
"""

import argparse
import gzip
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
HUMAN = os.path.join(REPO, "..", "shared", "data", "human", "pp-pathways_ppi.tsv.gz")


def log(text):
    print(text, file=sys.stderr, flush=True)


def peak_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def timed(fn):
    start = time.perf_counter()
    value = fn()
    return value, time.perf_counter() - start


def generated_network(work):
    path = os.path.join(work, "synth-10000-100000", "network.tsv")
    if not os.path.exists(path):
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "synth_network.py"), "--proteins", "10000",
                        "--interactions", "100000", "--seed", "1", "--out-dir", os.path.dirname(path)], check=True)
    return path


def human_network(work):
    if not os.path.exists(HUMAN):
        return None
    path = os.path.join(work, "human.tsv")
    if not os.path.exists(path):
        with gzip.open(HUMAN, "rb") as source, open(path, "wb") as target:
            shutil.copyfileobj(source, target)
    return path


def timed_repeats(fn, repeats):
    """Runs fn `repeats` times, dropping each result before the next call; returns the last
    result and the seconds of every call."""
    seconds = []
    value = None
    for _ in range(repeats):
        value = None
        value, spent = timed(fn)
        seconds.append(spent)
    return value, seconds


def describe(seconds):
    if len(seconds) == 1:
        return f"{seconds[0]:.3f} s"
    return f"{statistics.median(seconds):.3f} s median of {len(seconds)} (first call {seconds[0]:.3f} s)"


def jaccard_bench(vornel, path, sample_pairs, repeats):
    import igraph
    import networkx as nx
    net = vornel.read_network(path)
    result, ours = timed_repeats(lambda: vornel.propose(net, "jaccard"), repeats)
    log(f"vornel.propose jaccard: {len(result)} pairs in {describe(ours)} (peak {peak_mib():.0f} MiB)")
    loose, unordered = timed_repeats(lambda: vornel.propose(net, "jaccard", ordered=False), repeats)
    assert len(loose) == len(result)
    loose = None
    log(f"vornel.propose jaccard, ordered=False: {describe(unordered)} (peak {peak_mib():.0f} MiB)")

    names = list(net.proteins)
    edges = net.edges()
    u = edges["a"].cat.codes.to_numpy()
    v = edges["b"].cat.codes.to_numpy()
    graph = igraph.Graph(n=len(names), edges=list(zip(u.tolist(), v.tolist())))
    graph.simplify()
    pairs = list(zip(result["a"].cat.codes.tolist(), result["b"].cat.codes.tolist()))
    theirs, igraph_seconds = timed_repeats(lambda: graph.similarity_jaccard(pairs=pairs, loops=False), repeats)
    assert max(abs(x - y) for x, y in zip(theirs[:1000], result["score"][:1000])) < 1e-12
    log(f"igraph similarity_jaccard on the same pairs: {describe(igraph_seconds)} (peak {peak_mib():.0f} MiB)")

    nx_graph = nx.Graph()
    nx_graph.add_edges_from(zip(u.tolist(), v.tolist()))
    sample = pairs[:: max(1, len(pairs) // sample_pairs)]
    _, nx_sample_seconds = timed(lambda: list(nx.jaccard_coefficient(nx_graph, sample)))
    nx_seconds = nx_sample_seconds * len(pairs) / len(sample)
    log(f"networkx jaccard_coefficient: {len(sample)} pairs in {nx_sample_seconds:.3f} s, "
        f"{nx_seconds:.1f} s extrapolated to all (peak {peak_mib():.0f} MiB)")
    return {"pairs": len(result), "vornel": ours, "unordered": unordered, "igraph": igraph_seconds,
            "networkx": nx_seconds}


def ratio(theirs, ours):
    """Their time over ours, of the medians and of the first calls."""
    median = statistics.median(theirs) / statistics.median(ours)
    if len(ours) == 1:
        return f"{median:.0f}x"
    return f"{median:.0f}x; first calls {theirs[0] / ours[0]:.0f}x"


def l3_top_bench(vornel, path, vornel_bin, threads):
    log_text = subprocess.run([vornel_bin, "--threads", str(threads), path, "NULL", "l3", "1", os.devnull],
                              capture_output=True, text=True, check=True).stderr
    cli_score = float(re.search(r"pairs with a non-zero score after ([0-9.]+) s", log_text).group(1))
    cli_peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    log(f"vornel program l3: read and scored in {cli_score:.2f} s (peak {cli_peak:.0f} MiB)")
    net, read_seconds = timed(lambda: vornel.read_network(path))
    top, score_seconds = timed(lambda: vornel.propose(net, "l3", threads=threads, top=500))
    log(f"vornel.read_network {read_seconds:.2f} s + propose l3 top=500 {score_seconds:.2f} s "
        f"(peak {peak_mib():.0f} MiB)")
    return {"cli": cli_score, "cli_peak": cli_peak, "read": read_seconds, "score": score_seconds,
            "rows": len(top), "peak": peak_mib()}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build"))
    parser.add_argument("--work-dir", default=os.path.join(REPO, "bench", "work"))
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--networkx-sample-pairs", type=int, default=50000)
    parser.add_argument("--repeats", type=int, default=3,
                        help="calls of vornel.propose and of igraph for the Jaccard figures (median reported)")
    parser.add_argument("--skip-human", action="store_true", help="leave out the l3 top=500 run on the human network")
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build_dir, "python"))
    import vornel
    os.makedirs(args.work_dir, exist_ok=True)

    j = jaccard_bench(vornel, generated_network(args.work_dir), args.networkx_sample_pairs, args.repeats)
    nx_all = [j["networkx"]] * len(j["vornel"])
    print(f"jaccard candidates, 10,000 proteins / 100,000 interactions: {j['pairs']} pairs; "
          f"vornel {describe(j['vornel'])}, igraph {describe(j['igraph'])} ({ratio(j['igraph'], j['vornel'])}), "
          f"networkx {j['networkx']:.1f} s extrapolated ({ratio(nx_all, j['vornel'])}); "
          f"unordered (ordered=False) {describe(j['unordered'])}: igraph {ratio(j['igraph'], j['unordered'])}, "
          f"networkx {ratio(nx_all, j['unordered'])}")
    human = None if args.skip_human else human_network(args.work_dir)
    if args.skip_human:
        print("l3 top=500 on the human network skipped (--skip-human)")
    elif human is None:
        print(f"human network absent ({HUMAN}): l3 top=500 skipped")
    else:
        h = l3_top_bench(vornel, human, os.path.join(args.build_dir, "vornel"), args.threads)
        print(f"l3 top=500, human network: program reads and scores in {h['cli']:.2f} s (peak {h['cli_peak']:.0f} MiB); "
              f"package reads in {h['read']:.2f} s and scores with top=500 in {h['score']:.2f} s, "
              f"together {(h['read'] + h['score']) / h['cli']:.2f}x the program (peak {h['peak']:.0f} MiB)")


if __name__ == "__main__":
    main()
