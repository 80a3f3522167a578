#!/usr/bin/env python3
"""Parse MICR code lines with the micr package (pip install ./python).

    python3 examples/parse_micr.py 't987654320t 12345678o 0101 a0000012500a'

Give the lines as printed; with none on the command line they are read from
standard input, one per line.  --symbols names the reader's convention
(default, TOAD, bcd or six characters).  The exception table is the file
given with --table, else PARSE.DAT when the current directory holds one,
else none.
"""
import argparse
import os
import sys

import micr


def main(argv=None):
    parser = argparse.ArgumentParser(description="Parse MICR code lines with the micr package.")
    parser.add_argument("--table", help="exception table (default: ./PARSE.DAT when it exists)")
    parser.add_argument("--symbols", default="default", help="reader convention: default, TOAD, bcd or six characters")
    parser.add_argument("lines", nargs="*", help="code lines as printed; default: standard input")
    args = parser.parse_args(argv)

    path = args.table or ("PARSE.DAT" if os.path.exists("PARSE.DAT") else None)
    try:
        table = micr.Table.open(path) if path else None
    except (OSError, micr.TableError) as problem:
        print(f"parse_micr.py: {problem}", file=sys.stderr)
        return 1
    lines = [os.fsencode(line) for line in args.lines] or [line.rstrip(b"\r\n") for line in sys.stdin.buffer]
    for line in lines:
        r = micr.parse(micr.translate(line, args.symbols), table)
        print(line.decode("latin-1"))
        print(f"  status {r.status:d}, EX_{r.exception_state.name}, unrecognized symbols {r.unrecognized_symbols:d}")
        for name, field in r.fields():
            print(f"  {name:8} {field.status.name:8} {field.text}" if field.text else f"  {name:8} {field.status.name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
