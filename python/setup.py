"""Builds the package with its library: libmicr.so is built from this
repository by CMake (library only: no tests, no programs) in a temporary
build directory and shipped inside the package.  The version is the
project's, from the top-level CMakeLists.txt."""
import os
import re
import shutil
import tempfile
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent  # the repository: the package is built from it, not from a copy


def project_version() -> str:
    cmake_lists = SOURCE / "CMakeLists.txt"
    found = None
    if cmake_lists.is_file():
        found = re.search(r"project\(\s*micr\s+VERSION\s+(\d+\.\d+\.\d+)", cmake_lists.read_text())
    if found is None:
        raise SystemExit(f"micr: no project(micr VERSION ...) in {cmake_lists}; the package is built "
                         f"from the micr repository, where python/ sits beside CMakeLists.txt")
    return found.group(1)


VERSION = project_version()


def write_config(package: Path, library: str) -> None:
    template = (HERE / "config.py.in").read_text()
    text = template.replace("@MICR_VERSION@", VERSION).replace("@MICR_LIBRARY@", library)
    (package / "_config.py").write_text(text)


class build_py_with_library(build_py):
    """build_py, then libmicr.so built by CMake and copied into the package."""

    def run(self) -> None:
        super().run()
        package = Path(self.build_lib) / "micr"
        with tempfile.TemporaryDirectory(prefix="micr-library-") as build:
            configure = ["cmake", "-S", str(SOURCE), "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                         "-DMICR_BUILD_SHARED=ON", "-DMICR_BUILD_TESTS=OFF", "-DMICR_BUILD_MICRPARSE=OFF",
                         "-DMICR_INSTALL=OFF", "-DMICR_PYTHON=OFF"]
            if "CMAKE_GENERATOR" not in os.environ and shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            self.spawn(configure)
            self.spawn(["cmake", "--build", build, "--target", "micr_parser_shared",
                        "--parallel", str(os.cpu_count() or 1)])
            # libmicr.so -> libmicr.so.1 -> libmicr.so.1.x.y: the file itself.
            shutil.copyfile(Path(build, "libmicr.so").resolve(), package / "libmicr.so")
        write_config(package, "libmicr.so")


class platform_distribution(Distribution):
    """The package holds a compiled library: its wheel is for this platform."""

    def has_ext_modules(self) -> bool:
        return True


setup(version=VERSION, cmdclass={"build_py": build_py_with_library}, distclass=platform_distribution)
