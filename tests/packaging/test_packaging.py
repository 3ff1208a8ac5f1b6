"""Packaging checks against a build directory (PPI_BUILD_DIR): every place that carries the
version agrees with project(VERSION) in CMakeLists.txt; the man pages name every option and
method the built programs list, render without warnings and install into share/man/man1; the
Galaxy wrappers' tests pass. Run as `test_packaging.py TESTCLASS`."""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.abspath(os.environ.get("PPI_BUILD_DIR", os.path.join(REPO, "build")))
sys.path.insert(0, os.path.join(REPO, "packaging"))


def read(*parts):
    with open(os.path.join(*parts), encoding="utf-8") as text:
        return text.read()


def cmake_version():
    return re.search(r"^project\(\s*\w+\s+VERSION\s+([0-9.]+)", read(REPO, "CMakeLists.txt"),
                     re.M).group(1)


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, check=True, **options).stdout


class VersionTest(unittest.TestCase):
    def versions_found(self):
        """Each place's version, as the place's own consumer reads it."""
        import check_conda_recipe
        found = {
            "vornel --version": run(os.path.join(BUILD, "vornel"), "--version").strip(),
            "python setup.py": run(sys.executable, "setup.py", "--version",
                                   cwd=os.path.join(REPO, "python")).split()[-1],
            "conda recipe": str(check_conda_recipe.render_recipe()["package"]["version"]),
            "CITATION.cff": str(yaml.safe_load(read(REPO, "CITATION.cff"))["version"]),
            "Galaxy macros": re.search(r'<token name="@TOOL_VERSION@">([^<]*)<',
                                       read(REPO, "packaging", "galaxy", "macros.xml")).group(1),
            "Debian package": re.search(r'set\(CPACK_PACKAGE_VERSION "([^"]*)"\)',
                                        read(BUILD, "CPackConfig.cmake")).group(1),
        }
        for page in ("ppi-refine", "vornel"):
            found[f"man page {page}"] = re.search(rf'^\.TH .*"{page} ([^"]*)"',
                                                  read(BUILD, "man", f"{page}.1"), re.M).group(1)
        module = os.path.join(BUILD, "python")
        if glob.glob(os.path.join(module, "vornel", "_vornel*.so")):  # built with pybind11
            found["python __version__"] = run(
                "/usr/bin/python3", "-c", "import vornel; print(vornel.__version__)",
                env=dict(os.environ, PYTHONPATH=module)).strip()
        return found

    def test_every_place_carries_the_version_of_cmakelists(self):
        version = cmake_version()
        found = self.versions_found()
        found["vornel --version"] = found["vornel --version"].removeprefix("vornel ")
        wrong = {place: value for place, value in found.items() if value != version}
        self.assertEqual(wrong, {}, f"project(VERSION) is {version}")
        self.assertIn(f"## {version} ", read(REPO, "CHANGELOG.md"))

    def test_the_recipe_check_names_what_a_review_would_refuse(self):
        import check_conda_recipe
        meta = check_conda_recipe.render_recipe()
        self.assertEqual(check_conda_recipe.recipe_problems(meta), [])
        meta["requirements"]["run"] = []
        meta["test"]["commands"] = [c for c in meta["test"]["commands"] if "ppi-refine" not in c]
        del meta["about"]["home"]
        self.assertEqual(check_conda_recipe.recipe_problems(meta), [
            "meta.yaml: no requirements/run", "meta.yaml: requirements/run lacks isa-l",
            "meta.yaml: requirements/run lacks zlib", "meta.yaml: the test commands do not run ppi-refine", "meta.yaml: no about/home"])


def roff_text(page):
    """A man page's source with roff's escaped dashes and font changes made plain."""
    return re.sub(r"\\f[BIRP]", "", read(BUILD, "man", page)).replace("\\-", "-")


def help_section(text, title):
    """The indented lines under `title:` up to the next unindented line."""
    lines = text.split(f"\n{title}:\n", 1)[1].splitlines()
    return "\n".join(line for line in lines[:next((i for i, l in enumerate(lines)
                                                    if l and not l[0].isspace()), len(lines))])


