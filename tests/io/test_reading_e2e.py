"""Runs the built vornel (and ppi-refine) on what reading must get right beyond the formats:
the check of what was read (never on the real networks of ../shared/data, always on generated
mis-columned tables), byte-order marks in every format, a huge first line, --min-weight,
--write-network and --names. VORNEL and PPI_REFINE name the binaries."""

import os
import random
import re
import resource
import subprocess
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VORNEL = os.environ.get("VORNEL", os.path.join(REPO, "build", "vornel"))
PPI_REFINE = os.environ.get("PPI_REFINE", os.path.join(os.path.dirname(VORNEL), "ppi-refine"))
DATA = os.path.join(os.path.dirname(REPO), "shared", "data")
COUNTS = re.compile(r"^vornel: network .*: (\d+) proteins, (\d+) interactions \(", re.M)
MISREAD = "does not look like an interaction list read by the right columns"
BOM = "\ufeff"


def run(args, cwd):
    return subprocess.run([VORNEL] + args, cwd=cwd, capture_output=True, text=True)


def network_counts(result):
    match = COUNTS.search(result.stderr)
    return (int(match.group(1)), int(match.group(2))) if match else None


def random_network(rng, proteins, interactions, name):
    edges = set()
    while len(edges) < interactions:
        a, b = rng.sample(range(proteins), 2)
        edges.add((a, b))
    return [(name(a), name(b)) for a, b in sorted(edges, key=lambda e: rng.random())]


