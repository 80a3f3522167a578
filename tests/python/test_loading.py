"""Which libmicr.so the package loads: only its own, and only of its own version.

The package is copied with a _config.py that points at a stand-in library
built by CTest (MICR_FAKE_OTHER_VERSION: a micr_version() of another
version; MICR_FAKE_NO_VERSION: none at all), and imported in a fresh
interpreter.
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

import micr

PACKAGE = Path(micr.__file__).parent


def package_copy(root: Path, library: str) -> Path:
    """The package's modules under root/micr, loading `library`."""
    copy = root / "micr"
    copy.mkdir()
    for module in PACKAGE.glob("*.py"):
        if module.name != "_config.py":
            shutil.copy(module, copy)
    (copy / "_config.py").write_text(f"VERSION = {micr.__version__!r}\nLIBRARY = {library!r}\n")
    return copy


def import_micr(root: Path, **environment: str) -> subprocess.CompletedProcess:
    env = dict(os.environ)
    env["PYTHONPATH"] = str(root)
    env.update(environment)
    return subprocess.run([sys.executable, "-c", "import micr; print(micr.library_path)"],
                          env=env, capture_output=True, text=True, cwd=root)


def test_the_package_loads_the_library_inside_it():
    assert Path(micr.library_path) == PACKAGE / "libmicr.so"
    maps = Path("/proc/self/maps").read_text()
    assert micr.library_path in maps


def test_a_library_of_another_version_fails_at_import_naming_both(tmp_path):
    other = os.environ["MICR_FAKE_OTHER_VERSION"]
    package_copy(tmp_path, other)
    run = import_micr(tmp_path)
    assert run.returncode != 0
    last = run.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: ")
    assert other in last and "libmicr 0.0.1" in last and f"micr {micr.__version__}" in last


def test_a_library_without_micr_version_fails_at_import_naming_its_path(tmp_path):
    old = os.environ["MICR_FAKE_NO_VERSION"]
    package_copy(tmp_path, old)
    run = import_micr(tmp_path)
    assert run.returncode != 0
    last = run.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: ") and old in last and f"micr {micr.__version__}" in last


def test_no_library_on_the_search_path_stands_in_for_the_packages_own(tmp_path):
    # A directory on the loader's path with the real library under its usual names.
    search = tmp_path / "lib"
    search.mkdir()
    for name in ("libmicr.so", "libmicr.so.1"):
        shutil.copy(micr.library_path, search / name)
    (tmp_path / "pkg").mkdir()
    package_copy(tmp_path / "pkg", "libmicr.so")  # its own library is missing
    run = import_micr(tmp_path / "pkg", LD_LIBRARY_PATH=str(search))
    assert run.returncode != 0
    assert f"{tmp_path / 'pkg' / 'micr' / 'libmicr.so'} is missing" in run.stderr

    # A library of another version on the search path: the package's own is loaded all the same.
    for name in ("libmicr.so", "libmicr.so.1"):
        shutil.copy(os.environ["MICR_FAKE_OTHER_VERSION"], search / name)
    run = import_micr(PACKAGE.parent, LD_LIBRARY_PATH=str(search))
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == micr.library_path
