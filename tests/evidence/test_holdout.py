"""The folds of test 7 and the selection study: every interaction in exactly one fold, training
networks that never hold their fold's pairs, hits only between training proteins, and the
precision table of test 7 worked out by hand with a stub in place of ppi-refine."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "evidence"))
import evidence  # noqa: E402
import holdout  # noqa: E402
from test_evidence_tests import StubPipeline, write  # noqa: E402


class FoldTest(unittest.TestCase):
    def test_folds_are_seeded_balanced_and_cover_every_interaction_once(self):
        numbers = holdout.fold_numbers(23, 10, seed=4)
        self.assertEqual(numbers, holdout.fold_numbers(23, 10, seed=4))
        self.assertNotEqual(numbers, holdout.fold_numbers(23, 10, seed=5))
        sizes = [numbers.count(fold) for fold in range(10)]
        self.assertEqual(sum(sizes), 23)
        self.assertLessEqual(max(sizes) - min(sizes), 1)

    def test_training_keeps_file_order_and_hits_need_both_proteins(self):
        pairs = [("A", "B"), ("B", "C"), ("C", "D"), ("D", "E"), ("E", "A")]
        numbers = [1, 0, 1, 0, 0]
        training, hits = holdout.fold_split(pairs, numbers, 1)
        self.assertEqual(training, [("B", "C"), ("D", "E"), ("E", "A")])
        # A-B is a hit (both proteins train elsewhere); C-D too; nothing of fold 0.
        self.assertEqual(hits, {("A", "B"), ("C", "D")})
        training, hits = holdout.fold_split([("A", "B"), ("B", "C"), ("X", "A")], [0, 0, 1], 1)
        self.assertEqual(hits, set())  # X appears only in the held-out fold

    def test_every_fold_trains_on_the_rest_only(self):
        pairs = [(f"P{i}", f"P{i + d}") for i in range(12) for d in (1, 2)]
        numbers = holdout.fold_numbers(len(pairs), 4, seed=1)
        seen_held = set()
        for index in range(4):
            training, hits = holdout.fold_split(pairs, numbers, index)
            held = {evidence.pair_key(a, b) for (a, b), n in zip(pairs, numbers) if n == index}
            self.assertFalse(held & {evidence.pair_key(a, b) for a, b in training})
            self.assertEqual(len(training) + len(held), len(pairs))
            self.assertLessEqual(hits, held)
            seen_held |= held
        self.assertEqual(len(seen_held), len(pairs))


class TenFoldTest(unittest.TestCase):
    def test_precision_per_fold_and_the_network_each_method_sees(self):
        with tempfile.TemporaryDirectory() as data:
            ring = [f"P{i}\tP{(i + 1) % 8}" for i in range(8)]
            chords = [f"P{i}\tP{(i + 3) % 8}" for i in range(8)]
            write(data, "human/huri.tsv", ring + chords)
            network = evidence.read_pairs(os.path.join(data, "human/huri.tsv"))
            # The stub proposes every pair of the network: a fold's pairs are all hits among
            # them (every protein keeps partners in the training folds).
            stub = StubPipeline(proposals=network)
            result = holdout.test_ten_fold(stub, data, ["cn", "l3"])
        self.assertEqual(list(result["rows"]), ["cn", "l3"])
        self.assertEqual(len(stub.calls), 2 * holdout.FOLDS)
        numbers = holdout.fold_numbers(len(network), holdout.FOLDS, holdout.FOLD_SEED)
        found = []
        for index in range(holdout.FOLDS):
            name, training = stub.calls[2 * index]
            self.assertEqual(name, f"fold{index}_cn")
            held = [p for p, n in zip(network, numbers) if n == index]
            self.assertFalse(set(held) & set(training))
            found.append(len(held) / 100)
        mean, sd = result["rows"]["l3"][100]
        self.assertAlmostEqual(mean, sum(found) / len(found))
        self.assertGreater(sd, 0)  # 16 pairs in 10 folds: folds of one and two pairs
        self.assertEqual(result["interactions"], 16)

    def test_report_and_plot_data_carry_every_method(self):
        rows = {"l3": {k: (0.5, 0.1) for k in holdout.TOP_K},
                "auto": {k: (0.25, 0.0) for k in holdout.TOP_K}}
        result = {"rows": rows, "folds": 10, "seed": 1, "hits": 5000.0, "interactions": 52000,
                  "proteins": 8000, "baseline": 0.0001, "label": "HuRI"}
        text = "\n".join(holdout.report_ten_fold(result))
        self.assertIn("| `l3` | 0.500 ± 0.100 | 0.500 ± 0.100 | 0.500 ± 0.100 |", text)
        self.assertIn("| random | 0.00010 |", text)
        with tempfile.TemporaryDirectory() as out:
            path = os.path.join(out, "tenfold.dat")
            holdout.write_ten_fold_plot_data(result, path)
            with open(path) as lines:
                table = [line.split() for line in lines]
        self.assertEqual(table[0], ["k", "l3", "l3_sd", "auto", "auto_sd"])
        self.assertEqual(table[2], ["500", "0.5", "0.1", "0.25", "0.0"])


class HarnessTest(unittest.TestCase):
    def test_test_seven_joins_the_report_summary_and_plots(self):
        synthetic_row = {"kept": 8, "precision": 0.9, "recall": 0.8, "false_removed": 0.5,
                         "add": {k: 0.25 for k in evidence.SYNTHETIC_ADD_K}}
        results = {"synthetic": {"rows": {"l3": synthetic_row, "wcd": synthetic_row},
                                 "false": 2, "missing": 1, "interactions": 10, "top": 8,
                                 "precision_before": 0.8, "baseline": 0.01},
                   "tenfold": {"rows": {"l3": {k: (0.4, 0.05) for k in holdout.TOP_K}},
                               "folds": 10, "seed": 1, "hits": 5.0, "interactions": 50,
                               "proteins": 20, "baseline": 0.01, "label": "HuRI"}}
        with tempfile.TemporaryDirectory() as out:
            report = os.path.join(out, "evidence.md")
            evidence.write_report(report, results, [], "run.sh", 1.0, StubPipeline())
            evidence.write_plot_data(results, os.path.join(out, "plots"))
            with open(report) as text:
                content = text.read()
            self.assertEqual(sorted(os.listdir(os.path.join(out, "plots"))),
                             ["synthetic.dat", "tenfold.dat"])
        self.assertIn("| 7. HuRI 10-fold, top 500 |", content)
        self.assertIn("| `l3` | 0.400 | 0.900 / 0.800 | 0.250 |", content)
        self.assertIn("| `wcd` | - | 0.900 / 0.800 | 0.250 |", content)  # not measured in 7
        self.assertIn("### 7. New pairs against a held-out tenth", content)

    def test_without_huri_test_seven_is_skipped(self):
        with tempfile.TemporaryDirectory() as data:
            outcome = evidence.run_one_test("tenfold", "no-build", data, os.path.join(data, "w"))
        self.assertIn("test 7: human/huri.tsv not found", outcome["skipped"])


if __name__ == "__main__":
    unittest.main()
