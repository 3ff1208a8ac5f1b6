"""The selection study's simulation of auto's rule: which challenger leads clearly on hand-made
hold-out figures, how a grid setting is scored against the outer truth, which setting is
recommended, and how the figures are read from a vornel evaluate report."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "evidence"))
import auto_study  # noqa: E402


def hold_outs(**by_method):
    """Inner figures, one dict per hold-out; methods not given score like l3."""
    count = len(by_method["l3"])
    return [{m: by_method.get(m, by_method["l3"])[r] for m in auto_study.CANDIDATES}
            for r in range(count)]


REPORT = """# Evaluation of train.tsv

## Proposing: 767 interactions hidden (10%) and ranked back

| method | P@100 | P@500 | P@1000 | AP | R@100 | R@500 | R@1000 |
|---|---|---|---|---|---|---|---|
| l3 | 0.750 ± 0.000 | 0.358 ± 0.000 | 0.273 ± 0.000 | 0.257 ± 0.000 | 0.098 ± 0.000 | 0.2 | 0.3 |
| learn | 0.810 ± 0.000 | 0.576 ± 0.000 | 0.392 ± 0.000 | 0.419 ± 0.000 | 0.106 ± 0.000 | 0.3 | 0.5 |
| l3n | 0.780 ± 0.000 | 0.360 ± 0.000 | 0.269 ± 0.000 | 0.252 ± 0.000 | 0.102 ± 0.000 | 0.2 | 0.3 |
| random | 0.00045 | 0.00045 | 0.00045 | 0.00045 | 0.00006 | 0.00029 | 0.00058 |

## Filtering

