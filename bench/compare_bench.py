#!/usr/bin/env python3
"""Times micr_parse with a loaded table in this micr_bench and in another, alternately.

Runs this build's micr_bench and OTHER_MICR_BENCH (say, one built from an
earlier commit) one after the other, --runs times each, each run starting
with the other program in turn, on the benchmarks that --filter selects (by
default micr_parse with a 1-entry and with a 1,000-entry loaded table), one
repetition of at least --min-time seconds per benchmark and run.  Prints
the median time per line of each benchmark in each program, and this one's
over the other's.  Both programs generate the same corpus from the same
start value, so both time the same lines.

Usage: python3 bench/compare_bench.py OTHER_MICR_BENCH [--runs N] [--min-time S]
       [--filter REGEX] [--build DIR]
Exit status 1 when this build takes more than BOUND times the other's time
on a benchmark.
"""
import json
import os
import statistics
import sys
import tempfile

import bench_common as bench

BOUND = 1.05  # this micr_bench over the other, per benchmark, at most


def main():
    parser = bench.argument_parser(__doc__)
    parser.add_argument("other", metavar="OTHER_MICR_BENCH")
    parser.add_argument("--filter", default="^core/", help="benchmarks to run (a --benchmark_filter)")
    parser.add_argument("--min-time", type=float, default=0.5, help="seconds per benchmark and run, at least")
    args = parser.parse_args()

    (mine,) = bench.build_if_needed(args.build, ["bench/micr_bench"])
    nanoseconds = {}  # (program, benchmark) -> ns per line, one per run
    load_before = bench.load_average()
    with tempfile.TemporaryDirectory(prefix="micr-compare-") as work:
        commands = []
        for name, path in (("this", mine), ("other", os.path.abspath(args.other))):
            out = os.path.join(work, name + ".json")
            commands.append(bench.Command(name, [
                path, f"--benchmark_filter={args.filter}", "--benchmark_repetitions=1",
                f"--benchmark_min_time={args.min_time}", f"--benchmark_out={out}",
                "--benchmark_out_format=json"], work, quiet=True))
        for command in bench.alternating(commands, args.runs):
            bench.run(command)
            with open(os.path.join(work, command.name + ".json")) as results:
                for b in json.load(results)["benchmarks"]:
                    if b["run_type"] != "iteration" or b["time_unit"] != "ns":
                        sys.exit(f"unexpected benchmark record: {b}")
                    nanoseconds.setdefault((command.name, b["name"]), []).append(b["real_time"])
    load_after = bench.load_average()

    print(f"this: {mine}\nother: {os.path.abspath(args.other)}\n"
          f"{args.runs} runs each, load average {load_before:.2f} -> {load_after:.2f}; ns per line, real time")
    benchmarks = sorted({b for _, b in nanoseconds})
    failed = False
    for b in benchmarks:
        times = {name: nanoseconds.get((name, b), []) for name in ("this", "other")}
        if not times["other"] and len(times["this"]) == args.runs:
            # Such as the floor, which an earlier build may not have.
            print(f"{b}\n  this         median {statistics.median(times['this']):8.1f} ns   (the other has none)")
            continue
        if len(times["this"]) != args.runs or len(times["other"]) != args.runs:
            sys.exit(f"{b}: not run by both programs in every run")
        print(b)
        bench.print_times(times, unit=1, unit_name="ns")
        ratio = statistics.median(times["this"]) / statistics.median(times["other"])
        failed |= ratio > BOUND
        print(f"  this / other {ratio:.3f}: bound {BOUND} {bench.verdict(ratio, BOUND)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
