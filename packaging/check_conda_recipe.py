#!/usr/bin/env python3
"""Checks the conda recipe (packaging/conda) without conda: renders meta.yaml as conda-build
does (its Jinja functions and line selectors, for linux-64), checks the fields bioconda's
review asks for, runs build.sh with PREFIX and CPU_COUNT set into a temporary prefix, then runs
the recipe's test commands against that prefix, as conda-build's run_test.sh does.

Usage: check_conda_recipe.py [--keep PREFIX_DIR]   (exit 0 when everything passed)
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

import jinja2
import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
RECIPE = os.path.join(HERE, "conda")
SELECTOR = re.compile(r"^(.*?)\s*#\s*\[(.+)\]\s*$")
PLATFORM = {"linux": True, "linux64": True, "unix": True, "osx": False, "win": False,
            "x86_64": True, "aarch64": False}


def keep_line(line):
    """conda-build's selectors: a line ending in `# [expression]` is kept when it holds."""
    found = SELECTOR.match(line)
    if not found:
        return line
    return found.group(1) if eval(found.group(2), {"__builtins__": {}}, dict(PLATFORM)) else None


def render_recipe(recipe_dir=RECIPE, source_dir=REPO):
    """meta.yaml as a dict, with the source tree's files for load_file_regex."""
    def load_file_regex(load_file, regex_pattern, from_recipe_dir=False, **_):
        base = recipe_dir if from_recipe_dir else source_dir
        with open(os.path.join(base, load_file), encoding="utf-8") as text:
            return re.search(regex_pattern, text.read(), re.M)

    environment = jinja2.Environment(undefined=jinja2.StrictUndefined)
    environment.globals.update(load_file_regex=load_file_regex,
                               compiler=lambda language: f"{language}_compiler",
                               pin_subpackage=lambda name, **_: name)
    with open(os.path.join(recipe_dir, "meta.yaml"), encoding="utf-8") as text:
        rendered = environment.from_string(text.read()).render()
    kept = (keep_line(line) for line in rendered.splitlines())
    return yaml.safe_load("\n".join(line for line in kept if line is not None))


def recipe_problems(meta, source_dir=REPO):
    """What bioconda's review would refuse: missing fields or requirements."""
    problems = []
    def field(*keys):
        value = meta
        for key in keys:
            value = value.get(key) if isinstance(value, dict) else None
        if not value:
            problems.append(f"meta.yaml: no {'/'.join(keys)}")
        return value or []
    field("package", "name")
    field("package", "version")
    if not isinstance((meta.get("build") or {}).get("number"), int):
        problems.append("meta.yaml: no build/number")
    build = " ".join(field("requirements", "build"))
    for needed in ("cxx_compiler", "cmake"):
        if needed not in build:
            problems.append(f"meta.yaml: requirements/build lacks {needed}")
    for section in ("host", "run"):
        listed = field("requirements", section)
        problems += [f"meta.yaml: requirements/{section} lacks {library}"
                     for library in ("isa-l", "zlib") if library not in listed]
    commands = " ".join(field("test", "commands"))
    for program in ("vornel", "ppi-refine"):
        if program not in commands:
            problems.append(f"meta.yaml: the test commands do not run {program}")
    for key in ("home", "license", "summary"):
        field("about", key)
    license_file = meta.get("about", {}).get("license_file", "")
    if not os.path.isfile(os.path.join(source_dir, license_file)):
        problems.append(f"meta.yaml: license_file '{license_file}' is not in the source")
    return problems


def run_build(prefix, source_dir=REPO):
    """build.sh as conda-build runs it: in the source tree, PREFIX, CPU_COUNT and SRC_DIR set."""
    env = dict(os.environ, PREFIX=prefix, CPU_COUNT=os.environ.get("CPU_COUNT", "2"),
               SRC_DIR=source_dir, CMAKE_ARGS=os.environ.get("CMAKE_ARGS", ""))
    shutil.rmtree(os.path.join(source_dir, "build-conda"), ignore_errors=True)
    try:
        subprocess.run(["bash", os.path.join(RECIPE, "build.sh")], cwd=source_dir, env=env,
                       check=True)
    finally:
        shutil.rmtree(os.path.join(source_dir, "build-conda"), ignore_errors=True)


def run_tests(meta, prefix):
    """The test commands in one bash script with `set -ex`, in an empty directory, with the
    prefix's bin first on PATH (as conda-build's run_test.sh)."""
    script = "set -ex\n" + "\n".join(meta["test"]["commands"]) + "\n"
    env = dict(os.environ, PREFIX=prefix, PATH=os.path.join(prefix, "bin") + os.pathsep +
               os.environ["PATH"])
    with tempfile.TemporaryDirectory(prefix="conda-test-") as work:
        return subprocess.run(["bash", "-c", script], cwd=work, env=env).returncode


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--render-only", action="store_true",
                        help="check meta.yaml's fields without building")
    args = parser.parse_args(argv)
    meta = render_recipe()
    problems = recipe_problems(meta)
    for problem in problems:
        print(f"check_conda_recipe: {problem}", file=sys.stderr)
    if problems or args.render_only:
        return 1 if problems else 0
    with tempfile.TemporaryDirectory(prefix="conda-prefix-") as prefix:
        run_build(prefix)
        status = run_tests(meta, prefix)
    print(f"check_conda_recipe: {meta['package']['name']} {meta['package']['version']}: "
          + ("build and test commands passed" if status == 0 else "a test command failed"),
          file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
