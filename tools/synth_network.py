#!/usr/bin/env python3
"""Seeded generator of PPI-like networks with known true and false interactions.

Model
-----
Every protein i gets a propensity w_i drawn from a Pareto law (tail exponent 2.2, capped at
2 sqrt(N)), the "stickiness" that makes some proteins hubs. True interactions come from three
kinds of module. Their members are drawn with probability proportional to w, so a sticky protein
sits in many modules and degrees are heavy-tailed (a median of 5 and a maximum near 160 for 2,000
proteins / 10,000 interactions; a maximum near 2,500 for 20,000 / 500,000); a third of the members
of the early modules are taken from a shuffled list of proteins not yet used, so that almost every
protein gets module partners rather than a lone random one.

* complexes (about half of the true interactions): a group of 3 to 12-60 proteins (the bound
  grows with the mean degree), each pair of members interacting with a probability drawn per
  complex between 0.6 and 0.95. These are triangle-rich, the structure that shared-partner scores
  (common neighbours, Jaccard, ...) recognise, as in affinity-purification data;
* lock-and-key modules (35-50%): two groups of proteins, one carrying an interface and the other
  its complementary interface, interacting only across the groups (each cross pair with a
  probability drawn per module between 0.4 and 0.8). Proteins of one group share partners but do
  not interact with each other, so a missing interaction u-v is supported by paths u-a-b-v of
  length three and not by common partners: the complementarity of binary (two-hybrid) maps that
  paths-of-length-three scoring exploits;
* background (5-9%): pairs with both endpoints drawn in proportion to w, which no topological
  score can tell from noise; real networks hold such interactions too.

A generation turn adds a complex (30% of turns), a lock-and-key module (64%) or a handful of
background pairs, until the network holds the requested number of interactions; the few
proteins that no module connected are then joined to one partner drawn in proportion to w, so
that every protein appears in the network.

Noise, with known truth:

* false interactions (--false-share F, a share of the true count): both endpoints drawn in
  proportion to their true degree, so false interactions gather on hubs, as sticky proteins do in
  screens; never a true pair and never repeated;
* missing interactions (--missing-share R, a share of the true count): true interactions drawn
  at random and removed from the observed network, skipping any whose removal would leave a
  protein without partners, so that the observed network keeps all N proteins.

Outputs, each one pair per line as A<TAB>B: DIR/network.tsv (the observed network: true minus
missing plus false, in a shuffled order with random orientation, so that file order carries no
information), DIR/true.tsv (all true interactions), DIR/false.tsv and DIR/missing.tsv (sorted).
The same arguments give byte-identical files on any Python 3: only random.Random(seed).random()
is used, never the version-dependent integer helpers.
"""

import argparse
import bisect
import math
import os
import random
import sys

COMPLEX_SHARE = 0.30
LOCK_AND_KEY_SHARE = 0.64
PARETO_EXPONENT = 2.2


class Sampler:
    """Draws protein indices in proportion to fixed weights, with the seeded generator."""

    def __init__(self, rng, weights):
        self.rng = rng
        self.cumulative = []
        total = 0.0
        for weight in weights:
            total += weight
            self.cumulative.append(total)
        self.total = total

    def draw(self):
        index = bisect.bisect_right(self.cumulative, self.rng.random() * self.total)
        return min(index, len(self.cumulative) - 1)

    def draw_distinct(self, count, exclude=(), newcomers=None):
        """Up to count distinct indices not in exclude (fewer only if rejections pile up).

        When newcomers (a list of proteins no module has taken yet) is given, a third of the
        members come from its end, so every protein joins at least one module."""
        chosen = []
        seen = set(exclude)
        while newcomers and len(chosen) < (count + 2) // 3:
            index = newcomers.pop()
            if index not in seen:
                seen.add(index)
                chosen.append(index)
        attempts = 0
        while len(chosen) < count and attempts < 20 * count + 20:
            attempts += 1
            index = self.draw()
            if index not in seen:
                seen.add(index)
                chosen.append(index)
        return chosen


