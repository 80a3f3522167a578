"""MICR code line parser for North American cheques, over libmicr.

    >>> import micr
    >>> r = micr.parse("t987654320t 12345678o 0101 a0000012500a")
    >>> r.account
    Field(text='12345678', status=<FieldStatus.OK: 0>)

parse() takes a line in the library's letters (digits, 't' transit, 'o'
on-us, 'a' amount, 'd' dash, '?' unreadable, blanks); translate() brings a
line from a reader's own convention or the Unicode symbols to them.  A Table
holds an exception table loaded once, a Directory a routing directory.
The package loads the libmicr.so it was built with, and only that one.
"""
from ._library import LIBRARY_PATH as library_path
from ._library import VERSION as __version__
from ._parse import eft_routing, parse, parse_explained, repair_routing, translate, x9_fields_of
from ._results import (FIELDS, ExceptionState, Explanation, Field, FieldStatus, ParseStatus, Result, Span, X9Fields,
                       X9Unusable)
from ._tables import Bank, Directory, DirectoryError, Problem, Table, TableError

__all__ = [
    "FIELDS", "Bank", "Directory", "DirectoryError", "ExceptionState", "Explanation", "Field", "FieldStatus",
    "ParseStatus", "Problem", "Result", "Span", "Table", "TableError", "X9Fields", "X9Unusable", "eft_routing",
    "library_path", "parse", "parse_explained", "repair_routing", "translate", "x9_fields_of",
]
