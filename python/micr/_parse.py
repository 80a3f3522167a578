"""Parsing code lines, and the helpers around a parse."""
from __future__ import annotations

import ctypes
from typing import Optional, Tuple, Union

from ._library import SALVAGE, MicrExplanation, MicrResult, MicrSpan, MicrX9Fields, lib
from ._results import (ExceptionState, Explanation, Field, FieldStatus, ParseStatus, Result, Span, X9Fields,
                       X9Unusable)
from ._tables import Table

Text = Union[str, bytes]

# Codes to members by value, without an enum look-up per field.
_FIELD_STATUS = tuple(FieldStatus)
_EXCEPTION_STATE = tuple(ExceptionState)
_PARSE_STATUS = tuple(ParseStatus)

_micr_parse = lib.micr_parse
_byref = ctypes.byref

# A result is made without the dataclass's __init__, which sets each of its
# eleven attributes through object.__setattr__ (the class is frozen), and
# its fields without NamedTuple's __new__: together they were more than half
# of what a parse costs from Python.  Empty fields are shared; they are
# immutable.
_new_tuple = tuple.__new__
_new_object = object.__new__
_EMPTY_FIELD = tuple(_new_tuple(Field, ("", status)) for status in FieldStatus)


def _result(r: MicrResult) -> Result:
    s, e, new = _FIELD_STATUS, _EMPTY_FIELD, _new_tuple
    result = _new_object(Result)
    result.__dict__.update(
        status=_PARSE_STATUS[r.status],
        exception_state=_EXCEPTION_STATE[r.exception_state],
        unrecognized_symbols=r.unrecognized_symbols != 0,
        amount=new(Field, (t.decode("latin-1"), s[r.amount_status])) if (t := r.amount) else e[r.amount_status],
        account=new(Field, (t.decode("latin-1"), s[r.account_status])) if (t := r.account) else e[r.account_status],
        tpc=new(Field, (t.decode("latin-1"), s[r.tpc_status])) if (t := r.tpc) else e[r.tpc_status],
        csn=new(Field, (t.decode("latin-1"), s[r.csn_status])) if (t := r.csn) else e[r.csn_status],
        transit=new(Field, (t.decode("latin-1"), s[r.transit_status])) if (t := r.transit) else e[r.transit_status],
        epc=new(Field, (t.decode("latin-1"), s[r.epc_status])) if (t := r.epc) else e[r.epc_status],
        onus=new(Field, (t.decode("latin-1"), s[r.onus_status])) if (t := r.onus) else e[r.onus_status],
        auxonus=new(Field, (t.decode("latin-1"), s[r.auxonus_status])) if (t := r.auxonus) else e[r.auxonus_status])
    return result


def _line_bytes(line: Text) -> bytes:
    if isinstance(line, bytes):
        return line
    if isinstance(line, str):
        try:
            return line.encode("latin-1")
        except UnicodeEncodeError as error:
            raise ValueError(f"the line holds {line[error.start]!r}, which is not Latin-1: a line written "
                             f"with other symbols goes through micr.translate() first") from None
    if isinstance(line, (bytearray, memoryview)):
        return bytes(line)
    raise TypeError(f"a line is str or bytes, not {type(line).__name__}")


def _table_handle(table: Optional[Table]) -> Optional[int]:
    if table is None:
        return None
    if not isinstance(table, Table):
        raise TypeError(f"table must be a micr.Table or None, not {type(table).__name__}")
    return table._live_handle()


def _refused() -> ValueError:
    return ValueError("the line holds a NUL byte, which no code line has")


def parse(line: Text, table: Optional[Table] = None, *, salvage: bool = False) -> Result:
    """Parses one code line as printed (left to right), in the library's
    letters: digits, 't' transit, 'o' on-us, 'a' amount, 'd' dash, '?'
    unreadable, blanks.  A str is taken as Latin-1, one character per byte.

    table: the exception table, or None for the default split.
    salvage: read on past a field wherever its closing symbol allows.

    Raises ValueError for a line holding a NUL byte or (a str) a character
    outside Latin-1.
    """
    data = _line_bytes(line)
    record = MicrResult()
    if _micr_parse(_table_handle(table), data, len(data), SALVAGE if salvage else 0, _byref(record)) < 0:
        raise _refused()
    return _result(record)


def _span(s: MicrSpan) -> Optional[Span]:
    return Span(s.start, s.length) if s.length else None


