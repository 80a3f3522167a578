// The default split of the on-us field into account number, cheque serial
// number and transaction processing code.
//
// Every case runs a whole MICR line through parse_micr_line, inside a
// directory whose PARSE.DAT is empty: the table is read, has no entry, and the
// default split runs whatever table lies elsewhere on the machine.  Lines and
// expected texts are written in reading order, as printed on the cheque.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "micr.h"
#include "test_support.h"

namespace {

using micr_test::expect_field;
using micr_test::expected_field;
using micr_test::missing;
using micr_test::ok;
using micr_test::too_long;

// A complete line around the on-us field: optional auxiliary on-us field,
// transit field, the on-us field, amount field.  The on-us scan counts the
// blanks between the transit symbol and the field, so a field of the full 25
// characters has to follow the transit symbol directly (`gap` empty).
std::string line_around(const std::string& onus, const char* aux, const std::string& transit = "123456780",
                        const std::string& gap = " ") {
    std::string line;
    if (aux != nullptr) line += std::string("o") + aux + "o ";
    return line + "t" + transit + "t" + gap + onus + " a0000012345a";
}

struct split_row {
    const char* why;
    const char* onus;  // as printed
    const char* aux;   // auxiliary on-us field as printed; nullptr when the line has none
    expected_field account;
    expected_field csn;
    expected_field tpc;
};

void run_rows(const split_row* rows, std::size_t count) {
    micr_test::temp_dir dir;
    micr_test::write_file("PARSE.DAT", "");
    for (std::size_t i = 0; i < count; ++i) {
        const split_row& row = rows[i];
        const std::string line = line_around(row.onus, row.aux);
        SCOPED_TRACE(std::string(row.why) + " | line: " + line);
        const micr_result r = micr_test::parse_reading_order(line);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.exception_state, EX_NORMAL);
        EXPECT_EQ(r.onus_status, ST_OK);
        expect_field("account", r.account, r.account_status, row.account);
        expect_field("csn", r.csn, r.csn_status, row.csn);
        expect_field("tpc", r.tpc, r.tpc_status, row.tpc);
    }
}

// The reference cases of the split, one per rule path.
const split_row reference_rows[] = {
    {"lone 4-digit group right of the on-us symbol is the serial number (1b, 3-III)", "123456789o 1234", nullptr,
     ok("123456789"), ok("1234"), missing},
    {"blanks left of the field are trimmed first", "   123456789o 1234", nullptr, ok("123456789"), ok("1234"), missing},
    {"two groups in section 0: the longer is the serial number (1a)", "123456789o 12 3456", nullptr, ok("123456789"),
     ok("3456"), ok("12")},
    {"two equal groups: the left one is the serial number (1a)", "123456789o 1234 5678", nullptr, ok("123456789"),
     ok("1234"), ok("5678")},
    {"only the two right-most groups of section 0 count; 12 is dropped", "123456789o 12 3456 78", nullptr,
     ok("123456789"), ok("3456"), ok("78")},
    {"two short groups give nothing from section 0 (1a), account from section 1 (3-I.1)", "123456789o 12 34", nullptr,
     ok("123456789"), missing, missing},
    {"lone 2-digit group is the processing code (1b)", "123456789o 12", nullptr, ok("123456789"), missing, ok("12")},
    {"lone group printed 001 (100 in scan order) is the processing code", "1234567o 001", nullptr, ok("1234567"),
     missing, ok("001")},
    {"lone group printed 100 is an ordinary serial number", "1234567o 100", nullptr, ok("1234567"), ok("100"), missing},
    {"serial number from the auxiliary on-us field (2, 3-III)", "12345678o", "001234", ok("12345678"), ok("001234"),
     missing},
    {"auxiliary on-us field unused when section 0 gave the serial number", "123456789o 1234", "5555", ok("123456789"),
     ok("1234"), missing},
    {"two groups in section 1: 4-digit left group and long right group (3-I.2)", "1234 567890123o", nullptr,
     ok("567890123"), ok("1234"), missing},
    {"left-most group of three is the serial number, account cut before it (3-I.3)", "123 45678 90123o", nullptr,
     ok("45678 90123"), ok("123"), missing},
    {"3-I.3 drops the dash between account and serial number", "123d45678d90123o", nullptr, ok("45678d90123"),
     ok("123"), missing},
    {"right-most 4-digit group is the serial number (3-I.4)", "567890123 1234o", nullptr, ok("567890123"), ok("1234"),
     missing},
    {"3-I.4 keeps the dash next to the serial number", "567890123d1234o", nullptr, ok("567890123d"), ok("1234"),
     missing},
    {"3-I.4 at its threshold: five digits left besides the serial number", "12345 678o", nullptr, ok("12345"),
     ok("678"), missing},
    {"no rule fits: section 1 whole is the account (3-I.5)", "1234 56o", nullptr, ok("1234 56"), missing, missing},
    {"one group in each of sections 1 and 2: the shorter is the serial number (3-II.2)", "1234567o 89012o", nullptr,
     ok("1234567"), ok("89012"), missing},
    {"3-II.2 with the shorter group in section 2", "123o 4567890o", nullptr, ok("4567890"), ok("123"), missing},
    {"one group in section 1, two in section 2 (3-II.3)", "12 345o 6789o", nullptr, ok("12 345"), ok("6789"), missing},
    {"two groups in section 1, one in section 2 (3-II.4)", "6789o 12 345o", nullptr, ok("12 345"), ok("6789"), missing},
    {"two groups in each of sections 1 and 2 (3-II.5)", "12 34o 56 78o", nullptr, ok("56 78"), missing, missing},
    {"section 1 a lone blank: account from section 2 (3-II.1)", "12345o o", nullptr, ok("12345"), missing, missing},
    {"sections left of section 2 are not looked at: 99 dropped", "99o123o4567890o12", nullptr, ok("4567890"), ok("123"),
     ok("12")},
    {"no on-us symbol: all section 0, account missing", "12345678", nullptr, missing, ok("12345678"), missing},
    {"only on-us symbol at the left end: still all section 0 (1a only)", "o123456789 1234", nullptr, missing,
     ok("123456789"), ok("1234")},
};

