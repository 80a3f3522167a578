"""The libmicr.so this package was built with: found, checked and declared.

The library is loaded from one place only, the one recorded when the package
was built (inside the package for a wheel, beside it for an installation
made by CMake), never from the loader's search path.  Its micr_version()
must be this package's version.
"""
from __future__ import annotations

import ctypes
import os
from ctypes import POINTER, c_char, c_char_p, c_int, c_long, c_size_t, c_uint, c_void_p

from . import _config

VERSION: str = _config.VERSION

#: Where the package's library is; nothing else is ever loaded.
LIBRARY_PATH: str = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), _config.LIBRARY))

# micr.h's text widths, terminator included, in record order.
FIELD_SIZES = (("amount", 17), ("account", 23), ("tpc", 19), ("csn", 21),
               ("transit", 10), ("epc", 2), ("onus", 29), ("auxonus", 24))

SALVAGE = 0x1  # MICR_SALVAGE


class MicrResult(ctypes.Structure):
    """micr_result: single signed bytes and fixed-width NUL-terminated texts."""

    _fields_ = ([("status", ctypes.c_byte),
                 ("exception_state", ctypes.c_byte),
                 ("unrecognized_symbols", ctypes.c_byte)]
                + [member for name, size in FIELD_SIZES
                   for member in ((name + "_status", ctypes.c_byte), (name, c_char * size))])


class MicrSpan(ctypes.Structure):
    _fields_ = [("start", c_size_t), ("length", c_size_t)]


class MicrExplanation(ctypes.Structure):
    _fields_ = [("table_line", c_long),
                ("account_rule", c_char_p), ("csn_rule", c_char_p), ("tpc_rule", c_char_p),
                ("amount", MicrSpan), ("on_us", MicrSpan), ("transit", MicrSpan), ("epc", MicrSpan),
                ("auxiliary_on_us", MicrSpan)]


class MicrX9Fields(ctypes.Structure):
    _fields_ = [("auxiliary_on_us", c_char * 16), ("epc", c_char * 2), ("routing", c_char * 9),
                ("check_digit", c_char * 2), ("on_us", c_char * 21), ("amount", c_char * 11),
                ("micr_valid", c_char), ("unusable", c_uint)]


class MicrBank(ctypes.Structure):
    _fields_ = [("name", c_char * 37), ("city", c_char * 26), ("state", c_char * 3), ("new_routing", c_char * 10)]


# Every function used, with its C prototype: (name, result type, argument types).
_PROTOTYPES = [
    ("micr_parse", c_int, [c_void_p, c_char_p, c_size_t, c_uint, POINTER(MicrResult)]),
    ("micr_parse_explained", c_int,
     [c_void_p, c_char_p, c_size_t, c_uint, POINTER(MicrResult), POINTER(MicrExplanation)]),
    ("micr_translate", c_long, [c_char_p, c_char_p, c_size_t, c_char_p, c_size_t]),
    ("micr_repair_routing", c_int, [c_char_p, c_char_p]),
    ("micr_eft_routing", c_int, [c_char_p, c_char_p]),
    ("micr_x9_fields_of", c_int, [c_char_p, c_size_t, c_uint, POINTER(MicrX9Fields)]),
    ("micr_table_open", c_void_p, [c_char_p]),
    ("micr_table_from_text", c_void_p, [c_char_p, c_size_t]),
    ("micr_table_free", None, [c_void_p]),
    ("micr_table_problem_count", c_size_t, [c_void_p]),
    ("micr_table_problem_line", c_long, [c_void_p, c_size_t]),
    ("micr_table_problem_message", c_char_p, [c_void_p, c_size_t]),
    ("micr_directory_open", c_void_p, [c_char_p]),
    ("micr_directory_from_text", c_void_p, [c_char_p, c_size_t]),
    ("micr_directory_free", None, [c_void_p]),
    ("micr_directory_problem_count", c_size_t, [c_void_p]),
    ("micr_directory_problem_line", c_long, [c_void_p, c_size_t]),
    ("micr_directory_problem_message", c_char_p, [c_void_p, c_size_t]),
    ("micr_directory_find", c_int, [c_void_p, c_char_p, POINTER(MicrBank)]),
]


def _load() -> ctypes.CDLL:
    if not os.path.isfile(LIBRARY_PATH):
        raise ImportError(f"micr {VERSION}: its library {LIBRARY_PATH} is missing; reinstall the package")
    try:
        lib = ctypes.CDLL(LIBRARY_PATH, use_errno=True)
    except OSError as error:
        raise ImportError(f"micr {VERSION}: cannot load its library {LIBRARY_PATH}: {error}") from error
    try:
        micr_version = lib.micr_version
    except AttributeError:
        raise ImportError(f"{LIBRARY_PATH} has no micr_version(): it is an older libmicr than "
                          f"micr {VERSION}, which this package needs") from None
    micr_version.restype = c_char_p
    micr_version.argtypes = []
    found = micr_version().decode("ascii", "replace")
    if found != VERSION:
        raise ImportError(f"{LIBRARY_PATH} is libmicr {found}, but this package is micr {VERSION}: "
                          f"the package and its library must be the same version")
    for name, restype, argtypes in _PROTOTYPES:
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib: ctypes.CDLL = _load()
