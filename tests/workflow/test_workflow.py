"""The Snakemake workflow of workflow/ run for real on small generated networks: a dry run of
the example config, a local run checked against direct ppi-refine runs, a run through a
stand-in SLURM, and failing and interrupted runs. Each test works in a temporary directory of
its own (with its own HOME for snakemake's cache); run as `test_workflow.py TESTCLASS`, exit
status 77 (skipped) when snakemake is not installed."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SNAKEFILE = os.path.join(REPO, "workflow", "Snakefile")
BUILD = os.path.abspath(os.environ.get("PPI_BUILD_DIR", os.path.join(REPO, "build")))
# The build folder as a YAML value that stays one string whatever the path holds (": ", "#",
# blanks): JSON's quoted string, which YAML reads alike, as the JSON config files of the tests.
BUILD_VALUE = json.dumps(BUILD)
SETTINGS = {"wcd0.2_l3top50": dict(iterations=2, filter_method="wcd", filter_min_score=0.2,
                                   add_method="l3", add_min_score=50),
            "cn_top100": dict(iterations=1, filter_method="cn", filter_min_score=100,
                              add_method="none", add_min_score=0)}


class WorkflowCase(unittest.TestCase):
    """A scratch directory that snakemake runs in, with networks generated into it."""

    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="workflow-test-")
        self.dir = self.scratch.name
        self.bin = os.path.join(self.dir, "bin")
        os.makedirs(self.bin)
        home = os.path.join(self.dir, "home")
        self.env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"),
                        CI="true", PATH=self.bin + os.pathsep + os.environ["PATH"],
                        PYTHONDONTWRITEBYTECODE="1")

    def tearDown(self):
        self.scratch.cleanup()

    def stand_in(self, name, script):
        os.symlink(os.path.join(HERE, script), os.path.join(self.bin, name))

    def stand_in_scorer(self):
        """A build directory of the real ppi-refine and the stand-in vornel; the config names
        it, so a test also checks that runs use the scorer of the configured build."""
        self.build = self.path("build")
        os.makedirs(self.build)
        os.symlink(os.path.join(BUILD, "ppi-refine"), os.path.join(self.build, "ppi-refine"))
        os.symlink(os.path.join(HERE, "stand_in_vornel.sh"), os.path.join(self.build, "vornel"))
        self.env.update(REAL_VORNEL=os.path.join(BUILD, "vornel"), MENDED=self.path("mended"),
                        SLOW_MARKER=self.path("slow.started"),
                        SLOW_RELEASE=self.path("slow.release"))

    def network(self, name, proteins, interactions, seed):
        out_dir = os.path.join(self.dir, "networks", name)
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "synth_network.py"),
                        "--proteins", str(proteins), "--interactions", str(interactions),
                        "--seed", str(seed), "--false-share", "0.2", "--out-dir", out_dir],
                       check=True, capture_output=True)
        return os.path.join("networks", name, "network.tsv")

    def config(self, networks, settings=SETTINGS, file_name="config.yaml", **extra):
        # JSON is YAML, so no YAML writer is needed.
        path = os.path.join(self.dir, file_name)
        with open(path, "w") as out:
            json.dump({"networks": networks, "settings": settings,
                       "build_dir": getattr(self, "build", BUILD), "threads": 1, **extra},
                      out, indent=1)
        return path

    def snakemake(self, *args, config="config.yaml"):
        return subprocess.run(["snakemake", "-s", SNAKEFILE, "--configfile", config, *args],
                              cwd=self.dir, env=self.env, capture_output=True, text=True)

    def assert_ran(self, finished):
        self.assertEqual(finished.returncode, 0, finished.stdout + finished.stderr)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read(self, *parts):
        with open(self.path(*parts)) as text:
            return text.read()

    def summary_rows(self, results="results"):
        lines = self.read(results, "summary.tsv").splitlines()
        self.assertEqual(lines[0].split("\t")[:5],
                         ["network", "setting", "original", "filtered", "refined"])
        return {(row[0], row[1]): row for row in (line.split("\t") for line in lines[1:])}


class DryRunTest(WorkflowCase):
    def test_example_config_plans_one_run_per_network_and_setting(self):
        # The example names networks under ../shared/data relative to the repository root;
        # empty stand-ins at the same relative places let the plan be made anywhere.
        repo = self.path("repo")
        example = os.path.join(REPO, "workflow", "config", "example.yaml")
        with open(example) as text:
            config = text.read()
        networks = re.findall(r"^  ([\w.+-]+): (\S+)$", config, re.M)
        settings = re.findall(r"^  ([\w.+-]+):$", config, re.M)
        for _, path in networks:
            os.makedirs(os.path.dirname(os.path.join(repo, path)), exist_ok=True)
            open(os.path.join(repo, path), "w").close()
        finished = subprocess.run(["snakemake", "-n", "-s", SNAKEFILE, "--configfile", example,
                                   "--config", f"build_dir={BUILD_VALUE}"],
                                  cwd=repo, env=self.env, capture_output=True, text=True)
        self.assert_ran(finished)
        self.assertRegex(finished.stdout, rf"\nrefine\s+{len(networks) * len(settings)}\s")
        for name, _ in networks:
            for setting in settings:
                self.assertIn(f"results/{name}/{setting}/refined.tsv", finished.stdout)
        self.assertFalse(os.path.exists(os.path.join(repo, "results")))

    def test_config_problems_are_all_reported(self):
        self.config({"a/b": "x.tsv", "summary.md": "y.tsv"},
                    settings={"s": dict(iterations=1, filter_method="cn")})
        finished = self.snakemake("-n")
        self.assertNotEqual(finished.returncode, 0)
        output = finished.stdout + finished.stderr
        self.assertIn("network name 'a/b' is not a plain file name", output)
        self.assertIn("network name 'summary.md' is not a plain file name", output)
        self.assertIn("setting 's' lacks filter_min_score, add_method, add_min_score", output)

    def test_a_name_given_twice_is_refused_with_both_lines(self):
        with open(self.path("config.yaml"), "w") as out:
            out.write(f"build_dir: {BUILD_VALUE}\n"
                      "networks:\n  a: a.tsv\n  b: b.tsv\n  a: other.tsv\n"
                      "settings:\n"
                      "  s: {iterations: 1, filter_method: cn, filter_min_score: 0.5,"
                      " add_method: none, add_min_score: 0}\n"
                      "  s: {iterations: 2, filter_method: wcd, filter_min_score: 0.2,"
                      " add_method: l3, add_min_score: 500, add_method: ra}\n")
        finished = self.snakemake("-n")
        self.assertNotEqual(finished.returncode, 0)
        output = finished.stdout + finished.stderr
        for line, name, where, first in ((5, "a", "'networks'", 3), (8, "s", "'settings'", 7),
                                         (8, "add_method", "'s'", 8)):
            self.assertIn(f"config {self.path('config.yaml')}:{line}: '{name}' is given twice "
                          f"in {where} (also on line {first})", output)
        self.assertNotIn("refine", finished.stdout)

    def test_setting_values_must_be_numbers_and_names_and_all_are_listed(self):
        good = dict(iterations=2, filter_method="wcd", filter_min_score="0.2", add_method="l3",
                    add_min_score=500)
        bad = dict(iterations="two", filter_method=None, filter_min_score="O.2",
                   add_method=["l3"], add_min_score="5OO")
        self.config({"n": "n.tsv"}, settings={"good": good, "bad": bad,
                                             "nulls": dict(good, filter_min_score=None,
                                                           add_min_score=[500], colour="red")},
                    threads="2x", evaluate="yes please")
        finished = self.snakemake("-n")
        self.assertNotEqual(finished.returncode, 0)
        problems = [line.strip() for line in (finished.stdout + finished.stderr).splitlines()
                    if line.strip().startswith("config:")]
        self.assertEqual(problems, [
            "config: evaluate is 'yes please', not true or false",
            "config: threads is '2x', not a whole number of at least 1",
            "config: setting 'bad': iterations is 'two', not a whole number",
            "config: setting 'bad': filter_method is null, not a name without blanks",
            "config: setting 'bad': filter_min_score is 'O.2', not a number",
            "config: setting 'bad': add_method is a list, not a name without blanks",
            "config: setting 'bad': add_min_score is '5OO', not a number",
            "config: setting 'nulls' has an unknown key 'colour' (known: iterations, "
            "filter_method, filter_min_score, add_method, add_min_score)",
            "config: setting 'nulls': filter_min_score is null, not a number",
            "config: setting 'nulls': add_min_score is a list, not a number"])


class LocalRunTest(WorkflowCase):
    def test_the_optional_evaluation_gives_what_vornel_evaluate_prints(self):
        network = self.network("small", 300, 1200, 3)
        options = ["--repeats", "1", "--methods", "cn,l3", "--top", "10,50"]
        self.config({"small": network}, settings={"cn_top100": SETTINGS["cn_top100"]},
                    evaluate=True, evaluate_options=options)
        self.assert_ran(self.snakemake("--cores", "2"))
        direct = subprocess.run([os.path.join(BUILD, "vornel"), "evaluate", "--threads", "1", *options, network],
                                cwd=self.dir, capture_output=True, text=True, check=True)
        self.assertEqual(self.read("results", "small", "evaluation.md"), direct.stdout)
        self.assertIn("| l3 |", direct.stdout)
        self.assertFalse(os.path.exists(self.path("results", "small", "evaluation.md.partial")))

    def test_with_no_config_the_bundled_example_runs_on_generated_networks(self):
        finished = subprocess.run(["snakemake", "-s", SNAKEFILE, "--cores", "2", "--config",
                                   f"build_dir={BUILD_VALUE}", "threads=1"],
                                  cwd=self.dir, env=self.env, capture_output=True, text=True)
        self.assert_ran(finished)
        rows = self.summary_rows()
        example = self.read(os.path.join(REPO, "workflow", "config", "config.yaml"))
        generated = re.findall(r"^  (\w+):\n    proteins: (\d+)$", example, re.M)
        settings = re.findall(r"^  ([\w.+-]+):\n    iterations:", example, re.M)
        self.assertEqual(set(rows), {(name, setting) for name, _ in generated
                                     for setting in settings})
        for name, proteins in generated:
            network = self.read("results", "generated", name, "network.tsv").splitlines()
            self.assertEqual(len({p for line in network for p in line.split()}), int(proteins))
            self.assertTrue(all(rows[(name, s)][2] == str(len(network)) and rows[(name, s)][6] == ""
                                for s in settings))
            self.assertTrue(os.path.exists(self.path("results", "generated", name, "missing.tsv")))

    def test_every_run_matches_a_direct_run_and_a_rerun_does_nothing(self):
        networks = {"small": self.network("small", 120, 400, 1),
                    "smaller": self.network("smaller", 80, 250, 2)}
        self.config(networks, results_dir="out")
        self.assert_ran(self.snakemake("--cores", "2"))
        rows = self.summary_rows("out")
        self.assertEqual(len(rows), 4)
        for name, network in networks.items():
            for setting, arguments in SETTINGS.items():
                run_dir = self.path("out", name, setting)
                self.assertEqual(sorted(os.listdir(run_dir)),
                                 ["console.txt", "refined.tsv", "run.json"])
                direct = self.path("direct", name, setting)
                os.makedirs(direct)
                subprocess.run([os.path.join(BUILD, "ppi-refine"), self.path(network),
                                *(str(arguments[key]) for key in
                                  ("iterations", "filter_method", "filter_min_score",
                                   "add_method", "add_min_score")), "refined.tsv"],
                               cwd=direct, check=True, capture_output=True)
                refined = self.read("out", name, setting, "refined.tsv")
                self.assertEqual(refined, self.read("direct", name, setting, "refined.tsv"))
                original = len(self.read(network).splitlines())
                row = rows[(name, setting)]
                self.assertEqual(row[2], str(original))
                self.assertEqual(row[4], str(len(refined.splitlines())))
                self.assertEqual(row[6], "")
                self.assertIn(f"#PPIs after adding new PPIs: {row[4]}",
                              self.read("out", name, setting, "console.txt"))
        self.assertIn("4 runs", self.read("out", "summary.md"))
        again = self.snakemake("--cores", "2")
        self.assert_ran(again)
        self.assertIn("Nothing to be done", again.stdout + again.stderr)


class ClusterRunTest(WorkflowCase):
    def test_jobs_go_through_sbatch_and_a_failed_job_is_resubmitted_alone(self):
        self.stand_in("sbatch", "stand_in_sbatch.sh")
        self.stand_in("sacct", "stand_in_sacct.sh")
        self.stand_in_scorer()
        slurm = self.path("slurm")
        os.makedirs(slurm)
        self.env.update(FAKE_SLURM_DIR=slurm)
        good = self.network("good", 100, 300, 3)
        broken = self.network("broken", 100, 300, 4)
        settings = {"wcd0.2_l3top50": SETTINGS["wcd0.2_l3top50"]}
        self.config({"good": good, "broken": broken}, settings=settings, mem_mb=1234, threads=2)
        profile = ("--profile", os.path.join(REPO, "workflow", "profiles", "slurm"),
                   "--latency-wait", "5")
        failed = self.snakemake(*profile)
        self.assertNotEqual(failed.returncode, 0)
        with open(os.path.join(slurm, "submissions")) as text:
            submissions = text.read().splitlines()
        self.assertEqual(len(submissions), 2)  # one per run; the summary runs locally
        self.assertTrue(all("--cpus-per-task=2 --mem=1234M" in line for line in submissions))
        self.assertTrue(os.path.exists(self.path("results", "good", "wcd0.2_l3top50", "run.json")))
        self.assertFalse(os.path.exists(self.path("results", "broken", "wcd0.2_l3top50",
                                                  "refined.tsv")))
        job_logs = "".join(self.read("slurm", name) for name in os.listdir(slurm)
                           if name.endswith(".out"))
        self.assertIn("  Error: cannot open file ppi.temp.txt for read", job_logs)
        open(self.path("mended"), "w").close()
        self.assert_ran(self.snakemake(*profile))
        with open(os.path.join(slurm, "submissions")) as text:
            self.assertEqual(len(text.read().splitlines()), 3)  # broken again, alone
        self.assertEqual(set(self.summary_rows()), {("good", "wcd0.2_l3top50"),
                                                    ("broken", "wcd0.2_l3top50")})


class FailureTest(WorkflowCase):
    def setUp(self):
        super().setUp()
        self.stand_in_scorer()
        # A scorer on PATH that writes nothing: never run, since the build's own comes first.
        os.symlink(shutil.which("false"), os.path.join(self.bin, "vornel"))
        self.good = self.network("good", 100, 300, 5)
        self.broken = self.network("broken", 100, 300, 6)
        self.slow = self.network("slow", 100, 300, 7)

    def test_an_error_line_fails_its_job_loudly_or_is_listed_when_asked(self):
        self.config({"good": self.good, "broken": self.broken})
        failed = self.snakemake("--cores", "2", "--keep-going")
        self.assertNotEqual(failed.returncode, 0)
        self.assertIn("ppi-refine run broken/cn_top100 failed", failed.stderr)
        self.assertIn("  Error: cannot open file ppi.temp.txt for read", failed.stderr)
        self.assertFalse(os.path.exists(self.path("results", "broken", "cn_top100", "run.json")))
        self.assertFalse(os.path.exists(self.path("results", "summary.tsv")))
        self.assertTrue(os.path.exists(self.path("results", "good", "cn_top100", "run.json")))

        self.config({"good": self.good, "broken": self.broken}, fail_on_error=False,
                    results_dir="listed")
        self.assert_ran(self.snakemake("--cores", "2"))
        row = self.summary_rows("listed")[("broken", "wcd0.2_l3top50")]
        self.assertEqual(row[6], " | ".join(["Error: cannot open file ppi.temp.txt for read",
                                             "Error: cannot open file refined.tsv for read"] * 2))
        self.assertIn("4 runs", self.read("listed", "summary.md"))
        self.assertIn("2 with Error: lines", self.read("listed", "summary.md"))

    def test_a_rerun_after_an_interruption_finishes_only_what_was_left(self):
        self.config({"good": self.good, "slow": self.slow},
                    settings={"cn_top100": SETTINGS["cn_top100"]})
        running = subprocess.Popen(["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml",
                                    "--cores", "1"], cwd=self.dir, env=self.env,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                   start_new_session=True)
        deadline = time.monotonic() + 60
        while not os.path.exists(self.path("slow.started")) and time.monotonic() < deadline:
            time.sleep(0.05)
        os.killpg(running.pid, signal.SIGINT)  # as Ctrl-C does: to every process of the group
        output, _ = running.communicate(timeout=60)
        self.assertNotEqual(running.returncode, 0, output)
        slow_dir = self.path("results", "slow", "cn_top100")
        self.assertFalse(any(os.path.exists(os.path.join(slow_dir, name))
                             for name in ("refined.tsv", "console.txt", "run.json")))
        good_record = self.path("results", "good", "cn_top100", "run.json")
        done_before = os.path.getmtime(good_record) if os.path.exists(good_record) else None

        open(self.path("slow.release"), "w").close()
        self.assert_ran(self.snakemake("--cores", "1"))
        self.assertEqual(set(self.summary_rows()), {("good", "cn_top100"), ("slow", "cn_top100")})
        self.assertEqual([name for name in os.listdir(slow_dir) if name.startswith(".")], [])
        if done_before is not None:  # a run finished before the interruption is not run again
            self.assertEqual(os.path.getmtime(good_record), done_before)

    def test_two_workflows_sharing_a_results_folder_leave_each_others_runs_alone(self):
        """The second workflow starts the same run while the first one's scorer is busy; both
        runs finish with the output of a direct run."""
        shared = self.path("shared-results")
        network = self.path(self.slow)
        settings = {"cn_top100": SETTINGS["cn_top100"]}
        started = []
        for instance in ("first", "second"):
            os.makedirs(self.path(instance))
            self.config({"slow": network}, settings=settings, results_dir=shared,
                        file_name=os.path.join(instance, "config.yaml"))
            if os.path.exists(self.path("slow.started")):
                os.remove(self.path("slow.started"))
            started.append(subprocess.Popen(
                ["snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", "--cores", "1"],
                cwd=self.path(instance), env=self.env, stdout=subprocess.PIPE,
                stderr=subprocess.STDOUT, text=True))
            deadline = time.monotonic() + 60
            while not os.path.exists(self.path("slow.started")) and time.monotonic() < deadline:
                time.sleep(0.05)
        open(self.path("slow.release"), "w").close()
        outputs = [running.communicate(timeout=120)[0] for running in started]
        for running, output in zip(started, outputs):
            self.assertEqual(running.returncode, 0, output)
        direct = self.path("direct")
        os.makedirs(direct)
        subprocess.run([os.path.join(BUILD, "ppi-refine"), network, "1", "cn", "100", "none",
                        "0", "refined.tsv"], cwd=direct, check=True, capture_output=True)
        run_dir = os.path.join(shared, "slow", "cn_top100")
        self.assertEqual(self.read(run_dir, "refined.tsv"), self.read(direct, "refined.tsv"))
        self.assertEqual(sorted(os.listdir(run_dir)), ["console.txt", "refined.tsv", "run.json"])


if __name__ == "__main__":
    if shutil.which("snakemake") is None:
        print("snakemake not found: install it (apt-get install snakemake) to run these tests")
        sys.exit(77)
    unittest.main()