def orf(i):
    return "Y%s%03d%s" % ("ABCDEFGHIJKLMNOP"[i % 16], i // 16, "WC"[i % 2])


def miscolumned_tables(rng):
    """Tables whose first two columns are not the two proteins, as people have them."""
    pairs = random_network(rng, rng.randint(80, 400), rng.randint(300, 1500), orf)
    ids = sorted({p for e in pairs for p in e})
    entrez = {p: str(rng.randint(1, 120000)) for p in ids}
    return {
        # HIPPIE's shape without its score: name, Entrez id, name, Entrez id.
        "hippie_like.txt": ["%s_HUMAN\t%s\t%s_HUMAN\t%s" % (a, entrez[a], b, entrez[b]) for a, b in pairs],
        # R's write.table: quoted, row names first, a header one field short.
        "write_table.txt": ['"V1" "V2" "V3"'] + ['"%d" "%s" "%s" %.2f' % (i, a, b, rng.random())
                                                 for i, (a, b) in enumerate(pairs, 1)],
        "write_table_bare.txt": ['"%d" "%s" "%s"' % (i, a, b) for i, (a, b) in enumerate(pairs, 1)],
        # An interaction id first, as some databases publish.
        "interaction_id.txt": ["EBI-%d\t%s\t%s" % (rng.randint(10 ** 5, 10 ** 8), a, b) for a, b in pairs],
        "numbered.csv": ["%d,%s,%s" % (i, a, b) for i, (a, b) in enumerate(pairs)],
    }


class ReadingTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.dir = self.scratch.name

    def tearDown(self):
        self.scratch.cleanup()

    def write(self, name, text, encoding="utf-8"):
        with open(os.path.join(self.dir, name), "w", newline="", encoding=encoding) as out:
            out.write(text)
        return name

    def test_the_check_never_fires_on_a_real_network(self):
        files = []
        for folder in ("human", "yeast", "formats"):
            path = os.path.join(DATA, folder)
            if os.path.isdir(path):
                files += [os.path.join(path, f) for f in sorted(os.listdir(path)) if not f.endswith(".md")]
        if not files:
            self.skipTest("no networks at %s" % DATA)
        for path in files:
            with self.subTest(network=os.path.basename(path)):
                result = run([path, "NULL", "cn", "1", "out.txt"], self.dir)
                if "expected two identifiers" in result.stderr:
                    # A list of complexes, a line each: its lines of two or more proteins.
                    with open(path) as text:
                        lines = [line for line in text if len(line.split()) >= 2]
                    self.write("two_or_more.txt", "".join(lines))
                    result = run(["two_or_more.txt", "NULL", "cn", "1", "out.txt"], self.dir)
                self.assertNotIn(MISREAD, result.stderr)
                self.assertEqual(result.returncode, 0, result.stderr)

    def test_the_check_fires_on_every_miscolumned_table_and_options_read_it_anyway(self):
        for seed in range(4):
            for name, lines in miscolumned_tables(random.Random(seed)).items():
                with self.subTest(seed=seed, table=name):
                    self.write(name, "\n".join(lines) + "\n")
                    result = run([name, "NULL", "cn", "1", "out.txt"], self.dir)
                    self.assertEqual(result.returncode, 1, result.stderr)
                    self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                    if name == "write_table.txt":  # its header is one field short: a header error
                        self.assertIn(name + ":1: the first line looks like a header", result.stderr)
                    else:
                        self.assertIn(name + ": this " + MISREAD, result.stderr)
                        self.assertIn("first row (line ", result.stderr)
                        self.assertRegex(result.stderr, r"look like the identifiers: --columns (1,3|2,3|2,4)")
                    self.assertFalse(os.path.exists(os.path.join(self.dir, "out.txt")))
                    forced = ["--format", "csv"] if name.endswith(".csv") else ["--format", "plain"]
                    self.assertEqual(run(forced + [name, "NULL", "cn", "1", "forced.txt"], self.dir).returncode, 0)
        # The suggested columns read the right network.
        lines = miscolumned_tables(random.Random(9))["write_table.txt"]
        self.write("t.txt", "\n".join(lines) + "\n")
        pairs = {frozenset(re.findall(r'"(Y\w+)"', line)) for line in lines[1:]}
        proteins = len({p for e in pairs for p in e})
        result = run(["--columns", "2,3,4", "t.txt", "NULL", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(network_counts(result), (proteins, len(pairs)), result.stderr)

    def test_a_byte_order_mark_is_skipped_in_every_format(self):
        mitab = "\t".join(["#ID(s) interactor A", "ID(s) interactor B"] + ["c%d" % i for i in range(13)])
        row = lambda a, b: "\t".join(["uniprotkb:" + a, "uniprotkb:" + b] + ["-"] * 7 + ["taxid:9606"] * 2 + ["-"] * 4)
        biogrid = "\t".join(["#BioGRID Interaction ID", "Entrez Gene Interactor A", "Entrez Gene Interactor B",
                             "Experimental System Type"])
        tables = {
            "plain.txt": "a b\nb c\nc a\n",
            "comment.txt": "# made by hand\na b\nb c\nc a\n",
            "mitab.txt": "\n".join([mitab, row("a", "b"), row("b", "c"), row("c", "a")]) + "\n",
            "string.txt": "protein1 protein2 combined_score\n9.a 9.b 900\n9.b 9.c 800\n9.c 9.a 700\n",
            "biogrid.txt": "\n".join([biogrid, "1\t11\t12\tphysical", "2\t12\t13\tphysical", "3\t13\t11\tphysical"]) + "\n",
            "hippie.txt": "A_HUMAN\t1\tB_HUMAN\t2\t0.5\tx\nB_HUMAN\t2\tC_HUMAN\t3\t0.5\tx\nC_HUMAN\t3\tA_HUMAN\t1\t0.5\tx\n",
            "hint.txt": "Uniprot_A\tUniprot_B\tGene_A\tGene_B\nP1\tP2\tA\tB\nP2\tP3\tB\tC\nP3\tP1\tC\tA\n",
            "list.csv": "a,b\nb,c\nc,a\n",
        }
        for name, text in tables.items():
            with self.subTest(table=name):
                self.write(name, text)
                plain = run([name, name, "cn", "1", "out.txt"], self.dir)
                self.write("marked_" + name, BOM + text)
                marked = run(["marked_" + name, "marked_" + name, "cn", "1", "marked.txt"], self.dir)
                self.assertEqual(marked.returncode, 0, marked.stderr)
                self.assertEqual(network_counts(marked), (3, 3), marked.stderr)
                self.assertIn("marked_%s: skipped the UTF-8 byte-order mark at its start" % name, marked.stderr)
                self.assertNotIn("byte-order", plain.stderr)
                with open(os.path.join(self.dir, "out.txt")) as a, open(os.path.join(self.dir, "marked.txt")) as b:
                    self.assertEqual(a.read(), b.read())

    def test_a_huge_first_line_is_detected_from_its_beginning(self):
        # 40 MB of two-byte fields: splitting it whole took 16 bytes per field several times over.
        with open(os.path.join(self.dir, "wide.txt"), "w") as out:
            out.write("a\tb" + "\tx" * 20_000_000 + "\nb\tc\nc\ta\n")
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        result = run(["wide.txt", "NULL", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(network_counts(result), (3, 3))
        peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
        if peak_mb > before / 1024:  # the child's peak, when it is the largest so far
            self.assertLess(peak_mb, 400, "peak resident memory of vornel in MB")

    def test_min_weight_cuts_weighted_networks_and_refuses_unweighted_ones(self):
        rng = random.Random(3)
        pairs = random_network(rng, 200, 800, lambda i: "9606.ENSP%05d" % i)
        scores = [rng.randint(150, 999) for _ in pairs]
        lines = ["protein1 protein2 combined_score"] + ["%s %s %d" % (a, b, s) for (a, b), s in zip(pairs, scores)]
        self.write("links.txt", "\n".join(lines) + "\n")
        kept = [p for p, s in zip(pairs, scores) if s >= 700]
        want = (len({x for p in kept for x in p}), len(kept))
        result = run(["--min-weight", "0.7", "links.txt", "NULL", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(network_counts(result), want, result.stderr)
        self.assertIn("--min-weight 0.7: %d rows dropped" % (len(pairs) - len(kept)), result.stderr)
        # The cut written as a plain list, then refined by ppi-refine, whose command line is fixed.
        result = run(["--min-weight", "0.7", "--write-network", "cut.tsv", "links.txt"], self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.dir, "cut.tsv")) as cut:
            written = [line.split("\t") for line in cut.read().splitlines()]
        self.assertEqual([(a, b) for a, b, _ in written], kept)
        self.assertEqual([float(w) for _, _, w in written], [s * 0.001 for s in scores if s >= 700])
        if os.path.exists(PPI_REFINE):
            refined = subprocess.run([PPI_REFINE, "cut.tsv", "1", "cn", "0", "cn", "0", "refined.tsv"], cwd=self.dir,
                                     capture_output=True, text=True)
            self.assertIn("#PPIs in the original file: %d" % len(kept), refined.stdout, refined.stderr)
        for args, message in ((["--min-weight", "0.5", "plain.txt"], "plain.txt: --min-weight needs weights"),
                              (["--min-weight", "high", "plain.txt"], "--min-weight 'high' is not a number"),
                              (["--write-network", "plain.txt", "plain.txt"], "is the same file as NETWORK")):
            with self.subTest(args=args):
                self.write("plain.txt", "a b\nb c\n")
                result = run(args if "--write-network" in args else args + ["NULL", "cn", "1", "o.txt"], self.dir)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)
                with open(os.path.join(self.dir, "plain.txt")) as kept_file:
                    self.assertEqual(kept_file.read(), "a b\nb c\n")

    def test_names_add_a_fourth_column_and_leave_the_rest_byte_identical(self):
        rng = random.Random(5)
        pairs = random_network(rng, 120, 500, lambda i: "9606.ENSP%05d" % i)
        self.write("net.txt", "".join("%s\t%s\n" % p for p in pairs))
        proteins = sorted({x for p in pairs for x in p})
        named = {p: "GENE%d" % i for i, p in enumerate(proteins) if i % 10}
        info = ["#string_protein_id\tpreferred_name\tprotein_size\tannotation"]
        info += ["%s\t%s\t300\tan annotation, with spaces" % item for item in named.items()]
        self.write("info.txt", "\n".join(info) + "\n")
        for method, pairs_file in (("cn", "NULL"), ("jaccard", "net.txt")):
            with self.subTest(method=method):
                bare = run(["net.txt", pairs_file, method, "1", "bare.txt"], self.dir)
                result = run(["--names", "info.txt", "net.txt", pairs_file, method, "1", "named.txt"], self.dir)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("names info.txt: %d of %d proteins named; %d keep their identifier"
                              % (len(named), len(proteins), len(proteins) - len(named)), result.stderr)
                with open(os.path.join(self.dir, "bare.txt")) as b, open(os.path.join(self.dir, "named.txt")) as n:
                    bare_lines, named_lines = b.read().splitlines(), n.read().splitlines()
                self.assertEqual(bare.returncode, 0)
                self.assertGreater(len(bare_lines), 0)
                self.assertEqual([line.rsplit("\t", 1)[0] for line in named_lines], bare_lines)
                for line in named_lines:
                    a, b, _, readable = line.split("\t")
                    self.assertEqual(readable, "%s|%s" % (named.get(a, a), named.get(b, b)))


if __name__ == "__main__":
    unittest.main()