TEST(DefaultOnusSplit, ReferenceCases) { run_rows(reference_rows, std::size(reference_rows)); }

const split_row edge_rows[] = {
    {"adjacent on-us symbols separate like one", "123456789oo 1234", nullptr, ok("123456789"), ok("1234"), missing},
    {"five groups: the left-most is the one furthest left (3-I.5)", "o1 22 333 4444 55555o001", nullptr,
     ok("1 22 333 4444 55555"), missing, ok("001")},
    {"a blank before the on-us symbol is no part of the section (3-I.4)", "o12345678 123 o001", nullptr, ok("12345678"),
     ok("123"), ok("001")},
    {"a dash alone between on-us symbols is a section without groups (3-II.1)", "12345odo", nullptr, ok("12345"),
     missing, missing},
    {"auxiliary on-us field taken whole, inner blank kept", "12345678o", "001 234", ok("12345678"), ok("001 234"),
     missing},
    {"100 test applies to a lone group only: two groups go by length", "1234567890o 001 12345", nullptr,
     ok("1234567890"), ok("12345"), ok("001")},
    {"tie between sections 1 and 2: section 1's group is the serial number", "1234o5678o", nullptr, ok("1234"),
     ok("5678"), missing},
    {"3-I.2: 4-digit left group and 5-digit right group", "1234 56789o", nullptr, ok("56789"), ok("1234"), missing},
    {"3-I.2 needs 5 digits on the right and 3-I.4 five besides the 4: neither", "1234 5678o", nullptr, ok("1234 5678"),
     missing, missing},
    {"3-I.4 just below its threshold: four digits besides the serial number", "1234 678o", nullptr, ok("1234 678"),
     missing, missing},
    {"3-I.3 counts characters: a leading dash shifts the cut", "d123 45678 90123o", nullptr, ok("3 45678 90123"),
     ok("123"), missing},
    {"3-I.4 counts characters: a trailing dash shifts the cut", "1234567890 1234do", nullptr, ok("1234567890 1"),
     ok("1234"), missing},
    {"whole sections keep their inner dash", "123d456o 789", nullptr, ok("123d456"), ok("789"), missing},
    {"on-us symbol alone: no group anywhere", "o", nullptr, missing, missing, missing},
    {"two on-us symbols alone: no group anywhere", "oo", nullptr, missing, missing, missing},
    {"dash alone: no group anywhere", "d", nullptr, missing, missing, missing},
    {"no group anywhere, but the auxiliary on-us field gives the serial number", "o", "001234", missing, ok("001234"),
     missing},
    {"dash alone with an auxiliary on-us field", "d", "5555", missing, ok("5555"), missing},
    {"single digit is the processing code (1b)", "5", nullptr, missing, missing, ok("5")},
    {"auxiliary on-us field of blanks only still counts as present", "12345678o", "   ", ok("12345678"), ok("   "),
     missing},
    {"auxiliary on-us field of dashes only still counts as present", "12345678o", "dd", ok("12345678"), ok("dd"),
     missing},
    {"blanks between transit symbol and on-us field make no difference", "      123456789o 1234", nullptr,
     ok("123456789"), ok("1234"), missing},
};

