#!/usr/bin/env bash
# Installs the Debian packages that a step of this project needs, only those
# that are missing, and says which.  It never installs anything silently:
# when it cannot install (not root, not Debian, no network), it prints the
# packages needed and exits 1.
#
#   ./setup.sh           build the library and the programs, micrtest and micrparse
#   ./setup.sh --python  build and install the Python package micr as well
#                        (pip install --no-build-isolation --no-index ./python)
#   ./setup.sh --tests   build and run every test as well
#   ./setup.sh --ci      everything .ci/run does: clang, the sanitizers, fuzzing,
#                        the benchmarks, the format check and the browser test
#                        of the HTML report as well
#
# A project that takes only the library (add_subdirectory) needs nothing but
# CMake and a C and a C++ compiler.
set -euo pipefail

usage() { sed -n '2,16s/^# \{0,1\}//p' "$0"; }

packages=(cmake ninja-build g++)
# The Python package builds in a fresh virtual environment, offline: venv
# brings pip and setuptools, python3-wheel-whl the wheel package; its tests
# run under pytest.
python_packages=(python3 python3-venv python3-wheel-whl python3-pytest)
# The JUnit report is read back by junitparser and xmllint.
test_packages=(libgtest-dev nlohmann-json3-dev pkg-config python3-junitparser libxml2-utils "${python_packages[@]}")
case "${1:-}" in
  "") ;;
  --python) packages+=("${python_packages[@]}") ;;
  --tests) packages+=("${test_packages[@]}") ;;
  # Chromium renders micrtest's HTML report in a test that the default preset
  # skips, saying so, where it is missing.
  --ci) packages+=("${test_packages[@]}" clang libclang-rt-14-dev libbenchmark-dev clang-format chromium) ;;
  -h | --help)
    usage
    exit 0
    ;;
  *)
    echo "setup.sh: unknown option '$1'" >&2
    usage >&2
    exit 2
    ;;
esac

needed() {
  echo "setup.sh: $1; this step needs the Debian packages: ${missing[*]}" >&2
  echo "setup.sh: install them with: apt-get install ${missing[*]}" >&2
  exit 1
}

if ! command -v dpkg-query >/dev/null 2>&1 || [ ! -r /etc/debian_version ]; then
  missing=("${packages[@]}")
  needed "this is not a Debian system, so nothing can be checked or installed"
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

[ "$(id -u)" -eq 0 ] || needed "only root can install packages"
echo "setup.sh: installing ${missing[*]}"
if ! { apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"; }; then
  needed "the install failed (is the package registry reachable?)"
fi
