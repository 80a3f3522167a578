"""Shared by the tests of the Python package micr, which CTest runs with:
    PYTHONPATH        the package staged in the build tree, with its libmicr.so
    MICR_SOURCE_DIR   the repository
    MICR_MICRPARSE    the micrparse just built: the oracle the package is checked against
"""
import json
import os
import random
import subprocess
from pathlib import Path
from typing import Iterator, List

import pytest

SOURCE_DIR = Path(os.environ["MICR_SOURCE_DIR"])
MICRPARSE = os.environ["MICR_MICRPARSE"]
EXAMPLES = SOURCE_DIR / "examples"

# Routing numbers that lines and tables share, so that table entries apply.
ROUTING_POOL = ["123456780", "026009593", "011000015", "987654320", "123456789", "12345d678"]


def micrparse(args: List[str], cwd: Path, check: bool = True) -> subprocess.CompletedProcess:
    return subprocess.run([MICRPARSE, *args], cwd=cwd, capture_output=True, check=check)


def micrparse_records(args: List[str], cwd: Path) -> List[dict]:
    """micrparse's JSON Lines records for the given options and files."""
    run = micrparse(["--format", "jsonl", *args], cwd)
    return [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]


def generated_lines(seed: int, count: int) -> Iterator[str]:
    """Code lines mostly of a cheque's shape, sometimes garbled, as Latin-1 text."""
    rng = random.Random(seed)

    def some(alphabet: str, n: int) -> str:
        return "".join(rng.choice(alphabet) for _ in range(n))

    on_us_shapes = ["########o ####", "##########o ## ####", "###### #########o", "###d#####d#####o",
                    "#######o ######o", "#########o", "#### ########o ###", "o######### ####"]
    for _ in range(count):
        if rng.random() < 0.1:
            line = some("0123456789toad? x\xe9", rng.randrange(40))
        else:
            line = ""
            if rng.random() < 0.4:
                line += "o" + some("0123456789d ", rng.randrange(8)) + "o "
            if rng.random() < 0.3:
                line += some("0123456789", 1) + " "
            transit = rng.choice(ROUTING_POOL) if rng.random() < 0.8 else some("0123456789d?", 1 + rng.randrange(10))
            line += "t" + transit + "t "
            if rng.random() < 0.15:
                line += some("0123456789od ?", 1 + rng.randrange(28))
            else:
                line += "".join(some("0123456789", 1) if c == "#" else c for c in rng.choice(on_us_shapes))
            if rng.random() < 0.85:
                line += " a" + some("0123456789", 10 if rng.random() < 0.95 else 1 + rng.randrange(18)) + "a"
        yield line.rstrip(" ")


def generated_table(seed: int) -> bytes:
    """An exception table of entries for the pooled numbers among malformed lines of every kind."""
    rng = random.Random(seed)
    lines = []
    for _ in range(rng.randrange(1, 12)):
        routing = rng.choice(ROUTING_POOL)
        lines.append(rng.choice([
            "",
            "# a comment",
            f"B {routing} A 1 0 4",
            f"B {routing[:8]} A 1 0 4 L",
            f"X {routing} A 1 0 4 L",
            f"B {routing} Q 1 0 4 L",
            f"B {routing} A 1 0 4 Z",
            f"B {routing} A 1 0 4 L " + "x" * 250,
            f"B \0{routing} A 1 0 4 L",
            f"{rng.choice('BbPp')} {routing} {rng.choice('AaDd')} {rng.randrange(4)} {rng.randrange(9)} "
            f"{rng.randrange(9) - 1} {rng.choice('RrLl')}",
        ]))
    return "\n".join(lines).encode("latin-1") + b"\n"


@pytest.fixture
def example_table():
    import micr
    with micr.Table.open(EXAMPLES / "PARSE.DAT") as table:
        yield table
