#!/usr/bin/env python3
"""Runs the <tests> of the Galaxy tool wrappers (packaging/galaxy/*.xml) without Galaxy: each
test's parameters (the tool's defaults where the test names none) fill the <command> template
(Cheetah, as Galaxy renders it, its lines then joined by blanks), the command runs in an empty
job directory with the programs of a build directory first on PATH, and every output the test
declares is compared: with its
expected file byte for byte, or by its <assert_contents> (has_text, not_has_text, has_line,
has_n_lines). A failing exit status fails the test, as detect_errors="exit_code" does.

Usage: check_galaxy_tools.py BUILD_DIR [--update]   (--update rewrites the expected files
from this build and regenerates the test inputs with tools/synth_network.py)
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

from Cheetah.Template import Template

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "galaxy")
REPO = os.path.dirname(os.path.dirname(HERE))
TEST_DATA = os.path.join(HERE, "test-data")


def expand_macros(tool_path):
    """The tool's XML with macros.xml's tokens and <expand macro=...> elements filled in."""
    macros = ElementTree.parse(os.path.join(HERE, "macros.xml")).getroot()
    tokens = {m.get("name"): m.text for m in macros.iter("token")}
    xml_macros = {m.get("name"): list(m) for m in macros.iter("xml")}
    with open(tool_path, encoding="utf-8") as text:
        source = text.read()
    for name, value in tokens.items():
        source = source.replace(name, value)
    root = ElementTree.fromstring(source)
    for parent in list(root.iter()):
        for index, child in reversed(list(enumerate(parent))):
            if child.tag == "expand":
                parent.remove(child)
                for offset, element in enumerate(xml_macros[child.get("macro")]):
                    parent.insert(index + offset, element)
    return root


def default_value(param):
    """What Galaxy gives a parameter the test does not set."""
    if param.get("type") == "select":
        options = param.findall("option")
        chosen = [o for o in options if o.get("selected") == "true"] or options
        return chosen[0].get("value")
    if param.get("type") == "data":
        return ""
    return param.get("value", "")


def test_values(element):
    """The <param> values of a <test> (or of a <conditional> inside it), nested by name."""
    values = {}
    for child in element:
        if child.tag == "param":
            values[child.get("name")] = child.get("value")
        elif child.tag in ("conditional", "section"):
            values[child.get("name")] = test_values(child)
    return values


def fill_inputs(inputs, given):
    """Every parameter of an <inputs> block (or a <when>): the test's value, else the default;
    data parameters become paths into test-data/."""
    values = {}
    for child in inputs:
        name = child.get("name")
        if child.tag == "param":
            value = given.get(name, default_value(child))
            if child.get("type") == "data" and value:
                value = os.path.join(TEST_DATA, value)
            values[name] = value
        elif child.tag == "conditional":
            selector = child.find("param")
            chosen = given.get(name, {})
            key = chosen.get(selector.get("name"), default_value(selector))
            when = next(w for w in child.findall("when") if w.get("value") == key)
            values[name] = {selector.get("name"): key, **fill_inputs(when, chosen)}
    return values


def output_wanted(data, values):
    """An output's <filter>, evaluated as Galaxy does, over the parameter values."""
    condition = data.find("filter")
    return condition is None or eval(condition.text.strip(), {"__builtins__": {}}, dict(values))


def check_output(name, test_output, path):
    """Problems of one produced output against what the test declares."""
    if not os.path.exists(path):
        return [f"output {name} was not written"]
    with open(path, encoding="utf-8", errors="replace") as text:
        produced = text.read()
    problems = []
    if test_output.get("file"):
        with open(os.path.join(TEST_DATA, test_output.get("file")), encoding="utf-8") as text:
            if text.read() != produced:
                problems.append(f"output {name} differs from {test_output.get('file')}")
    for check in test_output.iter():
        text = check.get("text")
        if check.tag == "has_text" and text not in produced:
            problems.append(f"output {name} lacks '{text}'")
        elif check.tag == "not_has_text" and text in produced:
            problems.append(f"output {name} holds '{text}'")
        elif check.tag == "has_line" and check.get("line") not in produced.splitlines():
            problems.append(f"output {name} has no line '{check.get('line')}'")
        elif check.tag == "has_n_lines" and len(produced.splitlines()) != int(check.get("n")):
            problems.append(f"output {name} has {len(produced.splitlines())} lines, "
                            f"not {check.get('n')}")
    return problems


def run_test(tool, test, build_dir, update):
    """Runs one <test>; returns its problems (none when it passed)."""
    values = fill_inputs(tool.find("inputs"), test_values(test))
    with tempfile.TemporaryDirectory(prefix="galaxy-job-") as job:
        outputs = {d.get("name"): os.path.join(job, "outputs", d.get("name") + ".dat")
                   for d in tool.find("outputs") if output_wanted(d, values)}
        os.makedirs(os.path.join(job, "outputs"))
        command = str(Template(tool.find("command").text, searchList=[{**values, **outputs}]))
        command = command.replace("\n", " ").replace("\r", " ").strip()  # as Galaxy joins it
        env = dict(os.environ, PATH=os.path.abspath(build_dir) + os.pathsep + os.environ["PATH"])
        work = os.path.join(job, "working")
        os.makedirs(work)
        finished = subprocess.run(["bash", "-c", command], cwd=work, env=env,
                                  capture_output=True, text=True)
        if finished.returncode != 0:
            return [f"exit status {finished.returncode}: {finished.stderr.strip()}"]
        declared = {o.get("name"): o for o in test.findall("output")}
        if int(test.get("expect_num_outputs", len(outputs))) != len(outputs):
            return [f"{len(outputs)} outputs, not {test.get('expect_num_outputs')}"]
        if update:
            for name, test_output in declared.items():
                if test_output.get("file"):
                    shutil.copyfile(outputs[name],
                                    os.path.join(TEST_DATA, test_output.get("file")))
        return [problem for name, test_output in declared.items()
                for problem in check_output(name, test_output, outputs.get(name, ""))]


def make_test_inputs():
    """The tests' network (generated, with known truth) and a pair list drawn from it."""
    with tempfile.TemporaryDirectory() as out_dir:
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "synth_network.py"),
                        "--proteins", "80", "--interactions", "250", "--seed", "19",
                        "--false-share", "0.2", "--missing-share", "0.1", "--out-dir", out_dir],
                       check=True)
        shutil.copyfile(os.path.join(out_dir, "network.tsv"),
                        os.path.join(TEST_DATA, "network.tsv"))
        with open(os.path.join(out_dir, "missing.tsv")) as missing, \
                open(os.path.join(out_dir, "false.tsv")) as false, \
                open(os.path.join(TEST_DATA, "pairs.tsv"), "w") as pairs:
            pairs.write("".join(false.readlines()[:10] + missing.readlines()[:10]))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build_dir", help="where ppi-refine and vornel are")
    parser.add_argument("--update", action="store_true")
    args = parser.parse_args(argv)
    if args.update:
        make_test_inputs()
    failed = 0
    for name in sorted(os.listdir(HERE)):
        if not name.endswith(".xml") or name == "macros.xml":
            continue
        tool = expand_macros(os.path.join(HERE, name))
        for number, test in enumerate(tool.find("tests").findall("test"), 1):
            problems = run_test(tool, test, args.build_dir, args.update)
            failed += bool(problems)
            print(f"{name} test {number}: " + ("; ".join(problems) if problems else "passed"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
