#!/usr/bin/env python3
"""Times micrtest over a generated test-case file against the floor program.

In a temporary directory: writes a test-case file (100,000 lines by default)
and a 20-entry PARSE.DAT with micr_corpus, runs micrtest once untimed to learn
how many bytes it writes, then runs micrtest and micr_floor alternately and
prints the median wall-clock time of each and their ratio.  The floor reads
the same file line by line, opens, reads and closes PARSE.DAT for each line
as far as the parser must, and writes the same number of bytes: the I/O that
no implementation can avoid.

Usage: python3 bench/measure_program.py [--runs N] [--cases N] [--entries 20|1000]
       [--build DIR] [--compare MICRTEST]
With --compare, another micrtest binary (say, one built from an earlier
commit) is timed in the same runs, so that a change is judged against the
same floor under the same load; its report must be byte for byte the same.
The programs come from the bench preset's build directory (build/bench); when
they are missing the preset is configured and built first.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

TARGET = 1.3


def build_if_needed(source, build):
    programs = [os.path.join(build, "micrtest"),
                os.path.join(build, "bench", "micr_corpus"),
                os.path.join(build, "bench", "micr_floor")]
    if not all(os.access(p, os.X_OK) for p in programs):
        subprocess.run(["cmake", "--preset", "bench"], cwd=source, check=True)
        subprocess.run(["cmake", "--build", "--preset", "bench"], cwd=source, check=True)
    return programs


def timed(command, directory, output):
    with open(output, "wb") as out:
        start = time.perf_counter()
        result = subprocess.run(command, cwd=directory, stdout=out)
        elapsed = time.perf_counter() - start
    return elapsed, result.returncode


def main():
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(source, "build", "bench"))
    parser.add_argument("--cases", type=int, default=100000)
    parser.add_argument("--entries", choices=["20", "1000"], default="20")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--compare", help="another micrtest to time beside this one")
    args = parser.parse_args()

    micrtest, corpus, floor = build_if_needed(source, os.path.abspath(args.build))
    with tempfile.TemporaryDirectory(prefix="micr-measure-") as work:
        subprocess.run([corpus, work, str(args.cases), args.entries], check=True)
        report = os.path.join(work, "report.txt")
        program = [micrtest, "cases.txt"]

        # Untimed: the byte count for the floor, and warm file caches.
        _, status = timed(program, work, report)
        if status not in (0, 2):
            sys.exit(f"micrtest ended with exit status {status}")
        size = os.path.getsize(report)
        floor_command = [floor, "cases.txt", "io_plan.bin", str(size)]
        _, status = timed(floor_command, work, report)
        if status != 0 or os.path.getsize(report) != size:
            sys.exit("the floor program did not write the same number of bytes")

        commands = [("micrtest", program), ("floor", floor_command)]
        if args.compare:
            other = [os.path.abspath(args.compare), "cases.txt"]
            timed(program, work, report)
            with open(report, "rb") as mine:
                expected = mine.read()
            timed(other, work, report)
            with open(report, "rb") as theirs:
                if theirs.read() != expected:
                    sys.exit("the compared micrtest writes another report")
            commands.append(("compared", other))
        times = {name: [] for name, _ in commands}
        load_before = os.getloadavg()[0]
        for run in range(args.runs):
            # Alternate which goes first, so neither always follows the other.
            order = commands[run % len(commands):] + commands[:run % len(commands)]
            for name, command in order:
                elapsed, _ = timed(command, work, report)
                times[name].append(elapsed)
        load_after = os.getloadavg()[0]

    program_median = statistics.median(times["micrtest"])
    floor_median = statistics.median(times["floor"])
    ratio = program_median / floor_median
    print(f"test cases: {args.cases}, PARSE.DAT entries: {args.entries}, "
          f"output: {size} bytes, runs: {args.runs} each, "
          f"load average {load_before:.2f} -> {load_after:.2f}")
    for name in times:
        spread = ", ".join(f"{t * 1000:.0f}" for t in sorted(times[name]))
        print(f"  {name:9s} median {statistics.median(times[name]) * 1000:8.1f} ms   (all: {spread})")
    verdict = "met" if ratio <= TARGET else "NOT MET"
    print(f"  ratio     {ratio:.3f}  (target <= {TARGET}: {verdict})")
    if "compared" in times:
        print(f"  compared  {statistics.median(times['compared']) / floor_median:.3f} over the same floor")


if __name__ == "__main__":
    main()
