"""Checks of tools/synth_network.py: the truth files agree with the observed network, the noise
follows its definition, and a seed always gives the same files."""

import collections
import os
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GENERATOR = os.path.join(REPO, "tools", "synth_network.py")


def generate(out_dir, proteins=300, interactions=1500, seed=5, false_share=0.2,
             missing_share=0.1):
    subprocess.run([sys.executable, GENERATOR, "--proteins", str(proteins),
                    "--interactions", str(interactions), "--seed", str(seed),
                    "--false-share", str(false_share), "--missing-share", str(missing_share),
                    "--out-dir", out_dir], check=True, capture_output=True)
    return {name: read_lines(os.path.join(out_dir, name + ".tsv"))
            for name in ("network", "true", "false", "missing")}


def read_lines(path):
    with open(path) as lines:
        return [tuple(line.rstrip("\n").split("\t")) for line in lines]


def unordered(pairs):
    return {frozenset(pair) for pair in pairs}


class SynthNetworkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        cls.files = generate(os.path.join(cls.scratch.name, "a"))

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def test_counts_follow_the_shares_of_the_true_interactions(self):
        self.assertEqual(len(self.files["true"]), 1500)
        self.assertEqual(len(self.files["false"]), 300)
        self.assertEqual(len(self.files["missing"]), 150)
        self.assertEqual(len(self.files["network"]), 1500 - 150 + 300)

    def test_network_is_true_minus_missing_plus_false(self):
        true, false = unordered(self.files["true"]), unordered(self.files["false"])
        missing = unordered(self.files["missing"])
        self.assertTrue(missing <= true)
        self.assertFalse(false & true)
        self.assertEqual(unordered(self.files["network"]), (true - missing) | false)

    def test_network_has_no_self_or_repeated_pair_and_keeps_every_protein(self):
        network = self.files["network"]
        self.assertTrue(all(a != b for a, b in network))
        self.assertEqual(len(unordered(network)), len(network))
        self.assertEqual(len({p for pair in network for p in pair}), 300)

    def test_false_interactions_gather_on_high_degree_proteins(self):
        degree = collections.Counter(p for pair in self.files["true"] for p in pair)
        mean_true = sum(degree[p] for pair in self.files["true"] for p in pair) / 3000
        mean_false = sum(degree[p] for pair in self.files["false"] for p in pair) / 600
        # Endpoints drawn in proportion to degree have the degree-weighted mean degree, which
        # exceeds the plain mean that uniformly drawn endpoints would give.
        plain_mean = sum(degree.values()) / len(degree)
        self.assertGreater(mean_false, 1.3 * plain_mean)
        self.assertGreater(mean_false, 0.7 * mean_true)

    def test_same_seed_same_files_other_seed_other_network(self):
        again = generate(os.path.join(self.scratch.name, "b"))
        self.assertEqual(again, self.files)
        other = generate(os.path.join(self.scratch.name, "c"), seed=6)
        self.assertNotEqual(other["network"], self.files["network"])

    def test_clean_network_without_noise(self):
        files = generate(os.path.join(self.scratch.name, "d"), false_share=0, missing_share=0)
        self.assertEqual(files["false"], [])
        self.assertEqual(files["missing"], [])
        self.assertEqual(unordered(files["network"]), unordered(files["true"]))

    def test_impossible_requests_are_refused(self):
        for proteins, interactions in ((100, 50), (10, 40)):
            finished = subprocess.run([sys.executable, GENERATOR, "--proteins", str(proteins),
                                       "--interactions", str(interactions), "--seed", "1",
                                       "--out-dir", os.path.join(self.scratch.name, "e")],
                                      capture_output=True, text=True)
            self.assertNotEqual(finished.returncode, 0)
            self.assertIn("--interactions", finished.stderr)


if __name__ == "__main__":
    unittest.main()
