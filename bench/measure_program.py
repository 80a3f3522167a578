#!/usr/bin/env python3
"""Times micrtest over a generated test-case file against micrparse, cat and the floor program.

In a temporary directory, micr_corpus writes a test-case file (100,000 lines
by default), the MICR lines of its cases alone, one a line, and a 20-entry
PARSE.DAT.  micrtest runs once untimed, to learn how many bytes its report
holds; then these run alternately, --runs times each:
  micrtest cases.txt > report.txt
  micrparse --table PARSE.DAT lines.txt > records.jsonl   the same lines parsed
                                    against the same table, written as JSON Lines
  cat cases.txt report.txt > /dev/null                    the bytes micrtest reads and writes
  micr_floor cases.txt io_plan.bin BYTES > floor.txt      reads the same file line by line,
                                    opens, reads and closes PARSE.DAT for each line as far
                                    as parse_micr_line must, and writes as many bytes
and the script prints the median wall-clock time of each and micrtest's
ratio over each of the other three.

Usage: python3 bench/measure_program.py [--runs N] [--cases N] [--entries 20|1000]
       [--build DIR] [--compare MICRTEST]...
With --compare, another micrtest binary (say, one built from an earlier
commit) is timed in the same runs and given the same ratios, so that a change
is judged under the same load; its report must be byte for byte the same.
The programs come from the bench preset's build directory (build/bench); when
they are missing the preset is configured and built first.
Exit status 1 when micrtest takes more than MICRPARSE_BOUND times micrparse.
"""
import os
import statistics
import subprocess
import sys
import tempfile

import bench_common as bench

MICRPARSE_BOUND = 1.5  # micrtest over micrparse on the same lines, at most
MICRPARSE_GOAL = 1.0
FLOOR_GOAL = 1.3  # micrtest over the floor


def main():
    parser = bench.argument_parser(__doc__)
    parser.add_argument("--cases", type=int, default=100000)
    parser.add_argument("--entries", choices=["20", "1000"], default="20")
    parser.add_argument("--compare", action="append", default=[], metavar="MICRTEST",
                        help="another micrtest to time beside this one (may be repeated)")
    args = parser.parse_args()

    micrtest, micrparse, corpus, floor = bench.build_if_needed(
        args.build, ["micrtest", "micrparse", "bench/micr_corpus", "bench/micr_floor"])
    with tempfile.TemporaryDirectory(prefix="micr-measure-") as work:
        subprocess.run([corpus, work, str(args.cases), args.entries], check=True)
        # micrtest exits 2 when a parsed field disagrees with its expected value.
        program = bench.Command("micrtest", [micrtest, "cases.txt"], work, "report.txt", (0, 2))

        # Untimed: the byte count for the floor, and warm file caches.
        bench.run(program)
        size = os.path.getsize(bench.output_path(program))
        floor_command = bench.Command("floor", [floor, "cases.txt", "io_plan.bin", str(size)], work, "floor.txt")
        bench.run(floor_command)
        if os.path.getsize(bench.output_path(floor_command)) != size:
            sys.exit("the floor program did not write the same number of bytes")

        others = []
        for name, path in zip(bench.compared_names(args.compare), args.compare):
            other = bench.Command(name, [os.path.abspath(path), "cases.txt"], work, name + ".txt", (0, 2))
            if not bench.same_output(program, other, program.output, other.output):
                sys.exit(f"the compared micrtest {path} writes another report")
            others.append(other)
        micrtests = [program] + others
        references = [
            bench.Command("micrparse", [micrparse, "--table", "PARSE.DAT", "lines.txt"], work, "records.jsonl"),
            bench.Command("cat", ["cat", "cases.txt", program.output], work),
            floor_command,
        ]
        load_before = bench.load_average()
        times = bench.time_alternately(micrtests + references, args.runs)
        load_after = bench.load_average()

    print(f"test cases: {args.cases}, PARSE.DAT entries: {args.entries}, report: {size} bytes, "
          f"runs: {args.runs} each, load average {load_before:.2f} -> {load_after:.2f}")
    for other, path in zip(others, args.compare):
        print(f"  {other.name}: {path}")
    bench.print_times(times)
    medians = {name: statistics.median(values) for name, values in times.items()}
    print(f"  {'':12s} {'/ micrparse':>12s} {'/ cat':>8s} {'/ floor':>8s}")
    for command in micrtests:
        t = medians[command.name]
        print(f"  {command.name:12s} {t / medians['micrparse']:12.3f} {t / medians['cat']:8.3f} "
              f"{t / medians['floor']:8.3f}")
    ratio = medians["micrtest"] / medians["micrparse"]
    print(f"  micrtest / micrparse {ratio:.3f}: bound {MICRPARSE_BOUND} {bench.verdict(ratio, MICRPARSE_BOUND)}, "
          f"goal {MICRPARSE_GOAL} {bench.verdict(ratio, MICRPARSE_GOAL)}")
    floor_ratio = medians["micrtest"] / medians["floor"]
    print(f"  micrtest / floor {floor_ratio:.3f}: goal {FLOOR_GOAL} {bench.verdict(floor_ratio, FLOOR_GOAL)}")
    for other in others:
        print(f"  micrtest / {other.name} {medians['micrtest'] / medians[other.name]:.3f}")
    return 1 if ratio > MICRPARSE_BOUND else 0


if __name__ == "__main__":
    sys.exit(main())
