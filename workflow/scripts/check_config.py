"""Checks of a workflow config, every problem listed at once: names given twice in a config
file (YAML keeps the last one silently), unknown keys, and values of the wrong kind (a
threshold that is not a number, a core count that is not a whole number)."""

import math
import re

import yaml

NAME = re.compile(r"[A-Za-z0-9_][A-Za-z0-9_.+-]*")
NUMBER = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")
RESERVED_NAMES = ("generated",)  # RESULTS_DIR/generated/ holds the generated networks
SETTING_KEYS = {"iterations": "whole", "filter_method": "word", "filter_min_score": "number",
                "add_method": "word", "add_min_score": "number"}
GENERATED_KEYS = {"proteins": "positive", "interactions": "positive", "seed": "whole",
                  "false_share": "number", "missing_share": "number"}
TOP_LEVEL_KEYS = {"networks": None, "generated_networks": None, "settings": None,
                  "results_dir": "text", "build_dir": "text", "fail_on_error": "flag",
                  "evaluate": "flag", "evaluate_options": "options", "threads": "positive",
                  "mem_mb": "positive", "runtime_min": "positive"}
KIND_NAMES = {"whole": "a whole number", "positive": "a whole number of at least 1",
              "number": "a number", "word": "a name without blanks", "text": "a path",
              "flag": "true or false", "options": "a list of words or numbers"}


def duplicate_names(path):
    """One message per key given twice in a mapping of the config file at path."""
    with open(path, encoding="utf-8") as text:
        try:
            root = yaml.compose(text, Loader=yaml.SafeLoader)
        except yaml.YAMLError as error:
            return [f"config {path}: not valid YAML: {error}"]
    return list(_duplicates_in(root, "the top level", path))


def _duplicates_in(node, where, path):
    if isinstance(node, yaml.MappingNode):
        first_lines = {}
        for key, value in node.value:
            if isinstance(key, yaml.ScalarNode) and key.value != "<<":
                line = key.start_mark.line + 1
                if key.value in first_lines:
                    yield (f"config {path}:{line}: '{key.value}' is given twice in {where} "
                           f"(also on line {first_lines[key.value]}); name each entry once")
                first_lines.setdefault(key.value, line)
                yield from _duplicates_in(value, f"'{key.value}'", path)
    elif isinstance(node, yaml.SequenceNode):
        for item in node.value:
            yield from _duplicates_in(item, where, path)


def value_problem(value, kind):
    """Why value is not of the kind (None when it is)."""
    is_number = isinstance(value, (int, float)) and not isinstance(value, bool)
    if kind in ("whole", "positive"):
        fits = isinstance(value, int) and not isinstance(value, bool) and (
            kind == "whole" or value >= 1)
    elif kind == "number":
        fits = (is_number and math.isfinite(value)) or (
            isinstance(value, str) and NUMBER.fullmatch(value) is not None)
    elif kind == "word":
        fits = isinstance(value, str) and value != "" and value.split() == [value]
    elif kind == "text":
        fits = isinstance(value, str) and value.strip() != ""
    elif kind == "flag":
        fits = isinstance(value, bool)
    else:
        fits = isinstance(value, list) and all(
            isinstance(item, (str, int, float)) and not isinstance(item, bool) for item in value)
    return None if fits else f"is {shown(value)}, not {KIND_NAMES[kind]}"


def shown(value):
    """A value as the config's author wrote it, roughly: 'O.2', 5, null, a list."""
    if value is None:
        return "null"
    if isinstance(value, (list, dict)):
        return "a list" if isinstance(value, list) else "a mapping"
    return repr(value)


def entry_problems(where, entry, keys, required):
    """Problems of one setting or generated network: missing, unknown and ill-typed keys."""
    if not isinstance(entry, dict):
        return [f"config: {where} must map {', '.join(keys)} to values, not {shown(entry)}"]
    problems = []
    missing = [key for key in required if key not in entry]
    if missing:
        problems.append(f"config: {where} lacks {', '.join(missing)}")
    problems += [f"config: {where} has an unknown key '{key}' (known: {', '.join(keys)})"
                 for key in entry if key not in keys]
    problems += [f"config: {where}: {key} {problem}" for key, value in entry.items()
                 if key in keys and (problem := value_problem(value, keys[key]))]
    return problems


def name_problems(kind, entries):
    return [f"config: {kind} name '{name}' is not a plain file name (letters, digits, _ . + -)"
            " or is taken by the results" for name in entries
            if not NAME.fullmatch(str(name)) or str(name).startswith("summary.")
            or str(name) in RESERVED_NAMES]


def config_problems(config):
    """Every problem of a config (as snakemake merged it), in the order of its keys."""
    problems = [f"config: unknown key '{key}' (known: {', '.join(TOP_LEVEL_KEYS)})"
                for key in config if key not in TOP_LEVEL_KEYS]
    problems += [f"config: {key} {problem}" for key, kind in TOP_LEVEL_KEYS.items()
                 if kind and key in config and (problem := value_problem(config[key], kind))]
    networks, generated = config.get("networks") or {}, config.get("generated_networks") or {}
    for kind, entries in (("networks", networks), ("generated_networks", generated),
                          ("settings", config.get("settings"))):
        if not isinstance(entries, dict):
            problems.append(f"config: '{kind}' must map names to entries")
            continue
        problems += name_problems(kind.split("_")[-1][:-1], entries)
    if isinstance(networks, dict) and isinstance(generated, dict):
        if not networks and not generated:
            problems.append("config: 'networks' must map names to entries")
        problems += [f"config: network '{name}' names no file" for name, path in networks.items()
                     if value_problem(path, "text")]
        problems += [f"config: network name '{name}' is both in networks and in "
                     "generated_networks" for name in networks if name in generated]
        for name, entry in generated.items():
            problems += entry_problems(f"generated network '{name}'", entry, GENERATED_KEYS,
                                       ("proteins", "interactions", "seed"))
    for name, setting in (config.get("settings") or {}).items() \
            if isinstance(config.get("settings"), dict) else ():
        problems += entry_problems(f"setting '{name}'", setting, SETTING_KEYS, SETTING_KEYS)
    return problems
