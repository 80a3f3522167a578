#!/usr/bin/env python3
"""Parse MICR code lines from Python through libmicr.so (ctypes, standard library only).

    python3 examples/parse_micr.py --library build/default/libmicr.so 't987654320t 12345678o 0101 a0000012500a'

Without --library the library is taken from the MICR_LIBRARY environment
variable, else loaded as libmicr.so.1 from the loader's search path.  Give the
lines as printed (left to right); with no line on the command line they are
read from standard input, one per line.  The exception table is the file given
with --table, else PARSE.DAT when the current directory holds one, else none.
Texts are bytes; they are shown decoded as Latin-1, one character per byte,
so nothing is lost.
"""
import argparse
import ctypes
import os
import sys

# micr.h's text widths, terminator included.
FIELDS = [("amount", 17), ("account", 23), ("tpc", 19), ("csn", 21),
          ("transit", 10), ("epc", 2), ("onus", 29), ("auxonus", 24)]


class MicrResult(ctypes.Structure):
    """micr_result: single signed bytes and fixed-width NUL-terminated texts, in this order."""
    _fields_ = ([("status", ctypes.c_byte),
                 ("exception_state", ctypes.c_byte),
                 ("unrecognized_symbols", ctypes.c_byte)] +
                [member for name, size in FIELDS
                 for member in ((name + "_status", ctypes.c_byte), (name, ctypes.c_char * size))])


class MicrParser:
    """The parser in a loaded libmicr.so, with an exception table loaded once (or none)."""

    def __init__(self, library, table=None):
        lib = ctypes.CDLL(library, use_errno=True)
        lib.micr_table_open.argtypes = [ctypes.c_char_p]
        lib.micr_table_open.restype = ctypes.c_void_p
        lib.micr_table_free.argtypes = [ctypes.c_void_p]
        lib.micr_table_problem_count.argtypes = [ctypes.c_void_p]
        lib.micr_table_problem_count.restype = ctypes.c_size_t
        lib.micr_table_problem_line.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
        lib.micr_table_problem_line.restype = ctypes.c_long
        lib.micr_table_problem_message.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
        lib.micr_table_problem_message.restype = ctypes.c_char_p
        lib.micr_parse.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.c_uint,
                                   ctypes.POINTER(MicrResult)]
        lib.micr_parse.restype = ctypes.c_int
        lib.micr_status_name.argtypes = [ctypes.c_int]
        lib.micr_status_name.restype = ctypes.c_char_p
        lib.micr_exception_state_name.argtypes = [ctypes.c_int]
        lib.micr_exception_state_name.restype = ctypes.c_char_p
        lib.micr_repair_routing.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        lib.micr_repair_routing.restype = ctypes.c_int
        self._lib = lib
        self._table = None
        if table is not None:
            self._table = lib.micr_table_open(os.fsencode(table))
            if not self._table:
                error = ctypes.get_errno()
                raise OSError(error, os.strerror(error), table)
            problems = [f"{table}:{lib.micr_table_problem_line(self._table, i)}: "
                        f"{lib.micr_table_problem_message(self._table, i).decode()}"
                        for i in range(lib.micr_table_problem_count(self._table))]
            if problems:
                self.close()
                raise ValueError("\n".join(problems))

    def close(self):
        if self._table:
            self._lib.micr_table_free(self._table)
            self._table = None

    def __del__(self):
        self.close()

    def parse(self, line):
        """Parses one code line (bytes, as printed) into a dict of plain values."""
        line = bytes(line)
        record = MicrResult()  # our own: nothing is shared between calls or threads
        if self._lib.micr_parse(self._table, line, len(line), 0, ctypes.byref(record)) < 0:
            raise ValueError("the parser refused the line (it holds a NUL byte)")
        result = {
            "status": record.status,
            "exception_state": self._lib.micr_exception_state_name(record.exception_state).decode(),
            "unrecognized_symbols": record.unrecognized_symbols,
        }
        for name, _ in FIELDS:
            result[name] = getattr(record, name)
            result[name + "_status"] = self._lib.micr_status_name(getattr(record, name + "_status")).decode().rstrip()
        result.update(self._facts(result))
        return result

    def _facts(self, r):
        """What a line tells beyond its fields, as micrparse writes it."""
        cents = int(r["amount"]) if r["amount_status"] == "OK" else None
        form = None
        if r["transit_status"] == "OK":
            form = "canadian" if b"d" in r["transit"] else "aba"
        repair = None
        if r["transit_status"] == "UNRECOG":
            out = ctypes.create_string_buffer(10)
            if self._lib.micr_repair_routing(r["transit"], out) == 1:
                repair = out.value
        return {"amount_cents": cents if cents is not None and cents < 2 ** 53 else None,
                "transit_form": form, "routing_repair": repair}


def main(argv=None):
    parser = argparse.ArgumentParser(description="Parse MICR code lines through libmicr.so.")
    parser.add_argument("--library", default=os.environ.get("MICR_LIBRARY", "libmicr.so.1"),
                        help="path of libmicr.so (default: $MICR_LIBRARY, else libmicr.so.1)")
    parser.add_argument("--table", help="exception table (default: ./PARSE.DAT when it exists)")
    parser.add_argument("lines", nargs="*", help="code lines as printed; default: standard input")
    args = parser.parse_args(argv)

    table = args.table if args.table is not None else ("PARSE.DAT" if os.path.exists("PARSE.DAT") else None)
    try:
        micr = MicrParser(args.library, table)
    except (OSError, ValueError) as problem:
        print(problem, file=sys.stderr)
        return 1
    if args.lines:
        lines = [os.fsencode(line) for line in args.lines]
    else:
        lines = [line.rstrip(b"\r\n") for line in sys.stdin.buffer]
    for line in lines:
        r = micr.parse(line)
        print(line.decode("latin-1"))
        print(f"  status {r['status']}, {r['exception_state']}, unrecognized symbols {r['unrecognized_symbols']}")
        for name, _ in FIELDS:
            text = r[name].decode("latin-1")
            print(f"  {name:8} {r[name + '_status']:8} {text}" if text else f"  {name:8} {r[name + '_status']}")
        repair = r["routing_repair"].decode() if r["routing_repair"] else "-"
        print(f"  amount_cents {'-' if r['amount_cents'] is None else r['amount_cents']}, "
              f"transit_form {r['transit_form'] or '-'}, routing_repair {repair}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
