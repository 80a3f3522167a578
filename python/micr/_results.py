"""What a parse gives: statuses, fields, results and explanations."""
from __future__ import annotations

import enum
from dataclasses import dataclass
from typing import Dict, Iterator, NamedTuple, Optional, Tuple, Union

#: The eight fields of a result, in record order, by the names micrparse gives them.
FIELDS: Tuple[str, ...] = ("amount", "account", "tpc", "csn", "transit", "epc", "onus", "auxonus")


class FieldStatus(enum.IntEnum):
    """Status of one field, with micr.h's values (MICR_ST_*)."""

    OK = 0
    """present and valid"""
    INVALID = 1
    """a character outside the field's set, or a failed test"""
    MISSING = 2
    """empty or absent"""
    TOOLONG = 3
    """more characters than the field holds"""
    UNRECOG = 4
    """holds the unreadable mark '?'"""
    NOTERM = 5
    """the line ended inside the field"""


class ExceptionState(enum.IntEnum):
    """Outcome of the exception-table step (MICR_EX_*); named EX_... in micrparse's records."""

    NORMAL = 0
    """no table entry applied"""
    USED = 1
    """an entry matched the transit number and was applied"""
    OPEN_ERR = 2
    """the table file could not be read (only the original entry point gives it)"""
    INVALID = 3
    """a malformed table line comes before any matching entry"""


class ParseStatus(enum.IntEnum):
    """Overall status of a parse (MICR_PARSE_*)."""

    COMPLETE = 0
    """every field was scanned and the on-us field split"""
    STOPPED = 1
    """a field could not be scanned; the fields after it are missing unless salvaged"""


class Field(NamedTuple):
    """One field: its text as printed (one character per byte) and its status."""

    text: str
    status: FieldStatus


@dataclass(frozen=True)
class Result:
    """One parsed code line."""

    status: ParseStatus
    exception_state: ExceptionState
    unrecognized_symbols: bool
    """the line holds the unreadable mark '?' somewhere"""
    amount: Field
    account: Field
    tpc: Field
    """transaction processing code"""
    csn: Field
    """cheque serial number"""
    transit: Field
    """routing number"""
    epc: Field
    """external processing code"""
    onus: Field
    auxonus: Field
    """auxiliary on-us field"""

    @property
    def complete(self) -> bool:
        """Whether every field was scanned and the on-us field split."""
        return self.status == ParseStatus.COMPLETE

    def fields(self) -> Iterator[Tuple[str, Field]]:
        """The eight fields in record order, each with its name."""
        for name in FIELDS:
            yield name, getattr(self, name)

    def as_dict(self) -> Dict[str, Union[int, str]]:
        """The result under the keys and in the form micrparse writes it:
        status and unrecognized_symbols as numbers, names for the state and
        statuses ("EX_USED", "OK"), each field's text and then its status."""
        out: Dict[str, Union[int, str]] = {
            "status": int(self.status),
            "exception_state": "EX_" + self.exception_state.name,
            "unrecognized_symbols": int(self.unrecognized_symbols),
        }
        for name in FIELDS:
            field = getattr(self, name)
            out[name] = field.text
            out[name + "_status"] = field.status.name
        return out


class Span(NamedTuple):
    """Where a field stands in the line it was parsed from: `length` characters from `start`."""

    start: int
    length: int

    def of(self, line: Union[str, bytes]) -> Union[str, bytes]:
        """That part of `line`, the line the span was found in."""
        return line[self.start:self.start + self.length]


@dataclass(frozen=True)
class Explanation:
    """Why a parse came out as it did: what filled each split field, and
    where each scanned field stands (None where it is absent)."""

    table_line: Optional[int]
    """line of the table entry that split the on-us field"""
    account_rule: Optional[str]
    """default rule that filled the account number, by name ("middle-lone-account", ...)"""
    csn_rule: Optional[str]
    tpc_rule: Optional[str]
    amount: Optional[Span]
    on_us: Optional[Span]
    transit: Optional[Span]
    epc: Optional[Span]
    auxiliary_on_us: Optional[Span]


class X9Unusable(enum.IntFlag):
    """Check Detail Record fields that could not be filled and are blank (MICR_X9_*)."""

    AUXILIARY_ON_US = 0x1
    ROUTING = 0x2
    ON_US = 0x4
    AMOUNT = 0x8


@dataclass(frozen=True)
class X9Fields:
    """The MICR fields of an image-exchange Check Detail Record, fixed-width as the record holds them."""

    auxiliary_on_us: str
    """positions 3-17: right-justified, blank-filled"""
    epc: str
    """position 18"""
    routing: str
    """positions 19-26: the routing number's first eight digits"""
    check_digit: str
    """position 27"""
    on_us: str
    """positions 28-47: right-justified, blank-filled"""
    amount: str
    """positions 48-57: right-justified, zero-filled"""
    micr_valid: str
    """'1' good read, '2' a field missing, '3' read error, '4' both"""
    unusable: X9Unusable