def propensities(rng, proteins):
    """Pareto-distributed stickiness, capped so that no protein dominates a small network."""
    cap = max(10.0, math.sqrt(proteins) * 2.0)
    return [min(cap, (1.0 - rng.random()) ** (-1.0 / (PARETO_EXPONENT - 1.0)))
            for _ in range(proteins)]


def module_size(rng, smallest, largest):
    """A heavy-tailed group size between smallest and largest."""
    size = int(smallest * (1.0 - rng.random()) ** (-1.0 / 1.5))
    return min(size, largest)


def pair_key(a, b, proteins):
    """One integer per unordered pair (smaller index first), cheap to hash and to sort."""
    return a * proteins + b if a < b else b * proteins + a


class TrueNetworkBuilder:
    """Accumulates true interactions up to a budget, tracking which proteins are still isolated."""

    def __init__(self, proteins, interactions):
        self.proteins = proteins
        self.budget = interactions
        self.edges = set()
        self.degree = [0] * proteins
        self.isolated = proteins

    def full(self):
        # Every isolated protein will later take one interaction of its own, so they are counted
        # against the budget now; each added edge changes this sum by at most one, so it lands
        # on the budget exactly.
        return len(self.edges) + self.isolated >= self.budget

    def add(self, a, b):
        if a == b or self.full():
            return
        key = pair_key(a, b, self.proteins)
        if key in self.edges:
            return
        self.edges.add(key)
        for x in (a, b):
            if self.degree[x] == 0:
                self.isolated -= 1
            self.degree[x] += 1


def add_complex(rng, sampler, newcomers, builder, largest):
    members = sampler.draw_distinct(module_size(rng, 3, largest), newcomers=newcomers)
    density = 0.6 + 0.35 * rng.random()
    for i, a in enumerate(members):
        for b in members[i + 1:]:
            if rng.random() < density:
                builder.add(a, b)


def add_lock_and_key(rng, sampler, newcomers, builder, largest):
    locks = sampler.draw_distinct(module_size(rng, 2, largest), newcomers=newcomers)
    keys = sampler.draw_distinct(module_size(rng, 2, largest), exclude=locks, newcomers=newcomers)
    density = 0.4 + 0.4 * rng.random()
    for a in locks:
        for b in keys:
            if rng.random() < density:
                builder.add(a, b)


def add_background(sampler, builder):
    builder.add(sampler.draw(), sampler.draw())


def true_interactions(rng, proteins, interactions, weights):
    sampler = Sampler(rng, weights)
    newcomers = list(range(proteins))
    shuffle(rng, newcomers)
    builder = TrueNetworkBuilder(proteins, interactions)
    # Larger networks of the same protein count get larger modules rather than only more of them.
    mean_degree = 2.0 * interactions / proteins
    largest = int(max(12, min(60, 2.5 * mean_degree)))
    stalled = 0
    while not builder.full():
        before = len(builder.edges)
        choice = rng.random()
        if choice < COMPLEX_SHARE:
            add_complex(rng, sampler, newcomers, builder, largest)
        elif choice < COMPLEX_SHARE + LOCK_AND_KEY_SHARE:
            add_lock_and_key(rng, sampler, newcomers, builder, largest)
        else:
            # A background pair is one interaction where a module brings dozens, so a turn
            # draws several to keep their share near a twentieth.
            for _ in range(int(0.6 * largest)):
                add_background(sampler, builder)
        stalled = stalled + 1 if len(builder.edges) == before else 0
        if stalled > 10000:
            sys.exit("synth_network: cannot place that many interactions among so few proteins")
    attach_isolated(rng, sampler, builder)
    return builder.edges, builder.degree


def attach_isolated(rng, sampler, builder):
    """Gives every protein that no module reached one partner among the connected ones."""
    for protein in range(len(builder.degree)):
        if builder.degree[protein] == 0:
            while True:
                partner = sampler.draw()
                if builder.degree[partner] > 0:
                    break
            builder.edges.add(pair_key(protein, partner, builder.proteins))
            builder.degree[protein] += 1
            builder.degree[partner] += 1


