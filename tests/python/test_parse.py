"""micr.parse and micr.parse_explained: the fields micrparse writes, the errors, many threads on one table."""
from concurrent.futures import ThreadPoolExecutor

import pytest

import micr
from conftest import EXAMPLES, generated_lines, micrparse_records


def same_as_record(result: micr.Result, record: dict) -> None:
    """A parse agrees with micrparse's record of the same line, field by field."""
    mine = result.as_dict()
    assert mine == {key: record[key] for key in mine}, record["micr"]
    assert list(mine)[3:] == [key for key in record if key in mine][3:]  # fields in micrparse's order
    # micrparse's repair hint for an unreadable routing digit is repair_routing's.
    hint = micr.repair_routing(result.transit.text) if result.transit.status == micr.FieldStatus.UNRECOG else None
    assert record["routing_repair"] == hint


def test_the_example_reader_output_gives_what_micrparse_writes(example_table):
    # micrparse in examples/ takes ./PARSE.DAT as its table.
    records = micrparse_records(["reader-output.txt"], EXAMPLES)
    lines = (EXAMPLES / "reader-output.txt").read_bytes().splitlines()
    assert len(records) == len(lines) > 0
    for line, record in zip(lines, records):
        result = micr.parse(line, example_table)
        same_as_record(result, record)
        assert micr.parse(line.decode("latin-1"), example_table) == result
        assert result.complete == (record["status"] == 0)
        assert [name for name, _ in result.fields()] == list(micr.FIELDS)


@pytest.mark.parametrize("with_table", [False, True])
@pytest.mark.parametrize("salvage", [False, True])
def test_generated_lines_give_what_micrparse_writes(tmp_path, example_table, with_table, salvage):
    lines = list(generated_lines(seed=11 + 2 * with_table + salvage, count=2000))
    (tmp_path / "lines.txt").write_bytes("".join(line + "\n" for line in lines).encode("latin-1"))
    options = ["--table", str(EXAMPLES / "PARSE.DAT")] if with_table else ["--no-table"]
    records = micrparse_records([*options, *(["--salvage"] if salvage else []), "lines.txt"], tmp_path)
    assert len(records) == len(lines)
    table = example_table if with_table else None
    for line, record in zip(lines, records):
        same_as_record(micr.parse(line, table, salvage=salvage), record)


def test_lines_that_cannot_be_parsed_are_refused(example_table):
    with pytest.raises(ValueError, match="NUL"):
        micr.parse(b"t123456780t 1\x002o")
    with pytest.raises(ValueError, match="NUL"):
        micr.parse_explained("t123456780t 1\x002o")
    # A str is Latin-1, one character per byte; Unicode symbols need translate().
    with pytest.raises(ValueError, match="translate"):
        micr.parse("\u2446123456780\u2446")
    assert micr.parse("a1\xe92a") == micr.parse(b"a1\xe92a")
    assert micr.parse("a1\xe92a").amount == ("1\xe92", micr.FieldStatus.INVALID)
    assert micr.parse(bytearray(b"a12a")) == micr.parse(b"a12a")
    with pytest.raises(TypeError):
        micr.parse(12)
    with pytest.raises(TypeError):
        micr.parse("a12a", table="PARSE.DAT")
    example_table.close()
    with pytest.raises(ValueError, match="closed"):
        micr.parse("a12a", example_table)


def test_many_threads_parse_against_one_table():
    table = micr.Table.open(EXAMPLES / "PARSE.DAT")
    lines = list(generated_lines(seed=5, count=4000))
    alone = [micr.parse(line, table) for line in lines]
    assert any(r.exception_state == micr.ExceptionState.USED for r in alone)
    with ThreadPoolExecutor(max_workers=8) as pool:
        for _ in range(3):
            assert list(pool.map(lambda line: micr.parse(line, table), lines, chunksize=50)) == alone


# The default split's rules, by the README's example of each.
RULES = [
    # on-us field as printed, auxiliary on-us, account rule, serial rule, code rule
    ("123456789o 1234", None, "account-after-serial", "right-lone-serial", None),
    ("123456789o 12 3456", None, "account-after-serial", "right-code-and-serial", "right-code-and-serial"),
    ("1234567o 001", None, "middle-lone-account", None, "right-lone-code"),
    ("12345678o", "001234", "account-after-serial", "auxiliary-serial", None),
    ("1234 567890123o", None, "middle-serial-then-account", "middle-serial-then-account", None),
    ("123 45678 90123o", None, "middle-leftmost-serial", "middle-leftmost-serial", None),
    ("567890123 1234o", None, "middle-rightmost-serial", "middle-rightmost-serial", None),
    ("1234 56o", None, "middle-account", None, None),
    ("12345o o", None, "left-account", None, None),
    ("1234567o 89012o", None, "shorter-group-serial", "shorter-group-serial", None),
    ("12 345o 6789o", None, "middle-serial-left-account", "middle-serial-left-account", None),
    ("6789o 12 345o", None, "left-serial-middle-account", "left-serial-middle-account", None),
    ("12 34o 56 78o", None, "middle-account-both-grouped", None, None),
]


@pytest.mark.parametrize("on_us, aux, account_rule, csn_rule, tpc_rule", RULES)
def test_explanations_name_the_rule_of_each_field(on_us, aux, account_rule, csn_rule, tpc_rule):
    line = (f"o{aux}o " if aux else "") + f"t011000015t {on_us} a0000012500a"
    result, why = micr.parse_explained(line)
    assert result == micr.parse(line)
    assert (why.account_rule, why.csn_rule, why.tpc_rule, why.table_line) == (account_rule, csn_rule, tpc_rule, None)


def test_explanations_name_the_table_line_and_where_fields_stand(example_table):
    table_lines = (EXAMPLES / "PARSE.DAT").read_text().splitlines()
    used = 0
    for line in generated_lines(seed=23, count=3000):
        for salvage in (False, True):
            result, why = micr.parse_explained(line, example_table, salvage=salvage)
            assert result == micr.parse(line, example_table, salvage=salvage)
            if result.exception_state == micr.ExceptionState.USED:
                used += 1
                assert result.transit.text in table_lines[why.table_line - 1].split()
                assert why.account_rule is why.csn_rule is why.tpc_rule is None
            else:
                assert why.table_line is None
            for span, field in ((why.amount, result.amount), (why.transit, result.transit), (why.epc, result.epc)):
                if field.status == micr.FieldStatus.OK:
                    assert span.of(line) == field.text
    assert used > 0