TEST(DefaultOnusSplit, EdgeCases) { run_rows(edge_rows, std::size(edge_rows)); }

// Texts longer than their field: the field says TOOLONG and keeps the first
// characters in scan order, which in reading order are the right-most ones of
// the source as printed.  The transit number 123456789 fails its check digit,
// so the byte behind `csn` (the transit status) is ST_INVALID, and the byte
// behind `account` (the tpc status) is ST_MISSING in every row: a write past
// either field would show there.
const split_row overflow_rows[] = {
    {"20-digit lone group fits csn exactly", "12345678901234567890", nullptr, missing, ok("12345678901234567890"),
     missing},
    {"21-digit lone group: csn keeps its right-most 20", "123456789012345678901", nullptr, missing,
     too_long("23456789012345678901"), missing},
    {"25-digit lone group: csn keeps its right-most 20", "1234567890123456789012345", nullptr, missing,
     too_long("67890123456789012345"), missing},
    {"23-digit right-hand group of two (1a, S0a)", "4 12345678901234567890123", nullptr, missing,
     too_long("45678901234567890123"), ok("4")},
    {"23-digit left-hand group of two (1a, S0b)", "12345678901234567890123 4", nullptr, missing,
     too_long("45678901234567890123"), ok("4")},
    {"20-character auxiliary on-us field fits csn", "12345678o", "12345678901234567890", ok("12345678"),
     ok("12345678901234567890"), missing},
    {"21-character auxiliary on-us field into csn (rule 2); account still by 3-III", "12345678o",
     "123456789012345678901", ok("12345678"), too_long("23456789012345678901"), missing},
    {"21-character auxiliary on-us field with a blank", "12345678o", "1234567890 1234567890", ok("12345678"),
     too_long("234567890 1234567890"), missing},
    {"22-digit lone group of section 1 fits account exactly", "1234567890123456789012o", nullptr,
     ok("1234567890123456789012"), missing, missing},
    {"23-digit lone group of section 1 (3-I.1)", "12345678901234567890123o", nullptr,
     too_long("2345678901234567890123"), missing, missing},
    {"24-digit lone group of section 1 (3-I.1)", "123456789012345678901234o", nullptr,
     too_long("3456789012345678901234"), missing, missing},
    {"23-character section 1 of two long groups (3-I.5)", "1234567890 234567890123o", nullptr,
     too_long("234567890 234567890123"), missing, missing},
    {"24-character section 1 of two long groups (3-I.5)", "12345678901 234567890123o", nullptr,
     too_long("345678901 234567890123"), missing, missing},
    {"23-character section 1 after the serial number came from aux (3-III)", "12345678901234567890123o", "1234",
     too_long("2345678901234567890123"), ok("1234"), missing},
    {"24-character section 1 after the serial number came from aux (3-III)", "123456789012345678901234o", "1234",
     too_long("3456789012345678901234"), ok("1234"), missing},
};

TEST(DefaultOnusSplit, TextsLongerThanTheirFieldAreCutAndMarked) {
    micr_test::temp_dir dir;
    micr_test::write_file("PARSE.DAT", "");
    for (const split_row& row : overflow_rows) {
        const std::string line = line_around(row.onus, row.aux, "123456789", "");
        SCOPED_TRACE(std::string(row.why) + " | line: " + line);
        const micr_result r = micr_test::parse_reading_order(line);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.exception_state, EX_NORMAL);
        expect_field("account", r.account, r.account_status, row.account);
        expect_field("csn", r.csn, r.csn_status, row.csn);
        expect_field("tpc", r.tpc, r.tpc_status, row.tpc);
        // The fields behind account and csn keep what the parse gave them.
        expect_field("transit", r.transit, r.transit_status, {"123456789", ST_INVALID});
        EXPECT_EQ(std::strlen(r.account), std::strlen(row.account.text));
        EXPECT_EQ(std::strlen(r.csn), std::strlen(row.csn.text));
    }
}

}  // namespace
