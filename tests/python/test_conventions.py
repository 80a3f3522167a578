"""micr.translate against micrparse's --symbols and --encoding; the routing helpers; Check Detail Record fields."""
import pytest

import micr
from conftest import ROUTING_POOL, generated_lines, micrparse_records

# A line in the library's letters rewritten into a reader's convention:
# transit, on-us, amount, dash, unreadable mark (blanks stay blanks).
CONVENTIONS = {
    "TOAD": "TOAD!",
    "bcd": "dcb-!",
    "XYZW*_": "XYZW*",  # six characters of one's own; '_' is its blank, a space stays one too
}


def written_in(line: str, symbols: str) -> str:
    return line.translate(str.maketrans("toad?", symbols))


@pytest.mark.parametrize("name", CONVENTIONS)
def test_a_reader_convention_parses_as_micrparse_parses_it(tmp_path, name):
    lines = [written_in(line, CONVENTIONS[name]) for line in generated_lines(seed=3, count=1500)]
    (tmp_path / "lines.txt").write_bytes("".join(line + "\n" for line in lines).encode("latin-1"))
    records = micrparse_records(["--no-table", "--symbols", name, "lines.txt"], tmp_path)
    assert len(records) == len(lines)
    for line, record in zip(lines, records):
        # The bytes of the file: a str would be taken as UTF-8, and 'é' is one Latin-1 byte here.
        mine = micr.parse(micr.translate(line.encode("latin-1"), name)).as_dict()
        assert mine == {key: record[key] for key in mine}, line


def test_unicode_symbols_parse_as_micrparse_parses_them_in_utf8(tmp_path):
    lines = [written_in(line, "\u2446\u2448\u2447\u2449?") for line in generated_lines(seed=4, count=1500)]
    (tmp_path / "lines.txt").write_bytes("".join(line + "\n" for line in lines).encode("utf-8"))
    records = micrparse_records(["--no-table", "--encoding", "utf8", "lines.txt"], tmp_path)
    assert len(records) == len(lines)
    for line, record in zip(lines, records):
        assert record["micr"] == line
        translated = micr.translate(line)
        assert translated == micr.translate(line.encode("utf-8"), "default")
        mine = micr.parse(translated).as_dict()
        assert mine == {key: record[key] for key in mine}, line


def test_a_convention_must_be_a_name_or_six_distinct_characters():
    for bad in ("toad", "Default", "", "TOAD!", "TOAD!  ", "t1oad ", "ttoad?", " toad?", "\u2446oad? ", "toad\0 "):
        with pytest.raises(ValueError, match="unknown symbols"):
            micr.translate("t1t", bad)
    assert micr.translate("t1t", b"toad? ") == micr.translate("t1t") == "t1t"


def test_a_routing_number_with_one_unreadable_digit_is_repaired():
    # Every nine-digit pool number passes its check digit: micrparse reads it as an OK transit.
    numbers = [n for n in ROUTING_POOL if n.isdigit() and micr.parse(f"t{n}t 1234o a1a").transit.status == 0]
    assert len(numbers) >= 4
    for number in numbers:
        for place in range(9):
            unread = number[:place] + "?" + number[place + 1:]
            # Not the 5th or 6th character: there a Canadian transit has its dash.
            assert micr.repair_routing(unread) == (None if place in (4, 5) else number)
            assert micr.repair_routing(unread.encode()) == micr.repair_routing(unread)
        assert micr.repair_routing(number) is None
        assert micr.repair_routing("??" + number[2:]) is None
    for other in ("", "1234567?", "1234567?01", "1234567?\0", "12345d6?8"):
        assert micr.repair_routing(other) is None


def test_eft_routing_numbers():
    for branch, institution in (("12345", "678"), ("00001", "001"), ("98765", "432")):
        assert micr.eft_routing(f"{branch}d{institution}") == f"0{institution}{branch}"
    for number in ROUTING_POOL[:5] + ["000000000"]:
        assert micr.eft_routing(number) == number
    for other in ("12345d67", "1234d5678", "12345d67?", "12345-678", "1234567890", "", "12345678\0"):
        assert micr.eft_routing(other) is None


def test_check_detail_record_fields_follow_the_parse():
    with pytest.raises(ValueError, match="NUL"):
        micr.x9_fields_of("t123456780t\0")
    for line in generated_lines(seed=8, count=2000):
        for salvage in (False, True):
            x9 = micr.x9_fields_of(line, salvage=salvage)
            r = micr.parse(line, salvage=salvage)
            widths = [len(x9.auxiliary_on_us), len(x9.epc), len(x9.routing), len(x9.check_digit), len(x9.on_us),
                      len(x9.amount)]
            assert widths == [15, 1, 8, 1, 20, 10]
            transit_ok = r.transit.status == micr.FieldStatus.OK and r.transit.text.isdigit()
            assert (micr.X9Unusable.ROUTING not in x9.unusable) == transit_ok
            if transit_ok:
                assert x9.routing + x9.check_digit == r.transit.text
            if micr.X9Unusable.AMOUNT not in x9.unusable:
                assert int(x9.amount) == int(r.amount.text) and r.amount.status == micr.FieldStatus.OK
            assert x9.epc == (r.epc.text if r.epc.status == micr.FieldStatus.OK else " ")
            read_error = r.unrecognized_symbols
            missing = not r.complete or micr.FieldStatus.MISSING in (r.transit.status, r.onus.status, r.amount.status)
            assert x9.micr_valid == "1234"[read_error * 2 + missing]