def options_of(section):
    return set(re.findall(r"(?<![\w-])(--?[A-Za-z][\w-]*)", section))


class ManPageTest(unittest.TestCase):
    def test_vornel_page_names_every_option_and_method_of_its_help(self):
        page = roff_text("vornel.1")
        vornel = os.path.join(BUILD, "vornel")
        main_help = run(vornel, "--help")
        evaluate_help = run(vornel, "evaluate", "--help")
        entries = set(re.findall(r"^\.(?:B|BR) (.*)$", page, re.M))
        named = options_of("\n".join(entries))
        missing = {f"vornel --help: {o}" for o in options_of(help_section(main_help, "Options"))
                   if o not in named}
        missing |= {f"vornel evaluate --help: {o}" for o in
                    options_of(help_section(evaluate_help, "Options")) if o not in named}
        methods = re.findall(r"^  (\S+) ", help_section(main_help, "Methods"), re.M)
        self.assertGreater(len(methods), 10)
        missing |= {f"method {m}" for m in methods if f".B {m}" not in page.splitlines()}
        self.assertEqual(missing, set(), "add a .TP entry to man/vornel.1.in for each")

    def test_ppi_refine_page_names_every_argument_of_its_usage(self):
        usage = subprocess.run([os.path.join(BUILD, "ppi-refine")], capture_output=True,
                               text=True).stdout.splitlines()[-1].split()[1:]
        page = roff_text("ppi-refine.1")
        self.assertEqual(len(usage), 7)
        self.assertEqual([a for a in usage if f".I {a}" not in page.splitlines()], [])

    def test_pages_render_cleanly_and_install_into_share_man(self):
        for page in ("ppi-refine.1", "vornel.1") if shutil.which("groff") else ():
            rendered = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z",
                                       os.path.join(BUILD, "man", page)],
                                      capture_output=True, text=True)
            self.assertEqual((rendered.returncode, rendered.stderr), (0, ""), page)
        with tempfile.TemporaryDirectory() as prefix:
            run("cmake", "--install", BUILD, "--prefix", prefix)
            installed = sorted(os.listdir(os.path.join(prefix, "share", "man", "man1")))
            self.assertEqual(installed, ["ppi-refine.1.gz", "vornel.1.gz"])
            self.assertTrue(os.access(os.path.join(prefix, "bin", "vornel"), os.X_OK))


class GalaxyToolTest(unittest.TestCase):
    def test_every_tool_test_passes_against_this_build(self):
        checked = subprocess.run(["/usr/bin/python3",
                                  os.path.join(REPO, "packaging", "check_galaxy_tools.py"), BUILD],
                                 capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertEqual(checked.stdout.count("passed"), 6, checked.stdout)

    def test_an_output_unlike_the_declared_one_is_reported(self):
        import xml.etree.ElementTree as ElementTree
        import check_galaxy_tools
        declared = ElementTree.fromstring(
            '<output name="refined" file="refined_cn_top100.tsv"><assert_contents>'
            '<has_text text="P01"/><not_has_text text="Error: "/><has_n_lines n="100"/>'
            '</assert_contents></output>')
        expected = read(check_galaxy_tools.TEST_DATA, "refined_cn_top100.tsv")
        with tempfile.TemporaryDirectory() as scratch:
            produced = os.path.join(scratch, "out.dat")
            with open(produced, "w") as out:
                out.write(expected)
            self.assertEqual(check_galaxy_tools.check_output("refined", declared, produced), [])
            with open(produced, "w") as out:
                out.write(expected.replace("P01", "Q01", 1) + "Error: x\n")
            self.assertEqual(check_galaxy_tools.check_output("refined", declared, produced), [
                "output refined differs from refined_cn_top100.tsv",
                "output refined holds 'Error: '", "output refined has 101 lines, not 100"])


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[-1] == "GalaxyToolTest":
        try:
            import Cheetah  # noqa: F401
        except ImportError:
            print("python3-cheetah not found: install it to run the Galaxy tool tests")
            sys.exit(77)
    unittest.main()
