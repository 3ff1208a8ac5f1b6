# Names and paths the rules share, from the checked config.

RESULTS = config.get("results_dir", "results")
GENERATED = {str(name): entry for name, entry in (config.get("generated_networks") or {}).items()}
NETWORKS = {str(name): str(path) for name, path in (config.get("networks") or {}).items()}
NETWORKS.update({name: f"{RESULTS}/generated/{name}/network.tsv" for name in GENERATED})
SETTINGS = {str(name): setting for name, setting in config["settings"].items()}
SCRIPTS = os.path.join(workflow.basedir, "scripts")
REPOSITORY = os.path.dirname(workflow.basedir)
PYTHON = sys.executable
EVALUATE = bool(config.get("evaluate", False))
EVALUATE_OPTIONS = " ".join(shlex.quote(str(option))
                            for option in config.get("evaluate_options", []))


def default_build_dir():
    """The repository's build/ when it holds the programs, else where ppi-refine is on PATH (an
    installed package), else build/ again (so the missing file is named)."""
    build = os.path.join(REPOSITORY, "build")
    installed = shutil.which("ppi-refine")
    if os.path.exists(os.path.join(build, "ppi-refine")) or installed is None:
        return build
    return os.path.dirname(installed)


BUILD = os.path.abspath(config["build_dir"]) if "build_dir" in config else default_build_dir()


def alternatives(names):
    return "|".join(re.escape(name) for name in names) or "(?!)"
