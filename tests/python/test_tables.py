"""micr.Table and micr.Directory: loading strictly and leniently, errors, lifetime."""
import errno
import gc

import pytest

import micr
from conftest import EXAMPLES, generated_table, micrparse


def test_table_problems_are_what_micrparse_reports(tmp_path):
    checked = 0
    for seed in range(60):
        text = generated_table(seed)
        path = tmp_path / f"table-{seed}.dat"
        path.write_bytes(text)
        report = micrparse(["--check-table", str(path)], tmp_path, check=False)
        # micrparse's warnings are its own; the library reports problems alone.
        problems = "".join(line for line in report.stderr.decode().splitlines(keepends=True)
                           if ": warning: " not in line)
        lenient = micr.Table.open(path, strict=False)
        if report.returncode != 1:
            assert lenient.problems == []
            micr.Table.open(path).close()
            continue
        checked += 1
        expected = [(int(number), message) for _, number, message in
                    (line.split(":", 2) for line in problems.splitlines())]
        assert lenient.problems == [(line, message.lstrip(" ")) for line, message in expected]
        with pytest.raises(micr.TableError) as raised:
            micr.Table.open(path)
        assert str(raised.value) + "\n" == problems
        assert raised.value.problems == lenient.problems
        # The same text, as bytes and as a str: the same problems, named as table text.
        for given in (text, text.decode("ascii")):
            with pytest.raises(micr.TableError, match="^table text:") as raised:
                micr.Table.from_text(given)
            assert raised.value.problems == lenient.problems
        assert micr.Table.from_text(text, strict=False).problems == lenient.problems
    assert checked >= 20


def test_a_table_that_cannot_be_read_is_an_os_error(tmp_path):
    with pytest.raises(FileNotFoundError) as raised:
        micr.Table.open(tmp_path / "absent.dat")
    assert raised.value.errno == errno.ENOENT and raised.value.filename == str(tmp_path / "absent.dat")
    with pytest.raises(IsADirectoryError):
        micr.Table.open(tmp_path, strict=False)
    with pytest.raises(FileNotFoundError):
        micr.Directory.open(tmp_path / "absent.txt")
    with pytest.raises(ValueError):
        micr.Table.open("PARSE\0.DAT")
    with pytest.raises(TypeError):
        micr.Table()


def test_a_table_is_freed_when_closed_left_or_collected():
    line = "t026009593t 001234 5678901o a0000004250a"
    with micr.Table.open(EXAMPLES / "PARSE.DAT") as table:
        assert not table.closed
        assert micr.parse(line, table).exception_state == micr.ExceptionState.USED
    assert table.closed
    with pytest.raises(ValueError, match="closed"):
        micr.parse(line, table)
    table.close()  # twice is fine

    table = micr.Table.from_text((EXAMPLES / "PARSE.DAT").read_bytes())
    freed = table._free  # the finalizer that frees the C table
    assert freed.alive
    del table
    gc.collect()
    assert not freed.alive


def fedach(routing: str, record_type: str, new_routing: str, name: str, city: str, state: str) -> str:
    """A line of the FedACH layout: 155 columns, fields at their places (counted from 1)."""
    line = [" "] * 155

    def put(first: int, text: str) -> None:
        line[first - 1:first - 1 + len(text)] = text

    put(1, routing)
    put(10, "O")
    put(11, "011000015")
    put(20, record_type)
    put(21, "120126")
    put(27, new_routing)
    put(36, name)
    put(72, "1 MAIN STREET")
    put(108, city)
    put(128, state)
    return "".join(line)


def test_a_directory_finds_the_banks_its_lines_list(tmp_path):
    lines = [fedach("011000015", "1", "000000000", "FIRST BANK OF TESTING", "SPRINGFIELD", "IL"),
             fedach("123456780", "2", "021000021", "OLD BANK OF TESTING", "CITY", "MA"),
             fedach("12345678", "1", "000000000", "A NUMBER TOO SHORT", "CITY", "MA"),
             fedach("011000015", "1", "000000000", "LISTED TWICE", "CITY", "MA")]
    text = "\r\n".join(lines) + "\r\n"
    path = tmp_path / "FedACHdir.txt"
    path.write_text(text)
    with pytest.raises(micr.DirectoryError) as raised:
        micr.Directory.open(path)
    assert [line for line, _ in raised.value.problems] == [3, 4]
    assert str(raised.value).startswith(f"{path}:3: ")
    with micr.Directory.open(path, strict=False) as directory:
        assert directory.problems == raised.value.problems
        assert directory.find("011000015") == micr.Bank("FIRST BANK OF TESTING", "SPRINGFIELD", "IL", None)
        assert directory.find(b"123456780") == micr.Bank("OLD BANK OF TESTING", "CITY", "MA", "021000021")
        for absent in ("021000021", "12345678", "0110000150", "", "01100001\0"):
            assert directory.find(absent) is None
    with pytest.raises(ValueError, match="closed"):
        directory.find("011000015")
    good = micr.Directory.from_text("\n".join(lines[:2]))
    assert good.problems == [] and good.find("011000015").name == "FIRST BANK OF TESTING"
