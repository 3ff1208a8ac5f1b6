"""Runs the built vornel on every table format: the fixtures tools/write_formats.py writes, the
download samples in ../shared/data/formats (counts computed here, independently of vornel's
reader), and the files that must fail with one error line. VORNEL names the binary."""

import gzip
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VORNEL = os.environ.get("VORNEL", os.path.join(REPO, "build", "vornel"))
GENERATOR = os.path.join(REPO, "tools", "write_formats.py")
SAMPLES = os.path.join(os.path.dirname(REPO), "shared", "data", "formats")
COUNTS = re.compile(r"^vornel: network .*: (\d+) proteins, (\d+) interactions \(", re.M)


def run(args, cwd):
    return subprocess.run([VORNEL] + args, cwd=cwd, capture_output=True, text=True)


def network_counts(result):
    match = COUNTS.search(result.stderr)
    return (int(match.group(1)), int(match.group(2))) if match else None


def counts_of(pairs):
    """Proteins and interactions of identifier pairs, as the network builder makes them."""
    edges = {frozenset(p) for p in pairs if p[0] != p[1]}
    return len({x for e in edges for x in e}), len(edges)


def read_text(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="utf-8", newline="") as text:
        return [line.rstrip("\r\n") for line in text.read().split("\n") if line.rstrip("\r\n")]


# Independent readers of the sample formats: a few lines each.
def string_pairs(lines):
    return [tuple(line.split(" ")[:2]) for line in lines[1:]]


def tab_pairs(lines, header=True):
    return [tuple(line.split("\t")[:2]) for line in lines[1 if header else 0:]]


def biogrid_pairs(lines):
    names = lines[0].lstrip("#").split("\t")
    a, b = names.index("Entrez Gene Interactor A"), names.index("Entrez Gene Interactor B")
    kind = names.index("Experimental System Type")
    rows = [line.split("\t") for line in lines[1:]]
    return [(r[a], r[b]) for r in rows if r[kind] == "physical"]


def mitab_pairs(lines):
    rows = [line.split("\t") for line in lines if not line.startswith(("#", "\t"))]
    return [(r[0].split("|")[0], r[1].split("|")[0]) for r in rows]


SAMPLE_READERS = {
    "string_v11_9606_links_full_head.txt.gz": string_pairs,
    "string_detailed_10090_head.txt": string_pairs,
    "string_web_export_interactions.tsv": tab_pairs,
    "biogrid_tab2_human_sample.txt": biogrid_pairs,
    "biogrid_tab3_sample.txt": biogrid_pairs,
    "intact_mitab25_header_scored_sample.txt": mitab_pairs,
    "intact_mitab25ext31_header_sample.tsv": mitab_pairs,
    "intact_mitab26_header_sample.tsv.gz": mitab_pairs,
    "intact_mitab27_header_sample.tsv.gz": mitab_pairs,
    "intact_mitab27_noheader_1000.txt.gz": mitab_pairs,
    "innatedb_mitab27_header_sample.txt.gz": mitab_pairs,
    "dip_mitab25_mouse_sample.txt.gz": mitab_pairs,
    "huri_plain_head.tsv": tab_pairs,
    "huri_supp_table9_head.tsv": tab_pairs,
}


class FormatsTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.dir = self.scratch.name

    def tearDown(self):
        self.scratch.cleanup()

    def write(self, name, text):
        with open(os.path.join(self.dir, name), "w", newline="") as out:
            out.write(text)
        return name

    def test_generated_fixtures_give_the_written_network(self):
        subprocess.run([sys.executable, GENERATOR, self.dir, "--seed", "7"], check=True)
        with open(os.path.join(self.dir, "expected.json")) as expected_file:
            expected = json.load(expected_file)
        self.assertGreaterEqual(len(expected), 20)
        for name, want in sorted(expected.items()):
            with self.subTest(fixture=name):
                path = want.get("file", name)
                result = run(want["args"] + [path, path, "cn", "1", "out.txt"], self.dir)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(network_counts(result), (want["proteins"], want["interactions"]), result.stderr)
                if "genetic" in want:
                    self.assertIn("skipped: %d genetic" % want["genetic"], result.stderr)
                if "other_taxon" in want:
                    self.assertIn("%d of another taxon" % want["other_taxon"], result.stderr)
                if want.get("weights"):
                    self.assertIn("; with weights", result.stderr)
                plain = name in ("plain.txt", "huri_noheader.tsv")
                self.assertEqual("format " in result.stderr, not plain, result.stderr)

    def test_download_samples_give_the_counts_of_an_independent_reader(self):
        if not os.path.isdir(SAMPLES):
            self.skipTest("no samples at %s" % SAMPLES)
        for name, reader in sorted(SAMPLE_READERS.items()):
            path = os.path.join(SAMPLES, name)
            if not os.path.exists(path):
                continue
            with self.subTest(sample=name):
                result = run([path, "NULL", "cn", "1", "out.txt"], self.dir)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(": format ", result.stderr)
                self.assertEqual(network_counts(result), counts_of(reader(read_text(os.path.join(SAMPLES, name)))))

    def test_mitab_taxon_filter_reads_every_taxid_of_a_column(self):
        path = os.path.join(SAMPLES, "intact_mitab27_noheader_1000.txt.gz")
        if not os.path.exists(path):
            self.skipTest("no samples at %s" % SAMPLES)
        lines = read_text(path)
        self.write("screen.txt", "\n".join(lines) + "\n")
        # Column 10 lists the yeast host first and the proteins' own species later.
        kept = [l for l in lines if "taxid:1111708(" in l.split("\t")[9] and "taxid:1111708(" in l.split("\t")[10]]
        result = run(["--taxon", "1111708", "screen.txt", "NULL", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(network_counts(result), counts_of(mitab_pairs(kept)))
        self.assertIn("skipped: %d of another taxon" % (len(lines) - len(kept)), result.stderr)

    def test_plain_edge_lists_log_exactly_what_they_always_did(self):
        self.write("net.txt", "# comment\na b\nb c 0.5\n\nc a\nb a\nd d\n")
        result = run(["net.txt", "net.txt", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual(lines[0], "vornel: network net.txt: 3 proteins, 3 interactions "
                                   "(1 self-pairs dropped, 1 repeated pairs merged)")
        self.assertEqual(lines[1], "vornel: pairs net.txt: 3 pairs to score (1 self-pairs dropped, 1 repeated "
                                   "pairs merged, 0 with a protein missing from the network score 0)")
        self.assertTrue(lines[2].startswith("vornel: scoring the listed pairs with cn"))

    def test_bad_files_fail_with_one_line_naming_file_and_line(self):
        cases = {
            "header.txt": ("# made by hand\nprotein_a\tprotein_b\nx\ty\n", [], "header.txt:2: the first line looks like a header"),
            "score.txt": ("a b weight\nc d 0.5\n", [], "score.txt:1: the first line looks like a header"),
            "comments.txt": ("# long\n" * 40 + "GeneA GeneB\nx y\n", [], "comments.txt:41: the first line looks like a header"),
            "short.txt": ("protein1 protein2 combined_score\na b 900\nc d\n", [],
                          "short.txt:3: expected at least 3 space-separated columns (STRING protein.links), found 2"),
            "weight.txt": ("protein1 protein2 combined_score\na b high\n", [],
                           "weight.txt:2: weight 'high' in column 3 (combined_score) is not a number"),
            "forced.txt": ("a b\n", ["--format", "biogrid"], "forced.txt:1: --format biogrid needs the header line"),
            "named.txt": ("x y\na b\n", ["--columns", "x,z"], "named.txt:1: --columns: the first line has no column 'z'"),
        }
        for name, (text, args, message) in cases.items():
            with self.subTest(file=name):
                self.write(name, text)
                result = run(args + [name, "NULL", "cn", "1", "out.txt"], self.dir)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr.splitlines()[0][:len("vornel: ") + len(message)], "vornel: " + message)
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.dir, "out.txt")))

    def test_a_plain_list_with_a_word_in_its_third_column_is_read_unweighted(self):
        self.write("plain.txt", "a b 1\nc d NA\n")
        for method in ("cn", "cn-w"):
            with self.subTest(method=method):
                result = run(["plain.txt", "NULL", method, "1", "out.txt"], self.dir)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(network_counts(result), (4, 2))
        self.assertIn("has no weights (1 interactions without a weight", result.stderr)

    def test_options_say_how_to_read_a_table_vornel_does_not_know(self):
        self.write("t.txt", "protein_a\tprotein_b\tscore\nx\ty\t0.5\ny\tz\t0.7\n")
        for args in (["--columns", "1,2,3"], ["--columns", "protein_a,protein_b,score"], ["--columns=2,1"]):
            with self.subTest(args=args):
                result = run(args + ["t.txt", "NULL", "cn", "1", "out.txt"], self.dir)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(network_counts(result), (3, 2))
        result = run(["--format", "plain", "t.txt", "NULL", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(network_counts(result), (5, 3))
        result = run(["--columns", "1,2,4", "t.txt", "NULL", "cn", "1", "out.txt"], self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertIn("t.txt:2: expected at least 4 tab-separated columns", result.stderr)
        help_text = run(["--help"], self.dir).stdout
        listed = help_text.split("one of\n", 1)[1].split("--columns", 1)[0]
        names = [n.strip() for n in listed.replace("\n", " ").split(",")]
        self.assertEqual(len(names), 11, listed)
        for name in names:  # every format the help names is accepted
            result = run(["--format", name, "t.txt", "NULL", "cn", "1", "out.txt"], self.dir)
            self.assertNotEqual(result.returncode, 2, name + ": " + result.stderr)
        for bad in (["--format", "tsv"], ["--columns", "1"], ["--columns", "1,,2"], ["--taxon", "human"],
                    ["--ids", "gene"]):
            with self.subTest(bad=bad):
                result = run(bad + ["t.txt", "NULL", "cn", "1", "out.txt"], self.dir)
                self.assertEqual(result.returncode, 2, result.stderr)


if __name__ == "__main__":
    unittest.main()