def false_interactions(rng, true_edges, degree, count):
    proteins = len(degree)
    sampler = Sampler(rng, degree)
    false = set()
    while len(false) < count:
        a, b = sampler.draw(), sampler.draw()
        if a == b:
            continue
        key = pair_key(a, b, proteins)
        if key not in true_edges:
            false.add(key)
    return false


def missing_interactions(rng, true_edges, degree, count):
    missing = set()
    if count == 0:
        return missing
    proteins = len(degree)
    ordered = sorted(true_edges)
    shuffle(rng, ordered)
    remaining = list(degree)
    for key in ordered:
        if len(missing) == count:
            break
        a, b = divmod(key, proteins)
        if remaining[a] > 1 and remaining[b] > 1:
            remaining[a] -= 1
            remaining[b] -= 1
            missing.add(key)
    return missing


def shuffle(rng, items):
    """Fisher-Yates with random() only, so the order is the same on every Python 3."""
    draw = rng.random
    for i in range(len(items) - 1, 0, -1):
        j = min(int(draw() * (i + 1)), i)
        items[i], items[j] = items[j], items[i]


def write_pairs(path, keys, names, flips=None):
    """Writes the pairs of keys in the given order; flips[i] true writes pair i as B<TAB>A."""
    proteins = len(names)
    lines = []
    for i, key in enumerate(keys):
        a, b = divmod(key, proteins)
        if flips is not None and flips[i]:
            a, b = b, a
        lines.append(f"{names[a]}\t{names[b]}\n")
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("".join(lines))


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--proteins", type=int, required=True, help="number of proteins N")
    parser.add_argument("--interactions", type=int, required=True,
                        help="number of true interactions M (at least N)")
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--false-share", type=float, default=0.0,
                        help="false interactions added, as a share of M (default 0)")
    parser.add_argument("--missing-share", type=float, default=0.0,
                        help="true interactions removed, as a share of M (default 0)")
    args = parser.parse_args(argv)
    if args.proteins < 4:
        parser.error("--proteins must be at least 4")
    if not args.proteins <= args.interactions <= args.proteins * (args.proteins - 1) // 8:
        parser.error("--interactions must lie between N and N(N-1)/8")
    if not 0.0 <= args.false_share <= 1.0 or not 0.0 <= args.missing_share < 0.5:
        parser.error("--false-share must lie in [0, 1] and --missing-share in [0, 0.5)")
    return args


def main(argv):
    args = parse_arguments(argv)
    rng = random.Random(args.seed)
    weights = propensities(rng, args.proteins)
    true_edges, degree = true_interactions(rng, args.proteins, args.interactions, weights)
    false = false_interactions(rng, true_edges, degree,
                               round(args.false_share * len(true_edges)))
    missing = missing_interactions(rng, true_edges, degree,
                                   round(args.missing_share * len(true_edges)))

    observed = sorted((true_edges - missing) | false)
    shuffle(rng, observed)
    flips = [rng.random() < 0.5 for _ in observed]

    width = len(str(args.proteins))
    names = [f"P{i + 1:0{width}d}" for i in range(args.proteins)]
    os.makedirs(args.out_dir, exist_ok=True)
    write_pairs(os.path.join(args.out_dir, "network.tsv"), observed, names, flips)
    write_pairs(os.path.join(args.out_dir, "true.tsv"), sorted(true_edges), names)
    write_pairs(os.path.join(args.out_dir, "false.tsv"), sorted(false), names)
    write_pairs(os.path.join(args.out_dir, "missing.tsv"), sorted(missing), names)
    print(f"synth_network: {args.proteins} proteins, {len(true_edges)} true interactions, "
          f"{len(false)} false added, {len(missing)} true removed, "
          f"{len(observed)} in network.tsv", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1:])
