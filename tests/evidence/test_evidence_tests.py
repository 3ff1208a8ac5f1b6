"""The evidence tests' definitions of hits, precision and recall, on tiny data sets with a stub
in place of ppi-refine (it keeps or proposes pairs in a fixed order), so every figure can be
worked out by hand."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "evidence"))
import evidence  # noqa: E402


class StubPipeline:
    """Filter phase: keeps the first N pairs of the network file (N = threshold > 1) or all;
    scores a pair 1 unless `low` holds it. Add phase: proposes `proposals` in order."""

    def __init__(self, proposals=(), low=frozenset()):
        self.proposals = [evidence.pair_key(a, b) for a, b in proposals]
        self.low = low
        self.calls = []
        self.runs, self.seconds = 0, 0.0

    def run(self, name, pairs, filter_method, filter_threshold, add_method="none",
            add_threshold=0):
        self.calls.append((name, list(pairs)))
        keys = [evidence.pair_key(a, b) for a, b in pairs]
        kept = keys[:int(filter_threshold)] if filter_threshold > 1 else keys
        scored = [(a, b, 0.0 if evidence.pair_key(a, b) in self.low else 1.0) for a, b in pairs]
        return kept, list(self.proposals) if add_threshold > 0 else [], scored


def write(root, relative, lines):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as out:
        out.write("".join(line + "\n" for line in lines))


class EvidenceTestsTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.data = self.scratch.name

    def tearDown(self):
        self.scratch.cleanup()

    def test_screen_hits_are_new_pairs_between_network_proteins(self):
        write(self.data, "human/hi-ii-14.tsv", ["A\tB", "B\tC", "C\tD"])
        # C-A (new, reversed), B-D (new) are hits; B-A is known; A-E has a protein outside.
        write(self.data, "human/hi-iii.tsv", ["C\tA", "B\tD", "B\tA", "A\tE"])
        stub = StubPipeline(proposals=[("A", "D"), ("A", "C"), ("D", "B")])
        result = evidence.test_independent_screen(stub, self.data, ["m"])
        self.assertEqual(result["hits"], 2)
        self.assertEqual(result["rows"]["m"][100], 0.02)
        self.assertAlmostEqual(result["baseline"], 2 / 3)  # 2 hits among 3 non-adjacent pairs

    def test_complex_precision_counts_only_interactions_inside_the_standard(self):
        write(self.data, "yeast/cyc2008_complexes.tsv", ["A\tB\tC", "D\tE"])
        network = ["A\tB", "D\tE", "A\tD", "B\tC", "A\tX", "C\tE"]
        write(self.data, "yeast/krogan2006_extended.tsv", network)
        write(self.data, "yeast/krogan2006_core.tsv", ["A\tB", "B\tC"])
        result = evidence.test_known_complexes(StubPipeline(), self.data, ["m"])
        self.assertEqual(result["co_complex"], 3)  # A-B, D-E, B-C
        half = result["rows"][("m", 0.5)]       # keeps A-B, D-E, A-D
        self.assertEqual((half["kept"], half["in_standard"]), (3, 3))
        self.assertAlmostEqual(half["precision"], 2 / 3)
        self.assertAlmostEqual(half["recall"], 2 / 3)
        core = result["reference"]["core"]
        self.assertEqual((core["precision"], core["recall"]), (1.0, 2 / 3))
        self.assertEqual(result["reference"]["all"]["in_standard"], 5)  # A-X is outside

    def test_planted_pairs_scored_lowest_give_auc_one(self):
        lit = [f"p{i}\tp{i + 1}" for i in range(40)] + [f"p0\tp{i}" for i in range(2, 22)]
        write(self.data, "human/lit-bm-13.tsv", lit)
        real = {evidence.pair_key(*line.split("\t")) for line in lit}
        _, planted = evidence.plant_by_degree([tuple(line.split("\t")) for line in lit],
                                              evidence.PLANTED_SHARE, evidence.PLANTED_SEED)
        result = evidence.test_planted_noise(StubPipeline(low=planted), self.data, ["m"])
        self.assertEqual(result["planted"], 15)
        self.assertFalse(planted & real)
        self.assertEqual(result["rows"]["m"]["auc"], 1.0)
        self.assertEqual(result["rows"]["m"]["low_share"], 1.0)  # 15 planted = lowest 20% of 75

    def test_held_out_halves_split_the_network_differently_per_seed(self):
        lit = [f"p{i}\tp{i + 1}" for i in range(41)]
        write(self.data, "human/lit-bm-13.tsv", lit)
        stub = StubPipeline()
        evidence.test_held_out_half(stub, self.data, ["m"])
        halves = [frozenset(pairs) for _, pairs in stub.calls]
        self.assertEqual(len(halves), len(evidence.SPLIT_SEEDS))
        self.assertTrue(all(len(half) == 20 for half in halves))
        self.assertEqual(len(set(halves)), len(halves))

    def test_weighted_test_hands_weights_over_and_cuts_by_confidence_with_ties_in_file_order(self):
        write(self.data, "yeast/cyc2008_complexes.tsv", ["A\tB\tC", "D\tE"])
        # In a complex: A-B, B-C, D-E; across: A-D. Confidences: D-E and A-D tie at 0.9.
        write(self.data, "yeast/krogan2006_extended_scores.tsv",
              ["A\tD\t0.9", "A\tB\t0.2", "D\tE\t0.9", "B\tC\t0.5", "B\tA\t0.99", "C\tC\t1"])
        stub = StubPipeline()
        stub.run = lambda name, pairs, *rest: (stub.calls.append((name, list(pairs))) or
                                               ([evidence.pair_key(a, b) for a, b, _ in pairs], [], None))
        result = evidence.test_weighted_complexes(stub, self.data, ["m-w"])
        self.assertEqual([name for name, _ in stub.calls][:2], ["weighted_m_0.5", "weighted_m_0.7"])
        self.assertEqual(len(stub.calls), 2 * len(evidence.KEEP_SHARES))
        # The first row of a repeated pair is kept with its own confidence; self-pairs dropped.
        self.assertEqual(stub.calls[0][1], [("A", "D", "0.9"), ("A", "B", "0.2"), ("D", "E", "0.9"),
                                            ("B", "C", "0.5")])
        self.assertEqual(evidence.confidence_cut(stub.calls[0][1], 2), [("A", "D"), ("D", "E")])
        self.assertEqual(result["co_complex"], 3)
        cut = result["rows"][("confidence", 0.5)]  # top 2: A-D (across), D-E (inside)
        self.assertEqual((cut["kept"], cut["precision"], cut["recall"]), (2, 0.5, 1 / 3))

    def test_report_with_only_the_synthetic_test(self):
        row = {"kept": 8, "precision": 0.9, "recall": 0.8, "false_removed": 0.5,
               "add": {k: 0.25 for k in evidence.SYNTHETIC_ADD_K}}
        results = {"synthetic": {"rows": {"m": row}, "false": 2, "missing": 1,
                                 "interactions": 10, "top": 8, "precision_before": 0.8,
                                 "baseline": 0.01}}
        report = os.path.join(self.data, "evidence.md")
        evidence.write_report(report, results, ["test 1: no data"], "run.sh", 1.0, StubPipeline())
        evidence.write_plot_data(results, os.path.join(self.data, "plots"))
        with open(report) as text:
            content = text.read()
        self.assertIn("Skipped: test 1: no data", content)
        self.assertIn("| `m` | 0.900 / 0.800 | 0.250 |", content)
        self.assertEqual(os.listdir(os.path.join(self.data, "plots")), ["synthetic.dat"])

    def test_report_from_saved_outcomes_follows_the_registry_and_adds_up_the_runs(self):
        skipped = evidence.run_one_test("screen", "no-build", self.data,
                                        os.path.join(self.data, "work"))
        self.assertEqual(skipped["runs"], 0)
        self.assertIn("test 1: human/hi-ii-14.tsv, human/hi-iii.tsv not found", skipped["skipped"])
        row = {"kept": 8, "precision": 0.9, "recall": 0.8, "false_removed": 0.5,
               "add": {k: 0.25 for k in evidence.SYNTHETIC_ADD_K}}
        synthetic = {"key": "synthetic", "runs": 9, "seconds": 4.0,
                     "started": skipped["started"] + 1.0, "finished": skipped["started"] + 6.0,
                     "result": {"rows": {"m": row}, "false": 2, "missing": 1,
                                "interactions": 10, "top": 8, "precision_before": 0.8,
                                "baseline": 0.01}}
        plots = os.path.join(self.data, "plots")
        os.makedirs(plots)
        write(plots, "screen.dat", ["from an earlier run"])
        evidence.report_outcomes([synthetic, skipped], self.data, plots, "run.sh")
        with open(os.path.join(self.data, "evidence.md")) as text:
            content = text.read()
        self.assertIn("in 6 s (9 runs of ppi-refine, 4 s in them)", content)
        self.assertLess(content.index("Skipped: test 1:"), content.index("### Summary"))
        self.assertIn("### 5. The synthetic default network", content)
        self.assertEqual(os.listdir(plots), ["synthetic.dat"])
        self.assertEqual([name for name in os.listdir(self.data) if ".tmp" in name], [])


if __name__ == "__main__":
    unittest.main()
