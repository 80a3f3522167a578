"""Exception tables and routing directories: C objects loaded once, owned here."""
from __future__ import annotations

import ctypes
import errno
import os
import weakref
from dataclasses import dataclass
from typing import Callable, List, NamedTuple, Optional, Sequence, Type, TypeVar, Union

from ._library import MicrBank, lib

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class Problem(NamedTuple):
    """A malformed line of a table or directory: its number (from 1) and what is wrong with it."""

    line: int
    message: str


class _ProblemsError(ValueError):
    def __init__(self, source: str, problems: Sequence[Problem]) -> None:
        self.problems: List[Problem] = list(problems)
        super().__init__("\n".join(f"{source}:{p.line}: {p.message}" for p in self.problems))


class TableError(_ProblemsError):
    """An exception table with malformed lines, loaded strictly; `.problems` lists them."""


class DirectoryError(_ProblemsError):
    """A routing directory with malformed lines, loaded strictly; `.problems` lists them."""


def _text_bytes(text: Union[str, bytes]) -> bytes:
    if isinstance(text, str):
        return text.encode("utf-8")
    if isinstance(text, (bytes, bytearray, memoryview)):
        return bytes(text)
    raise TypeError(f"text must be str or bytes, not {type(text).__name__}")


def _path_bytes(path: PathLike) -> bytes:
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("embedded null byte in path")
    return encoded


_Owner = TypeVar("_Owner", bound="_Loaded")


class _Loaded:
    """A C table or directory handle, freed by close(), on leaving a with
    block, or when the object is collected."""

    __slots__ = ("_handle", "_free", "problems", "__weakref__")
    _handle: Optional[int]
    _free: "weakref.finalize"
    problems: List[Problem]
    _kind = ""
    _error: Type[_ProblemsError]
    _c_open: Callable[..., Optional[int]]
    _c_from_text: Callable[..., Optional[int]]
    _c_free: Callable[[Optional[int]], None]
    _c_count: Callable[[Optional[int]], int]
    _c_line: Callable[[Optional[int], int], int]
    _c_message: Callable[[Optional[int], int], bytes]

    def __init__(self) -> None:
        raise TypeError(f"use {type(self).__name__}.open() or {type(self).__name__}.from_text()")

    @classmethod
    def _take(cls: Type[_Owner], handle: Optional[int], source: str, strict: bool) -> _Owner:
        if not handle:
            code = ctypes.get_errno()
            if code == errno.ENOMEM:
                raise MemoryError(f"no memory for the {cls._kind} {source}")
            raise OSError(code, os.strerror(code), source)
        self = object.__new__(cls)
        self._handle = handle
        self._free = weakref.finalize(self, cls._c_free, handle)
        #: The malformed lines, in line order (empty for a strict load, which refuses them).
        self.problems = [Problem(cls._c_line(handle, i), cls._c_message(handle, i).decode("utf-8", "replace"))
                         for i in range(cls._c_count(handle))]
        if strict and self.problems:
            self.close()
            raise cls._error(source, self.problems)
        return self

    @classmethod
    def open(cls: Type[_Owner], path: PathLike, strict: bool = True) -> _Owner:
        """Loads the file at `path` (a regular file or a pipe).  Raises OSError
        when it cannot be opened or read; when it has malformed lines, the
        error of its kind if `strict`, else returns it with its `problems`."""
        ctypes.set_errno(0)
        handle = cls._c_open(_path_bytes(path))
        return cls._take(handle, os.fsdecode(path), strict)

    @classmethod
    def from_text(cls: Type[_Owner], text: Union[str, bytes], strict: bool = True) -> _Owner:
        """Makes one from its text (a str is encoded as UTF-8), with the rule of open()."""
        data = _text_bytes(text)
        ctypes.set_errno(0)
        handle = cls._c_from_text(data, len(data))
        return cls._take(handle, f"{cls._kind} text", strict)

    def close(self) -> None:
        """Frees the C object now; no parse or look-up may be using it."""
        self._handle = None
        self._free()

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self: _Owner) -> _Owner:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _live_handle(self) -> int:
        handle = self._handle
        if handle is None:
            raise ValueError(f"the {self._kind} is closed")
        return handle

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else f"{len(self.problems)} problems"
        return f"<micr.{type(self).__name__}, {state}>"


class Table(_Loaded):
    """An exception table (PARSE.DAT's format): per routing number, the layout
    of the on-us field.  Any number of threads may parse against one table at once.

    >>> with micr.Table.open("PARSE.DAT") as table:
    ...     result = micr.parse(line, table)
    """

    __slots__ = ()
    _kind = "table"
    _error = TableError
    _c_open = lib.micr_table_open
    _c_from_text = lib.micr_table_from_text
    _c_free = lib.micr_table_free
    _c_count = lib.micr_table_problem_count
    _c_line = lib.micr_table_problem_line
    _c_message = lib.micr_table_problem_message


@dataclass(frozen=True)
class Bank:
    """A bank as a routing directory lists it, texts without trailing blanks."""

    name: str
    city: str
    state: str
    new_routing: Optional[str]
    """the number to send items to instead (FedACH record type 2), else None"""


class Directory(_Loaded):
    """A routing directory, in either of the Federal Reserve's layouts (FedACH
    or Fedwire): which bank a routing number belongs to."""

    __slots__ = ()
    _kind = "directory"
    _error = DirectoryError
    _c_open = lib.micr_directory_open
    _c_from_text = lib.micr_directory_from_text
    _c_free = lib.micr_directory_free
    _c_count = lib.micr_directory_problem_count
    _c_line = lib.micr_directory_problem_line
    _c_message = lib.micr_directory_problem_message

    def find(self, routing: Union[str, bytes]) -> Optional[Bank]:
        """The bank of a nine-digit routing number, or None when the directory does not list it."""
        key = routing.encode("latin-1", "replace") if isinstance(routing, str) else bytes(routing)
        if len(key) != 9 or b"\0" in key:
            return None
        bank = MicrBank()
        if lib.micr_directory_find(self._live_handle(), key, ctypes.byref(bank)) != 1:
            return None
        return Bank(bank.name.decode("latin-1"), bank.city.decode("latin-1"), bank.state.decode("latin-1"),
                    bank.new_routing.decode("latin-1") or None)
