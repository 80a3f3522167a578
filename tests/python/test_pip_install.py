"""The package installs offline into a fresh virtual environment, by the README's line:

    python3 -m venv v && v/bin/pip install --no-index --find-links /usr/share/python-wheels wheel \
        && v/bin/pip install --no-build-isolation --no-index ./python

run in a copy of the repository, with the interpreter that runs these tests
as python3 and no pip configuration of this machine's.  The installed
package must load the library inside it and parse the example reader output
as micrparse does.
"""
import json
import os
import shutil
import subprocess
import sys

from conftest import EXAMPLES, SOURCE_DIR, micrparse_records

CHECK = """
import json, sys
import micr
lines = open(sys.argv[1], "rb").read().splitlines()
with micr.Table.open(sys.argv[2]) as table:
    print(json.dumps({"file": micr.__file__, "library": micr.library_path, "version": micr.__version__,
                      "results": [micr.parse(line, table).as_dict() for line in lines]}))
"""


def test_pip_installs_the_package_with_its_library_offline(tmp_path):
    repository = tmp_path / "micr"
    shutil.copytree(SOURCE_DIR, repository,
                    ignore=shutil.ignore_patterns(".git", "build", "__pycache__", "*.egg-info", ".pytest_cache"))
    env = {name: value for name, value in os.environ.items()
           if not name.startswith(("PIP_", "PYTHON", "VIRTUAL_ENV"))}
    env["PIP_CONFIG_FILE"] = os.devnull
    for command in ([sys.executable, "-m", "venv", "v"],
                    ["v/bin/pip", "install", "--no-index", "--find-links", "/usr/share/python-wheels", "wheel"],
                    ["v/bin/pip", "install", "--no-build-isolation", "--no-index", "./python"]):
        run = subprocess.run(command, cwd=repository, env=env, capture_output=True, text=True)
        assert run.returncode == 0, f"{' '.join(command)}\n{run.stdout}\n{run.stderr}"

    outside = tmp_path / "elsewhere"  # not beside python/, whose micr/ has no library
    outside.mkdir()
    run = subprocess.run([str(repository / "v/bin/python"), "-c", CHECK, str(EXAMPLES / "reader-output.txt"),
                          str(EXAMPLES / "PARSE.DAT")], cwd=outside, env=env, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    installed = json.loads(run.stdout)
    site = repository / "v" / "lib"
    assert installed["file"].startswith(str(site)) and installed["library"].startswith(str(site))
    assert installed["library"].endswith("/micr/libmicr.so") and os.path.isfile(installed["library"])
    cmake_lists = (SOURCE_DIR / "CMakeLists.txt").read_text()
    assert f"project(micr VERSION {installed['version']} " in cmake_lists

    records = micrparse_records(["reader-output.txt"], EXAMPLES)
    assert len(installed["results"]) == len(records) > 0
    for mine, record in zip(installed["results"], records):
        assert mine == {key: record[key] for key in mine}
