#!/usr/bin/env python3
"""What micr.parse costs per line from Python, beside the C parse under it.

    PYTHONPATH=build/default/python/package python3 tests/bench/python_parse_cost.py
    (or with the package installed by pip: v/bin/python tests/bench/python_parse_cost.py)

Times passes over the example reader output, repeated to 4,096 lines, with
the example table: micr.parse; then the bare ctypes call to micr_parse into
a reused record, which is the floor of any binding through ctypes.  Prints
the fastest of the passes for each, per line.  Run by hand, on a quiet
machine; nothing here is a test.
"""
import ctypes
import sys
import time
from pathlib import Path

import micr
from micr import _library

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
PASSES = int(sys.argv[1]) if len(sys.argv) > 1 else 30


def fastest(run, lines):
    best = float("inf")
    for _ in range(PASSES):
        start = time.perf_counter()
        run(lines)
        best = min(best, time.perf_counter() - start)
    return best / len(lines) * 1e9


def main():
    given = (EXAMPLES / "reader-output.txt").read_bytes().splitlines()
    lines = (given * (4096 // len(given) + 1))[:4096]
    table = micr.Table.open(EXAMPLES / "PARSE.DAT")

    def with_package(lines):
        for line in lines:
            micr.parse(line, table)

    handle = table._live_handle()
    record = _library.MicrResult()
    c_parse = _library.lib.micr_parse

    def bare_ctypes(lines):
        for line in lines:
            c_parse(handle, line, len(line), 0, ctypes.byref(record))

    print(f"micr {micr.__version__}, Python {sys.version.split()[0]}, {len(lines)} lines, fastest of {PASSES} passes")
    print(f"micr.parse:              {fastest(with_package, lines):7.0f} ns per line")
    print(f"bare ctypes micr_parse:  {fastest(bare_ctypes, lines):7.0f} ns per line")


if __name__ == "__main__":
    main()
