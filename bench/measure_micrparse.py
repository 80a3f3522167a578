#!/usr/bin/env python3
"""Times micrparse over a day of reader output against copying its bytes.

In a temporary directory: writes a 1,000-entry exception table and 500,000
code lines of the form  t<routing>t <n> <10 digits>o <4 digits> a<10 digits>a
whose routing numbers the table holds (the generator is seeded, so every run
measures the same work), runs micrparse once untimed to keep its output, then
times, alternately and --runs times each:
  micrparse --table TABLE [--format F] INPUT > /dev/null   (one thread, no cache)
  cat INPUT OUTPUT > /dev/null                             (the floor: the same bytes in and out)
and prints the medians and their ratio, for JSON Lines and for CSV, and the
peak resident memory of micrparse beside that of loading the table alone.

Usage: python3 bench/measure_micrparse.py [--runs N] [--lines N] [--build DIR]
The program comes from the bench preset's build directory (build/bench); when
it is missing the preset is configured and built first.
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

BOUND = 6.0  # micrparse over the floor, at most
GOAL = 4.0


def routing_number(rng):
    digits = [rng.randrange(10) for _ in range(8)]
    weighted = 3 * (digits[0] + digits[3] + digits[6]) + 7 * (digits[1] + digits[4] + digits[7]) + digits[2] + digits[5]
    digits.append((10 - weighted % 10) % 10)
    return "".join(map(str, digits))


def write_corpus(work, lines):
    rng = random.Random(20261207)
    routings = set()
    while len(routings) < 1000:
        routings.add(routing_number(rng))
    routings = sorted(routings)
    layouts = ["B {} D 1 4 4 L", "P {} A 1 0 4 L", "B {} D 1 7 6 R"]
    table = os.path.join(work, "table.dat")
    with open(table, "w") as out:
        for i, routing in enumerate(routings):
            out.write(layouts[i % len(layouts)].format(routing) + "\n")
    source = os.path.join(work, "input.txt")
    with open(source, "w") as out:
        for _ in range(lines):
            out.write("t%st %d %010do %04d a%010da\n" % (rng.choice(routings), rng.randrange(1, 1000),
                                                        rng.randrange(10 ** 10), rng.randrange(10 ** 4),
                                                        rng.randrange(10 ** 10)))
    return table, source


def timed(command):
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        subprocess.run(command, stdout=null, check=True)
        return time.perf_counter() - start


def peak_kib(command):
    """Peak resident memory of one run of `command`, in KiB, as GNU time
    reports it (its own figure, not this interpreter's); None without it."""
    if not os.access("/usr/bin/time", os.X_OK):
        return None
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, check=True, text=True)
    return int(run.stderr.strip().splitlines()[-1])


def main():
    source_dir = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(source_dir, "build", "bench"))
    parser.add_argument("--lines", type=int, default=500000)
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()

    micrparse = os.path.join(os.path.abspath(args.build), "micrparse")
    if not os.access(micrparse, os.X_OK):
        subprocess.run(["cmake", "--preset", "bench"], cwd=source_dir, check=True)
        subprocess.run(["cmake", "--build", "--preset", "bench"], cwd=source_dir, check=True)

    failed = False
    with tempfile.TemporaryDirectory(prefix="micr-micrparse-") as work:
        table, source = write_corpus(work, args.lines)
        print(f"{args.lines} lines ({os.path.getsize(source)} bytes), 1,000-entry table, {args.runs} runs each")
        print(f"{'format':8} {'micrparse':>11} {'floor (cat)':>12} {'ratio':>7}  bound {BOUND:.0f}, goal {GOAL:.0f}")
        for fmt in ("jsonl", "csv"):
            command = [micrparse, "--table", table, "--format", fmt, source]
            output = os.path.join(work, "output." + fmt)
            with open(output, "wb") as out:
                subprocess.run(command, stdout=out, check=True)
            floor = ["cat", source, output]
            parse_times, floor_times = [], []
            for _ in range(args.runs):
                parse_times.append(timed(command))
                floor_times.append(timed(floor))
            parse, base = statistics.median(parse_times), statistics.median(floor_times)
            ratio = parse / base
            failed |= ratio > BOUND
            print(f"{fmt:8} {parse * 1000:9.1f}ms {base * 1000:10.1f}ms {ratio:7.2f}  "
                  f"{'met' if ratio <= BOUND else 'NOT MET'}; output {os.path.getsize(output)} bytes")
            os.remove(output)
        table_only = peak_kib([micrparse, "--check-table", table])
        whole = peak_kib([micrparse, "--table", table, source])
        if whole is None:
            print("peak memory: not measured (needs GNU time, /usr/bin/time)")
        else:
            print(f"peak memory: {whole} KiB parsing, {table_only} KiB with the table loaded alone "
                  f"({whole - table_only} KiB for the parse; bound 16384)")
            failed |= whole - table_only >= 16384
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
