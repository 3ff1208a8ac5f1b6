"""The reference scores of the l3 study on a network small enough to score by hand.

    u - a - b - v        a - c (both partners of u), b - x (x outside the community)
    u - c - b

Paths of length three from u to v: u-a-b-v and u-c-b-v. k: u 2, a 3, c 3, b 4, v 1, x 1.
Local community {a, b, c}: internal degrees 2, 2, 2; external degrees a 0, c 0, b 1 (x)."""

import math
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "evidence"))
import l3_study  # noqa: E402

EDGES = [("u", "a"), ("u", "c"), ("a", "b"), ("c", "b"), ("b", "v"), ("a", "c"), ("b", "x")]


class ReferenceScoresTest(unittest.TestCase):
    def setUp(self):
        self.adjacency = l3_study.adjacency_of(EDGES)

    def scores(self, u, v):
        paths = l3_study.paths_of_three(self.adjacency, u)[v]
        return l3_study.pair_scores(self.adjacency, u, v, paths)

    def test_every_candidate_on_the_hand_worked_pair(self):
        scores = self.scores("u", "v")
        self.assertAlmostEqual(scores["l3"], 2 / math.sqrt(12))
        self.assertAlmostEqual(scores["l3n"], 2 / math.sqrt(12) / math.sqrt(2))
        self.assertAlmostEqual(scores["ch1"], 2 * 2 / math.sqrt(12))
        self.assertAlmostEqual(scores["ch2"], 2 * 3 / math.sqrt(2))
        self.assertAlmostEqual(scores["ch3"], 2 / math.sqrt(2))
        self.assertAlmostEqual(scores["sim"], 2 / 4 + 2 * (1 / 3))
        self.assertEqual(scores["l3+cn"], (scores["l3"], 0))

    def test_paths_are_simple_and_never_use_the_pair_itself(self):
        # a to v: only a-c-b-v (a-b-v is too short, a-b-x leads elsewhere).
        self.assertEqual(l3_study.paths_of_three(self.adjacency, "a")["v"], [("c", "b")])
        # a to its partner b: only a-u-c-b; walks through the a-b interaction are not paths.
        self.assertEqual(l3_study.paths_of_three(self.adjacency, "a")["b"], [("u", "c")])

    def test_candidates_are_non_interacting_pairs_in_byte_order(self):
        scored = l3_study.candidate_scores(self.adjacency)["l3"]
        pairs = {(u, v) for _, u, v in scored}
        self.assertIn(("u", "v"), pairs)
        self.assertTrue(all(u < v and v not in self.adjacency[u] for u, v in pairs))

    def test_ranking_breaks_ties_by_identifiers(self):
        scored = [(1.0, "b", "c"), (2.0, "x", "y"), (1.0, "a", "z")]
        self.assertEqual(l3_study.ranked_pairs(scored, 3), [("x", "y"), ("a", "z"), ("b", "c")])
        with_ties = [((1.0, 0), "a", "b"), ((1.0, 3), "c", "d"), ((0.5, 9), "e", "f")]
        self.assertEqual(l3_study.ranked_pairs(with_ties, 3), [("c", "d"), ("a", "b"), ("e", "f")])


if __name__ == "__main__":
    unittest.main()