| method | AUC | planted among lowest 20% |
|---|---|---|
| l3 | 0.9 ± 0.0 | 0.5 ± 0.0 |
"""


class RuleTest(unittest.TestCase):
    def test_average_precision_comes_from_the_proposing_table_only(self):
        self.assertEqual(auto_study.average_precisions(REPORT),
                         {"l3": 0.257, "learn": 0.419, "l3n": 0.252})

    def test_a_steady_gain_leads_and_a_noisy_one_needs_its_wins(self):
        inner = hold_outs(l3=[0.20, 0.20, 0.20], learn=[0.30, 0.31, 0.29],
                          mps=[0.21, 0.40, 0.21])
        # learn: gap 0.1, sd 0.01. mps: gap ~0.073, sd ~0.11, beats l3 on all three.
        self.assertEqual(auto_study.clear_leaders(inner, 3, 3, None, 0), ["learn"])
        self.assertEqual(auto_study.clear_leaders(inner, 3, 3, 3, 0), ["learn", "mps"])
        self.assertEqual(auto_study.clear_leaders(inner, 3, 0.5, None, 0), ["learn", "mps"])
        # min_gain 0.4 of l3's 0.2 asks for a gap of 0.08: mps's 0.07 falls short.
        self.assertEqual(auto_study.clear_leaders(inner, 3, 0.5, 3, 0.4), ["learn"])
        self.assertEqual(auto_study.clear_leaders(inner, 3, 0.5, 3, 0.6), [])

    def test_only_the_first_r_hold_outs_count_and_no_gain_never_leads(self):
        inner = hold_outs(l3=[0.2, 0.2, 0.2, 0.2, 0.2], sim=[0.3, 0.3, 0.3, 0.0, 0.0])
        self.assertEqual(auto_study.clear_leaders(inner, 3, 1, None, 0), ["sim"])
        self.assertEqual(auto_study.clear_leaders(inner, 5, 0, 3, 0), [])  # mean gap below 0
        # A challenger equal to l3 everywhere (gap 0, sd 0) does not displace it.
        self.assertEqual(auto_study.pick(hold_outs(l3=[0.2, 0.2, 0.2]), 3, 0, None, 0), "l3")

    def test_the_leader_with_the_highest_mean_runs(self):
        inner = hold_outs(l3=[0.2, 0.2, 0.2], learn=[0.3, 0.3, 0.3], mps=[0.5, 0.5, 0.2])
        self.assertEqual(auto_study.pick(inner, 3, 0.5, 2, 0), "mps")
        self.assertEqual(auto_study.pick(inner, 3, 3, None, 0), "learn")  # mps too noisy


def case(network, picked_gain, inner):
    """A case whose outer P@500 is 0.5 for l3 and 0.5 * (1 + gain) for learn."""
    outer = {m: {100: 0.0, 500: 0.5, 1000: 0.0} for m in auto_study.CANDIDATES}
    outer["learn"][500] = 0.5 * (1 + picked_gain)
    return {"network": network, "fold": 0, "outer": outer, "inner": inner}


class SettingTest(unittest.TestCase):
    def test_a_setting_is_scored_by_the_outer_truth_of_its_picks(self):
        clear = hold_outs(l3=[0.2, 0.2, 0.2], learn=[0.3, 0.3, 0.3])
        noisy = hold_outs(l3=[0.2, 0.2, 0.2], learn=[0.2, 0.5, 0.21])
        cases = [case("a", 0.2, clear), case("b", -0.1, noisy)]
        bold = auto_study.score_setting(cases, (3, 0.5, None, 0))
        self.assertEqual(bold["picks"], ["learn", "learn"])
        self.assertAlmostEqual(bold["mean"], 0.05)
        self.assertAlmostEqual(bold["worst"], -0.1)
        careful = auto_study.score_setting(cases, (3, 2, None, 0))
        self.assertEqual((careful["picks"], careful["left"]), (["learn", "l3"], 1))
        self.assertAlmostEqual(careful["worst"], 0.0)
        self.assertEqual(auto_study.picks_by_network(cases, careful["picks"]), "a learn 1; b l3 1")

    def test_the_recommendation_is_safe_and_conservative_on_near_ties(self):
        def scored(setting, left, mean, worst):
            return {"setting": setting, "picks": [], "left": left, "mean": mean, "worst": worst}
        scores = [scored((3, 0.5, None, 0), 4, 0.30, -0.05),   # best, but unsafe
                  scored((3, 1, 2, 0), 3, 0.20, 0.0),
                  scored((5, 2, None, 0.05), 2, 0.195, 0.0),   # near-tie, fewer departures
                  scored((5, 3, None, 0.10), 1, 0.10, 0.0)]
        chosen, best, safe, near = auto_study.recommend(scores)
        self.assertEqual(chosen["setting"], (5, 2, None, 0.05))
        self.assertEqual((best, safe, near), (0.20, 3, 2))
        # Without learn, the conservative near-tie falls 5% below l3 on a case: the other stays.
        without_learn = [scored((3, 0.5, None, 0), 4, 0.1, -0.1),
                         scored((3, 1, 2, 0), 3, 0.08, 0.0),
                         scored((5, 2, None, 0.05), 2, 0.12, -0.05),
                         scored((5, 3, None, 0.10), 1, 0.0, 0.0)]
        chosen, _, _, near = auto_study.recommend(scores, without_learn)
        self.assertEqual((chosen["setting"], near), ((3, 1, 2, 0), 1))
        # When no near-tie survives that check, the first choice stands.
        unsafe = [dict(s, worst=-0.5) for s in without_learn]
        self.assertEqual(auto_study.recommend(scores, unsafe)[0]["setting"], (5, 2, None, 0.05))

    def test_the_grid_spans_every_combination(self):
        settings = list(auto_study.grid())
        self.assertEqual(len(settings), 2 * 5 * 3 * 4)
        self.assertIn((3, 1.5, 2, 0.05), settings)
        self.assertIn((5, 3, None, 0.10), settings)
        self.assertNotIn((3, 1, 4, 0), settings)


class SubnetworkTest(unittest.TestCase):
    def test_the_cut_is_seeded_and_keeps_the_interactions_among_the_reached(self):
        pairs = [(f"P{i}", f"P{i + 1}") for i in range(50)] + [("P0", "P25"), ("P3", "P40")]
        cut = auto_study.neighbourhood_subnetwork(pairs, proteins=10, seeds=2, seed=3)
        self.assertEqual(cut, auto_study.neighbourhood_subnetwork(pairs, 10, 2, 3))
        reached = {p for pair in cut for p in pair}
        self.assertLessEqual(len(reached), 10)
        self.assertEqual(cut, [(a, b) for a, b in pairs if a in reached and b in reached])


if __name__ == "__main__":
    unittest.main()
