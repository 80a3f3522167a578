"""The ctypes example examples/parse_micr.py against the built libmicr.so.

Run by CTest with MICR_LIBRARY (path of libmicr.so) and MICR_SOURCE_DIR set.
"""
import ctypes
import os
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ["MICR_SOURCE_DIR"]
LIBRARY = os.environ["MICR_LIBRARY"]
EXAMPLES = os.path.join(SOURCE_DIR, "examples")
SCRIPT = os.path.join(EXAMPLES, "parse_micr.py")

sys.path.insert(0, EXAMPLES)
import parse_micr  # noqa: E402  (found through the path set just above)


def missing(name):
    return {name: b"", name + "_status": "MISSING"}


class LayoutTest(unittest.TestCase):
    def test_structure_matches_micr_result(self):
        # Sizes and offsets of micr.h's record: 156 bytes, texts after their status bytes.
        R = parse_micr.MicrResult
        self.assertEqual(ctypes.sizeof(R), 156)
        self.assertEqual(R.amount.offset, 4)
        self.assertEqual(R.transit_status.offset, 87)
        self.assertEqual(R.auxonus.offset, 156 - 24)


class ParseTest(unittest.TestCase):
    def setUp(self):
        self.previous = os.getcwd()
        os.chdir(EXAMPLES)  # PARSE.DAT is there
        self.micr = parse_micr.MicrParser(LIBRARY, "PARSE.DAT")

    def tearDown(self):
        os.chdir(self.previous)

    def test_exception_table_entry_splits_the_on_us_field(self):
        # PARSE.DAT: B 026009593 D 1 7 6 R, serial number left of the account.
        expected = {"status": 0, "exception_state": "EX_USED", "unrecognized_symbols": 0,
                    "amount": b"0000004250", "amount_status": "OK",
                    "account": b"5678901", "account_status": "OK",
                    "csn": b"001234", "csn_status": "OK",
                    "transit": b"026009593", "transit_status": "OK",
                    "onus": b"001234 5678901", "onus_status": "OK",
                    **missing("tpc"), **missing("epc"), **missing("auxonus"),
                    "amount_cents": 4250, "transit_form": "aba", "routing_repair": None}
        self.assertEqual(self.micr.parse(b"t026009593t 001234 5678901o a0000004250a"), expected)

    def test_bytes_above_127_come_back_unchanged(self):
        # The amount scan takes 2, the byte E9 and 1 before its closing symbol;
        # E9 is no digit, so the amount is INVALID and the parse stops.
        r = self.micr.parse(b"a1\xe92a")
        self.assertEqual((r["status"], r["amount"], r["amount_status"]), (1, b"1\xe92", "INVALID"))

    def test_a_table_that_cannot_be_used_is_refused(self):
        with self.assertRaises(FileNotFoundError):
            parse_micr.MicrParser(LIBRARY, "no-such-table.dat")
        with tempfile.NamedTemporaryFile("wb", suffix=".dat") as table:
            table.write(b"B 123456780 A 1 0 4 L\nB 12345678 A 1 0 4 L\n")
            table.flush()
            with self.assertRaises(ValueError) as raised:
                parse_micr.MicrParser(LIBRARY, table.name)
            self.assertEqual(str(raised.exception), table.name + ":2: routing number has 8 characters, needs 9")

    def test_an_unreadable_routing_digit_gets_a_repair_hint(self):
        r = self.micr.parse(b"t1234567?0t 12345678o 0101 a0000012500a")
        self.assertEqual((r["transit_status"], r["routing_repair"], r["transit_form"], r["amount_cents"]),
                         ("UNRECOG", b"123456780", None, 12500))

    def test_a_line_with_a_nul_byte_is_refused(self):
        with self.assertRaises(ValueError):
            self.micr.parse(b"t123456780t 1\x002o")

    def test_the_script_prints_each_line_and_its_fields(self):
        run = subprocess.run([sys.executable, SCRIPT, "--library", LIBRARY,
                              "t987654320t 12345678o 0101 a0000012500a",
                              "t12345d678t 1234567o 001 a0000001000a"],
                             cwd=EXAMPLES, capture_output=True, check=True)
        self.assertEqual(run.stderr, b"")
        self.assertEqual(run.stdout.decode(), "\n".join([
            "t987654320t 12345678o 0101 a0000012500a",
            "  status 0, EX_NORMAL, unrecognized symbols 0",
            "  amount   OK       0000012500",
            "  account  OK       12345678",
            "  tpc      MISSING",
            "  csn      OK       0101",
            "  transit  OK       987654320",
            "  epc      MISSING",
            "  onus     OK       12345678o 0101",
            "  auxonus  MISSING",
            "  amount_cents 12500, transit_form aba, routing_repair -",
            "t12345d678t 1234567o 001 a0000001000a",
            "  status 0, EX_NORMAL, unrecognized symbols 0",
            "  amount   OK       0000001000",
            "  account  OK       1234567",
            "  tpc      OK       001",
            "  csn      MISSING",
            "  transit  OK       12345d678",
            "  epc      MISSING",
            "  onus     OK       1234567o 001",
            "  auxonus  MISSING",
            "  amount_cents 1000, transit_form canadian, routing_repair -",
            ""]))

    def test_the_script_reads_standard_input_without_its_line_ends(self):
        run = subprocess.run([sys.executable, SCRIPT], input=b"a12a\r\n\n",
                             env=dict(os.environ, MICR_LIBRARY=LIBRARY),
                             cwd=EXAMPLES, capture_output=True, check=True)
        lines = run.stdout.decode().splitlines()
        # An amount field alone: the parse stops where the on-us field should begin.
        self.assertEqual(lines[0:3], ["a12a", "  status 1, EX_NORMAL, unrecognized symbols 0",
                                      "  amount   OK       12"])
        # The empty line is parsed too: stopped at once, every field missing.
        self.assertEqual(lines[11:14], ["", "  status 1, EX_NORMAL, unrecognized symbols 0",
                                        "  amount   MISSING"])
        self.assertEqual(len(lines), 22)


if __name__ == "__main__":
    unittest.main()
