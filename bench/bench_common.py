"""What the measurement scripts share: the programs of the bench build, made
when missing, and commands timed in alternating runs.

Every script times its commands in the same runs, one after the other, each
run starting with a different command, so that a change of load on the
machine falls on all of them alike; it reports medians.
"""
import argparse
import dataclasses
import filecmp
import os
import statistics
import subprocess
import sys
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_BUILD = os.path.join(SOURCE, "build", "bench")
DEFAULT_RUNS = 15


def argument_parser(doc):
    """An argument parser with the options every script takes: --build, --runs."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--build", default=DEFAULT_BUILD,
                        help="the bench preset's build directory (default: build/bench)")
    parser.add_argument("--runs", type=int, default=DEFAULT_RUNS, help="timed runs of each command")
    return parser


def build_if_needed(build, programs):
    """Absolute paths of `programs` (relative to the build directory); the
    bench preset is configured and built first when one of them is missing."""
    paths = [os.path.join(os.path.abspath(build), p) for p in programs]
    if not all(os.access(p, os.X_OK) for p in paths):
        subprocess.run(["cmake", "--preset", "bench"], cwd=SOURCE, check=True)
        subprocess.run(["cmake", "--build", "--preset", "bench"], cwd=SOURCE, check=True)
    return paths


@dataclasses.dataclass
class Command:
    name: str
    argv: list
    cwd: str = None
    output: str = None  # standard output goes to this file, or to /dev/null
    statuses: tuple = (0,)  # the exit statuses of a run that did its work
    quiet: bool = False  # standard error shown only when the run fails


def output_path(command, output=None):
    """Where `command` writes: `output`, else its own file, else /dev/null;
    a relative path is taken from the command's directory."""
    path = output or command.output or os.devnull
    return os.path.join(command.cwd or "", path)


def run(command, output=None):
    """Runs `command` once, its standard output to `output` (else its own),
    and returns the wall-clock seconds it took; a failed run ends the script."""
    with open(output_path(command, output), "wb") as out:
        start = time.perf_counter()
        result = subprocess.run(command.argv, cwd=command.cwd, stdout=out,
                                stderr=subprocess.PIPE if command.quiet else None)
        elapsed = time.perf_counter() - start
    if result.returncode not in command.statuses:
        sys.exit(f"{result.stderr.decode(errors='replace') if command.quiet else ''}"
                 f"{command.name} ({' '.join(command.argv)}) ended with exit status {result.returncode}")
    return elapsed


def alternating(commands, runs):
    """`commands` in the order of `runs` runs: each run all of them, starting
    with the next one in turn, so that none always follows another."""
    for n in range(runs):
        first = n % len(commands)
        yield from commands[first:] + commands[:first]


def time_alternately(commands, runs):
    """Seconds of each run of each command, by name, in `runs` alternating runs."""
    times = {c.name: [] for c in commands}
    for command in alternating(commands, runs):
        times[command.name].append(run(command))
    return times


def same_output(command, other, first_output, second_output):
    """Whether `other` writes byte for byte what `command` writes: each is run
    once, untimed, into its own file."""
    run(command, first_output)
    run(other, second_output)
    return filecmp.cmp(output_path(command, first_output), output_path(other, second_output), shallow=False)


def load_average():
    return os.getloadavg()[0]


def print_times(times, unit=1000, unit_name="ms"):
    """One line per command: the median, then every run's time in order of size."""
    for name, values in times.items():
        spread = ", ".join(f"{v * unit:.0f}" for v in sorted(values))
        print(f"  {name:12s} median {statistics.median(values) * unit:8.1f} {unit_name}   (all: {spread})")


def verdict(value, bound):
    return "met" if value <= bound else "NOT MET"


def compared_names(paths):
    """Names for the programs given with --compare: "compared", or numbered when there are several."""
    if len(paths) == 1:
        return ["compared"]
    return [f"compared-{i + 1}" for i in range(len(paths))]


def peak_kib(command):
    """Peak resident memory of one run of `command` (an argument list), in
    KiB, as GNU time reports it (its own figure, not this interpreter's);
    None without it."""
    if not os.access("/usr/bin/time", os.X_OK):
        return None
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=True, text=True)
    return int(result.stderr.strip().splitlines()[-1])
