"""The evidence figures on cases worked out by hand: precision at a cut, the AUC with ties, the
share among the lowest-scored with a tie group across the cut, and degree-proportional planting."""

import collections
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "evidence"))
import evidence  # noqa: E402


class MetricsTest(unittest.TestCase):
    def test_precision_at_counts_missing_ranks_as_misses(self):
        ranked = [("a", "b"), ("a", "c"), ("b", "c")]
        result = evidence.precision_at(ranked, {("a", "c"), ("b", "c")}, [1, 2, 5])
        self.assertEqual(result, {1: 0.0, 2: 0.5, 5: 0.4})

    def test_auc_counts_ties_as_half(self):
        self.assertEqual(evidence.auc_with_ties([3, 2], [1, 0]), 1.0)
        self.assertEqual(evidence.auc_with_ties([0, 0], [0, 0]), 0.5)
        # pairs: 2>1, 2>0, 1=1 (half), 1>0  -> 3.5 of 4
        self.assertEqual(evidence.auc_with_ties([2, 1], [1, 0]), 0.875)

    def test_lowest_share_spreads_a_tie_group_across_the_cut(self):
        # Lowest 20% of 10 items = 2 items; the four zeros (two marked) straddle the cut, so
        # the expected marked share of the two taken is 2/4.
        items = [(0.0, 1), (0.0, 1), (0.0, 0), (0.0, 0)] + [(1.0, 0)] * 6
        self.assertAlmostEqual(evidence.share_among_lowest(items, 0.2), 0.5)
        items = [(0.1, 1), (0.2, 0)] + [(1.0, 0)] * 8
        self.assertAlmostEqual(evidence.share_among_lowest(items, 0.2), 0.5)

    def test_planted_pairs_are_new_distinct_and_follow_degree(self):
        network = [("hub", f"p{i}") for i in range(20)] + [(f"p{i}", f"p{i + 1}") for i in range(59)]
        combined, planted = evidence.plant_by_degree(network, 0.25, seed=3)
        self.assertEqual(len(planted), 20)
        present = {evidence.pair_key(a, b) for a, b in network}
        self.assertFalse(planted & present)
        self.assertEqual(len(combined), len(network) + 20)
        self.assertEqual(set(combined), set(network) | planted)
        # The hub holds 20 of the 158 interaction ends and two thirds of its pairs are free, so
        # it should take about 3.4 of the 40 planted ends; endpoints drawn uniformly over the
        # 61 proteins would give it 0.66.
        hub_ends = [collections.Counter(p for pair in evidence.plant_by_degree(network, 0.25, s)[1]
                                        for p in pair)["hub"] for s in range(20)]
        self.assertGreater(sum(hub_ends) / len(hub_ends), 2.5)

    def test_non_adjacent_pairs(self):
        self.assertEqual(evidence.non_adjacent_pairs([("a", "b"), ("b", "c")]), 1)


if __name__ == "__main__":
    unittest.main()