def _name(rule: Optional[bytes]) -> Optional[str]:
    return rule.decode("ascii") if rule is not None else None


def parse_explained(line: Text, table: Optional[Table] = None, *,
                    salvage: bool = False) -> Tuple[Result, Explanation]:
    """Parses as parse() does, and says why: the table line or the default
    rule behind each split field, and where each scanned field stands."""
    data = _line_bytes(line)
    record = MicrResult()
    why = MicrExplanation()
    if lib.micr_parse_explained(_table_handle(table), data, len(data), SALVAGE if salvage else 0, _byref(record),
                                _byref(why)) < 0:
        raise _refused()
    return _result(record), Explanation(
        why.table_line or None, _name(why.account_rule), _name(why.csn_rule), _name(why.tpc_rule),
        _span(why.amount), _span(why.on_us), _span(why.transit), _span(why.epc), _span(why.auxiliary_on_us))


# Reader conventions by name, in micr_translate's order: transit, on-us,
# amount, dash, unreadable mark, blank.  None is the library's own.
_CONVENTIONS = {"default": None, "TOAD": b"TOAD! ", "bcd": b"dcb-! "}


def translate(text: Text, symbols: Union[str, bytes] = "default") -> str:
    """Rewrites a code line written in a reader's convention into the
    library's letters, ready for parse().

    symbols: "default", "TOAD" (T O A D, '!' unreadable), "bcd" ('d' transit,
    'c' on-us, 'b' amount, '-' dash, '!'), or six characters for transit,
    on-us, amount, dash, unreadable mark and blank.  The Unicode symbols
    U+2446 to U+2449 are recognised in every convention; a str is encoded as
    UTF-8 for that.  The result is the translated bytes read as Latin-1.

    Raises ValueError for symbols that are no convention.
    """
    data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
    if isinstance(symbols, str) and symbols in _CONVENTIONS:
        convention = _CONVENTIONS[symbols]
    else:
        try:
            convention = symbols.encode("ascii") if isinstance(symbols, str) else bytes(symbols)
        except UnicodeEncodeError:
            convention = b""
        if len(convention) != 6:
            convention = b""  # refused below, as the library refuses any other bad convention
    out = ctypes.create_string_buffer(len(data) + 1)
    n = lib.micr_translate(convention, data, len(data), out, len(out)) if convention != b"" else -1
    if n < 0:
        raise ValueError(f"unknown symbols {symbols!r}: use default, TOAD, bcd or six distinct ASCII "
                         f"characters, no digit, a space only as the blank")
    return out.raw[:n].decode("latin-1")


def _nine(transit: Text) -> Optional[bytes]:
    data = transit.encode("latin-1", "replace") if isinstance(transit, str) else bytes(transit)
    return data if len(data) == 9 and b"\0" not in data else None


def repair_routing(transit: Text) -> Optional[str]:
    """For a routing number with one unreadable digit ('?', not the 5th or
    6th character): the one nine-digit number whose ABA check digit holds;
    otherwise None."""
    data = _nine(transit)
    out = ctypes.create_string_buffer(10)
    if data is None or lib.micr_repair_routing(data, out) != 1:
        return None
    return out.value.decode("ascii")


def eft_routing(transit: Text) -> Optional[str]:
    """The nine-digit routing number that electronic payments use for a
    transit in reading order: nine digits as they are, a Canadian transit
    (branch, dash, institution) as 0, institution, branch; otherwise None."""
    data = _nine(transit)
    out = ctypes.create_string_buffer(10)
    if data is None or lib.micr_eft_routing(data, out) != 1:
        return None
    return out.value.decode("ascii")


def x9_fields_of(line: Text, *, salvage: bool = False) -> X9Fields:
    """The MICR fields of an image-exchange Check Detail Record for a code
    line, parsed without a table.  Raises ValueError as parse() does."""
    data = _line_bytes(line)
    out = MicrX9Fields()
    if lib.micr_x9_fields_of(data, len(data), SALVAGE if salvage else 0, _byref(out)) < 0:
        raise _refused()
    return X9Fields(out.auxiliary_on_us.decode("latin-1"), out.epc.decode("latin-1"),
                    out.routing.decode("latin-1"), out.check_digit.decode("latin-1"),
                    out.on_us.decode("latin-1"), out.amount.decode("latin-1"),
                    out.micr_valid.decode("latin-1"), X9Unusable(out.unusable))
