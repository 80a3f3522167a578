#!/usr/bin/env python3
"""Parse MICR code lines from Python through libmicr.so (ctypes, standard library only).

    python3 examples/parse_micr.py --library build/default/libmicr.so 't987654320t 12345678o 0101 a0000012500a'

Without --library the library is taken from the MICR_LIBRARY environment
variable, else loaded as libmicr.so.1 from the loader's search path.  Give the
lines as printed (left to right); with no line on the command line they are
read from standard input, one per line.  PARSE.DAT is read from the current
directory.  Texts are bytes; they are shown decoded as Latin-1, one character
per byte, so nothing is lost.
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
    """The parser in a loaded libmicr.so."""

    def __init__(self, library):
        self._lib = ctypes.CDLL(library)
        self._lib.parse_micr_line.argtypes = [ctypes.c_char_p]
        self._lib.parse_micr_line.restype = ctypes.POINTER(MicrResult)
        self._lib.micr_status_name.argtypes = [ctypes.c_int]
        self._lib.micr_status_name.restype = ctypes.c_char_p
        self._lib.micr_exception_state_name.argtypes = [ctypes.c_int]
        self._lib.micr_exception_state_name.restype = ctypes.c_char_p

    def parse(self, line):
        """Parses one code line (bytes, as printed) into a dict of plain values."""
        # The parser reads the line from its right-hand end: it takes it reversed.
        record = self._lib.parse_micr_line(bytes(line)[::-1]).contents
        # The record is the library's own and is overwritten by the next parse.
        result = {
            "status": record.status,
            "exception_state": self._lib.micr_exception_state_name(record.exception_state).decode(),
            "unrecognized_symbols": record.unrecognized_symbols,
        }
        for name, _ in FIELDS:
            result[name] = getattr(record, name)
            result[name + "_status"] = self._lib.micr_status_name(getattr(record, name + "_status")).decode().rstrip()
        return result


def main(argv=None):
    parser = argparse.ArgumentParser(description="Parse MICR code lines through libmicr.so.")
    parser.add_argument("--library", default=os.environ.get("MICR_LIBRARY", "libmicr.so.1"),
                        help="path of libmicr.so (default: $MICR_LIBRARY, else libmicr.so.1)")
    parser.add_argument("lines", nargs="*", help="code lines as printed; default: standard input")
    args = parser.parse_args(argv)

    micr = MicrParser(args.library)
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
