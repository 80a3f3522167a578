"""examples/parse_micr.py, the package's short example, against micrparse.

Run by CTest with PYTHONPATH (the package staged in the build tree),
MICR_SOURCE_DIR and MICR_MICRPARSE set.
"""
import json
import os
import subprocess
import sys
import unittest

SOURCE_DIR = os.environ["MICR_SOURCE_DIR"]
MICRPARSE = os.environ["MICR_MICRPARSE"]
EXAMPLES = os.path.join(SOURCE_DIR, "examples")
SCRIPT = os.path.join(EXAMPLES, "parse_micr.py")


def block(record):
    """What the example prints for a line, made from micrparse's record of it."""
    lines = [record["micr"],
             f"  status {record['status']}, {record['exception_state']}, "
             f"unrecognized symbols {record['unrecognized_symbols']}"]
    for name in ("amount", "account", "tpc", "csn", "transit", "epc", "onus", "auxonus"):
        status = record[name + "_status"]
        lines.append(f"  {name:8} {status:8} {record[name]}" if record[name] else f"  {name:8} {status}")
    return lines


def run(args, cwd=EXAMPLES, stdin=b""):
    return subprocess.run([sys.executable, SCRIPT, *args], cwd=cwd, input=stdin, capture_output=True)


class ExampleTest(unittest.TestCase):
    def test_it_prints_what_micrparse_finds_in_the_example_reader_output(self):
        # Both in examples/, where ./PARSE.DAT is the table; the example reads standard input.
        with open(os.path.join(EXAMPLES, "reader-output.txt"), "rb") as f:
            given = f.read()
        records = subprocess.run([MICRPARSE, "reader-output.txt"], cwd=EXAMPLES, capture_output=True,
                                 check=True).stdout.decode().splitlines()
        printed = run([], stdin=given.replace(b"\n", b"\r\n"))
        self.assertEqual(printed.returncode, 0, printed.stderr)
        expected = [line for record in records for line in block(json.loads(record))]
        self.assertEqual(printed.stdout.decode("latin-1").splitlines(), expected)

    def test_lines_on_the_command_line_in_a_reader_convention(self):
        toad = "T026009593T 001234 5678901O A0000004250A"
        record = subprocess.run([MICRPARSE, "--symbols", "TOAD", "--table", "PARSE.DAT"], cwd=EXAMPLES,
                                input=toad.encode() + b"\n", capture_output=True, check=True).stdout
        printed = run(["--symbols", "TOAD", toad])
        self.assertEqual(printed.stdout.decode().splitlines(), block(json.loads(record)))

    def test_a_table_that_cannot_be_used_stops_it(self):
        printed = run(["--table", "no-such-table.dat", "a1a"])
        self.assertEqual(printed.returncode, 1)
        self.assertIn(b"no-such-table.dat", printed.stderr)
        self.assertEqual(printed.stdout, b"")


if __name__ == "__main__":
    unittest.main()
