#!/usr/bin/env python3
"""Times micrparse over a day of reader output against copying its bytes.

In a temporary directory, `micr_corpus --batch` writes a 1,000-entry exception
table and 500,000 code lines of the form
  t<routing>t <n> <10 digits>o <4 digits> a<10 digits>a
whose routing numbers the table holds (generated from a fixed start value,
so every run measures the same work).  For JSON Lines, then for CSV,
micrparse runs once untimed to keep its output, then these run alternately,
--runs times each:
  micrparse --jobs 1 --table TABLE --format F INPUT > /dev/null   (one thread, no cache)
  cat INPUT OUTPUT > /dev/null                                    (the floor: the same bytes in and out)
and the script prints the medians and their ratio, then the peak resident
memory of micrparse beside that of loading the table alone.

Usage: python3 bench/measure_micrparse.py [--runs N] [--lines N] [--build DIR]
       [--compare MICRPARSE]... [--jobs N,N,...]
With --compare, another micrparse binary (say, one built from an earlier
commit) is timed in the same runs; its output must be byte for byte the same,
and this micrparse may take at most COMPARE_BOUND times as long.  It is given
--jobs 1 too when it takes that option (one built before it parses on one
thread anyway).
With --jobs, micrparse is timed at each of those job counts as well, in the
same runs, and each one's throughput is printed relative to --jobs 1; its
output must be that of --jobs 1, and the peak memory of each is measured,
the bound being MEMORY_BOUND_KIB per thread.
The programs come from the bench preset's build directory (build/bench); when
they are missing the preset is configured and built first.
Exit status 1 when a bound is not met.
"""
import os
import statistics
import subprocess
import sys
import tempfile

import bench_common as bench

# micrparse --jobs 1 over the floor, at most, and the aim, per format.
BOUNDS = {"jsonl": (4.5, 3.0), "csv": (8.0, 6.0)}
JOBS_2_BOUND = 1.6  # throughput of --jobs 2 over --jobs 1, at least, on two cores
COMPARE_BOUND = 1.05  # micrparse over a compared micrparse, at most
MEMORY_BOUND_KIB = 16384  # for the parse, beyond the table, per thread


def job_counts(text):
    """The job counts of --jobs, such as "1,2,4": those above 1, each once, in order."""
    counts = sorted({int(n) for n in text.split(",")})
    if not counts or counts[0] < 1:
        raise ValueError("job counts are whole numbers from 1")
    return [n for n in counts if n > 1]


def takes_jobs(micrparse):
    """Whether `micrparse` knows --jobs: an earlier one refuses it as unknown."""
    return subprocess.run([micrparse, "--jobs", "1", "--version"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def main():
    parser = bench.argument_parser(__doc__)
    parser.add_argument("--lines", type=int, default=500000)
    parser.add_argument("--compare", action="append", default=[], metavar="MICRPARSE",
                        help="another micrparse to time beside this one (may be repeated)")
    parser.add_argument("--jobs", type=job_counts, default=[], metavar="N,N,...",
                        help="job counts to time micrparse at beside --jobs 1, in the same runs")
    args = parser.parse_args()

    micrparse, corpus = bench.build_if_needed(args.build, ["micrparse", "bench/micr_corpus"])
    others = [(name, os.path.abspath(path)) for name, path in zip(bench.compared_names(args.compare), args.compare)]
    failed = False
    with tempfile.TemporaryDirectory(prefix="micr-micrparse-") as work:
        subprocess.run([corpus, "--batch", work, str(args.lines)], check=True)
        table, source = os.path.join(work, "table.dat"), os.path.join(work, "input.txt")
        print(f"{args.lines} lines ({os.path.getsize(source)} bytes), 1,000-entry table, {args.runs} runs each, "
              f"load average {bench.load_average():.2f}")
        for name, path in others:
            print(f"  {name}: {path}")
        for fmt in ("jsonl", "csv"):
            options = ["--table", table, "--format", fmt, source]
            program = bench.Command("micrparse", [micrparse, "--jobs", "1"] + options)
            output = os.path.join(work, "output." + fmt)
            compared = []
            for name, path in others:
                other = bench.Command(name, [path] + (["--jobs", "1"] if takes_jobs(path) else []) + options)
                other_output = os.path.join(work, name + "." + fmt)
                if not bench.same_output(program, other, output, other_output):
                    sys.exit(f"the compared micrparse {path} writes another {fmt} output")
                os.remove(other_output)
                compared.append(other)
            threaded = []
            for jobs in args.jobs:
                more = bench.Command(f"--jobs {jobs}", [micrparse, "--jobs", str(jobs)] + options)
                more_output = os.path.join(work, f"jobs-{jobs}.{fmt}")
                if not bench.same_output(program, more, output, more_output):
                    sys.exit(f"micrparse --jobs {jobs} writes another {fmt} output than --jobs 1")
                os.remove(more_output)
                threaded.append(more)
            if not compared and not threaded:
                bench.run(program, output)
            floor = bench.Command("cat", ["cat", source, output])
            times = bench.time_alternately([program] + compared + threaded + [floor], args.runs)
            medians = {n: statistics.median(values) for n, values in times.items()}
            ratio = medians["micrparse"] / medians["cat"]
            bound, goal = BOUNDS[fmt]
            failed |= ratio > bound
            print(f"{fmt}: output {os.path.getsize(output)} bytes, load average now {bench.load_average():.2f}")
            bench.print_times(times)
            print(f"  micrparse / cat {ratio:.2f}: bound {bound:g} {bench.verdict(ratio, bound)}, "
                  f"aim {goal:g} {bench.verdict(ratio, goal)}")
            for other in compared:
                over = medians["micrparse"] / medians[other.name]
                failed |= over > COMPARE_BOUND
                print(f"  {other.name} / cat {medians[other.name] / medians['cat']:.2f}; micrparse / {other.name} "
                      f"{over:.3f}: bound {COMPARE_BOUND} {bench.verdict(over, COMPARE_BOUND)}")
            for more in threaded:
                speed = medians["micrparse"] / medians[more.name]
                verdict = ""
                if more.name == "--jobs 2" and (os.cpu_count() or 1) >= 2:
                    failed |= speed < JOBS_2_BOUND
                    verdict = f": bound {JOBS_2_BOUND} {'met' if speed >= JOBS_2_BOUND else 'NOT MET'}"
                print(f"  {more.name}: throughput {speed:.2f} times --jobs 1{verdict}")
            os.remove(output)

        measured = [("micrparse", micrparse, 1)] + [(f"micrparse --jobs {j}", micrparse, j) for j in args.jobs]
        measured += [(name, path, 1) for name, path in others]
        for name, path, jobs in measured:
            jobs_option = ["--jobs", str(jobs)] if takes_jobs(path) else []
            table_only = bench.peak_kib([path, "--check-table", table])
            whole = bench.peak_kib([path] + jobs_option + ["--table", table, source])
            if whole is None:
                print("peak memory: not measured (needs GNU time, /usr/bin/time)")
                break
            bound = MEMORY_BOUND_KIB * jobs
            print(f"peak memory of {name}: {whole} KiB parsing, {table_only} KiB with the table loaded alone "
                  f"({whole - table_only} KiB for the parse; bound {bound})")
            failed |= whole - table_only >= bound
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
