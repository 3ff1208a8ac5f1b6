"""Builds the compiled module with the project's own CMake build (target _vornel), so the
package always compiles the same scorer sources, options and libraries as the vornel program,
whatever files the scorer and the input layer are made of."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

REPO = Path(__file__).resolve().parent.parent


def project_version():
    """The version of project(VERSION) in the repository's CMakeLists.txt, the one place it is
    written."""
    text = (REPO / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"^project\(\s*\w+\s+VERSION\s+([0-9][0-9.]*)", text, re.M)
    if not found:
        raise RuntimeError(f"no project(... VERSION x.y.z) in {REPO / 'CMakeLists.txt'}")
    return found.group(1)


class cmake_extension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class build_with_cmake(build_ext):
    def build_extension(self, ext):
        if not (REPO / "scorer" / "CMakeLists.txt").is_file():
            raise RuntimeError(f"the vornel sources are not beside this folder ({REPO}); "
                               "install from the repository: pip install ./python")
        build_dir = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(REPO), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                        "-DPPI_BUILD_TESTS=OFF", "-DPPI_BUILD_BENCH=OFF", "-DPPI_BUILD_PYTHON=ON",
                        f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "_vornel", "-j", jobs], check=True)
        built = next((build_dir / "python" / "vornel").glob("_vornel*.so"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(version=project_version(), ext_modules=[cmake_extension("vornel._vornel")], cmdclass={"build_ext": build_with_cmake})
