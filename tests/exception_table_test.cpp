// The exception table PARSE.DAT: how its lines are read, which entry applies,
// and how an entry cuts the on-us field into account number, cheque serial
// number and transaction processing code.
//
// Every test writes its own PARSE.DAT into a fresh directory and parses there.
// Lines and expected texts are in reading order, as printed on the cheque.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "line_reader.h"
#include "parse_steps.h"
#include "test_support.h"

namespace {

using micr_test::expect_field;
using micr_test::expected_field;
using micr_test::missing;
using micr_test::ok;
using micr_test::too_long;

// Text given, status follows from it: a text the step left empty is missing.
expected_field text_or_missing(const char* text) { return text[0] == '\0' ? missing : ok(text); }

void expect_state(signed char state, int want) {
    EXPECT_EQ(static_cast<int>(state), want)
        << "got " << micr_exception_state_name(state) << ", want " << micr_exception_state_name(want);
}

std::string line_with(const std::string& onus, const std::string& transit = "123456780", const std::string& gap = " ") {
    return "t" + transit + "t" + gap + onus + " a0000012345a";
}

micr_result parse_with_table(const std::string& table, const std::string& line) {
    micr_test::write_file("PARSE.DAT", table);
    return micr_test::parse_reading_order(line);
}

// ---------------------------------------------------------------------------
// Applying an entry.  The table holds the one entry "B 123456780" followed by
// tokens 3 to 7; the transit number is 123456780.

struct apply_row {
    const char* why;
    const char* onus;    // as printed
    const char* tokens;  // tokens 3 to 7 of the entry
    const char* account;
    const char* csn;
    const char* tpc;
};

void run_apply_rows(const apply_row* rows, std::size_t count) {
    micr_test::temp_dir dir;
    for (std::size_t i = 0; i < count; ++i) {
        const apply_row& row = rows[i];
        const std::string table = std::string("B 123456780 ") + row.tokens + "\n";
        SCOPED_TRACE(std::string(row.why) + " | on-us: [" + row.onus + "] entry: " + table);
        const micr_result r = parse_with_table(table, line_with(row.onus));
        EXPECT_EQ(r.status, 0);
        expect_state(r.exception_state, EX_USED);
        expect_field("account", r.account, r.account_status, text_or_missing(row.account));
        expect_field("csn", r.csn, r.csn_status, text_or_missing(row.csn));
        expect_field("tpc", r.tpc, r.tpc_status, text_or_missing(row.tpc));
    }
}

const apply_row worked_rows[] = {
    {"blanks removed, serial number left of 7 characters, account right", "001234 5678901o", "D 1 7 6 R", "5678901",
     "001234", ""},
    {"blanks kept and counted: one ends up in the serial number", "001234 5678901o", "A 1 7 6 R", "5678901", "01234 ",
     ""},
    {"section 1 selected: section 0 with its blank is the processing code", " 1234567890o 0101", "A 1 0 4 L", "123456",
     "7890", " 0101"},
    {"section 0 selected: no processing code, blank counted in the serial number", "1234567890o 0101", "A 0 1 4 L", "",
     " 010", ""},
    {"adjacent on-us symbols separate like one", "12oo345o6789", "A 2 1 1 R", "2", "1", "6789"},
    {"serial length 0: no serial number, account keeps its inner blank", "12345 67890o", "A 1 2 0 L", "12345 678", "",
     ""},
};

TEST(ExceptionTableApply, ReferenceCases) { run_apply_rows(worked_rows, std::size(worked_rows)); }

// On-us field 1234567890o 0101: section 0 is "0101" with the blank left of
// it, section 1 is 1234567890, there is no section 2.
const apply_row section_rows[] = {
    {"token 4 written +1, tokens 5 and 6 with signs", "1234567890o 0101", "A +1 +0 +4 L", "123456", "7890", " 0101"},
    {"257 keeps its low byte: section 1", "1234567890o 0101", "A 257 0 4 L", "123456", "7890", " 0101"},
    {"section 2 does not exist: account and serial missing, section 0 still the code", "1234567890o 0101", "A 2 0 4 L",
     "", "", " 0101"},
    {"section 127 does not exist", "1234567890o 0101", "A 127 0 4 L", "", "", " 0101"},
    {"300 is stored as 44: no such section, but 1 or more gives the code", "1234567890o 0101", "A 300 0 4 L", "", "",
     " 0101"},
    {"negative section: nothing at all, not even the code", "1234567890o 0101", "A -1 0 4 L", "", "", ""},
    {"200 is stored as -56: negative, so no code either", "1234567890o 0101", "A 200 0 4 L", "", "", ""},
    {"X Y Z read as 0 0 0, L: account is the whole of section 0, blank kept", "1234567890o 0101", "A X Y Z L", " 0101",
     "", ""},
    {"X Y Z read as 0 0 0, blanks removed, L", "1234567890o 0101", "D X Y Z L", "0101", "", ""},
    {"X Y Z read as 0 0 0, R: everything empty", "1234567890o 0101", "A X Y Z R", "", "", ""},
    {"blanks removed from section 0 when it is the selected one", "1234567890o 0101", "D 0 0 4 L", "", "0101", ""},
    {"offset beyond section 0, R: account is the whole section", "1234567890o 0101", "A 0 9 4 R", " 0101", "", ""},
    {"offset beyond section 0, L: account empty", "1234567890o 0101", "A 0 9 4 L", "", "", ""},
    {"offset equal to the section's length, R", "1234567890o 0101", "A 1 10 4 R", "1234567890", "", " 0101"},
    {"offset beyond section 1, L", "1234567890o 0101", "A 1 11 4 L", "", "", " 0101"},
    {"negative offset reads as the section's length", "1234567890o 0101", "A 1 -3 4 R", "1234567890", "", " 0101"},
    {"negative length: serial number up to the left end", "1234567890o 0101", "A 1 2 -1 R", "90", "12345678", " 0101"},
    {"length beyond the section: serial number up to the left end", "1234567890o 0101", "A 1 2 50 L", "", "12345678",
     " 0101"},
    {"offset 0 with R: no account", "1234567890o 0101", "A 1 0 4 R", "", "7890", " 0101"},
    {"length 0 with R and offset 0: only the code", "1234567890o 0101", "A 1 0 0 R", "", "", " 0101"},
    {"L drops the characters passed over", "1234567890o 0101", "A 1 3 4 L", "123", "4567", " 0101"},
    {"R drops what stands left of the serial number", "1234567890o 0101", "A 1 3 4 R", "890", "4567", " 0101"},
    {"field ending with an on-us symbol: section 0 empty, no code", "12345 67890o", "D 1 0 5 R", "", "67890", ""},
    {"blanks removed in the selected section only; the code keeps its blank", " 1234567890o 0101", "D 1 0 4 L",
     "123456", "7890", " 0101"},
    {"section of one blank between on-us symbols, blanks removed: empty", "12o o345", "D 1 0 4 L", "", "", "345"},
    {"section of one blank between on-us symbols, blanks kept: the blank is the serial number", "12o o345", "A 1 0 4 L",
     "", " ", "345"},
    {"section beyond a blank-only section", "12o o345", "A 2 0 4 L", "", "12", "345"},
    {"adjacent on-us symbols make no section: section 3 does not exist", "12oo345o6789", "A 3 0 4 L", "", "", "6789"},
    {"an on-us symbol at the left end makes no further section", "o12345", "A 1 0 4 L", "", "", "12345"},
};

TEST(ExceptionTableApply, SectionsOffsetsAndLengths) { run_apply_rows(section_rows, std::size(section_rows)); }

TEST(ExceptionTableApply, LeavesTheOnusTextAsTheLineParserFinishesIt) {
    // The step itself changes nothing of the on-us text; the parse then drops
    // its closing on-us symbol and outer blanks, exactly as when no entry is
    // applied because the table cannot be opened.
    const struct {
        const char* onus;
        const char* tokens;
        const char* onus_after;
    } rows[] = {
        {"001234 5678901o", "D 1 7 6 R", "001234 5678901"},
        {" 1234567890o 0101", "A 1 0 4 L", "1234567890o 0101"},
        {"12oo345o6789", "A 2 1 1 R", "12oo345o6789"},
        {"12345 67890o", "A 1 2 0 L", "12345 67890"},
    };
    micr_test::temp_dir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.onus);
        const std::string line = line_with(row.onus);
        const micr_result used = parse_with_table(std::string("B 123456780 ") + row.tokens + "\n", line);
        expect_state(used.exception_state, EX_USED);
        EXPECT_STREQ(used.onus, row.onus_after);
        EXPECT_EQ(used.onus_status, ST_OK);
        std::filesystem::remove("PARSE.DAT");
        const micr_result unopened = micr_test::parse_reading_order(line);
        expect_state(unopened.exception_state, EX_OPEN_ERR);
        EXPECT_STREQ(unopened.onus, row.onus_after);
    }
}

// Texts longer than their field are cut to the field and marked TOOLONG; the
// field keeps its first characters in scan order, that is the right-most ones
// as printed.  The transit number 123456789 fails its check digit and still
// matches its entry; its ST_INVALID sits right behind `csn`, the tpc status
// right behind `account` and the csn status right behind `tpc`, so a write
// past a field would show in the byte that follows it.
TEST(ExceptionTableApply, TextsLongerThanTheirFieldAreCutAndMarked) {
    const struct {
        const char* why;
        const char* onus;
        const char* tokens;
        expected_field account, csn, tpc;
    } rows[] = {
        {"section 0 of 18 characters fits tpc", "1o123456789012345678", "A 1 1 5 R", ok("1"), missing,
         ok("123456789012345678")},
        {"section 0 of 23 characters: tpc keeps the right-most 18", "1o12345678901234567890123", "A 1 1 5 R", ok("1"),
         missing, too_long("678901234567890123")},
        {"serial number of 24 characters: csn keeps the right-most 20", "123456789012345678901234o", "A 1 0 -1 L",
         missing, too_long("56789012345678901234"), missing},
        {"serial number of 22 characters after an offset of 2", "123456789012345678901234o", "A 1 2 -1 R", ok("34"),
         too_long("34567890123456789012"), missing},
        {"serial number of exactly 20 characters fits", "123456789012345678901234o", "A 1 4 20 R", ok("1234"),
         ok("12345678901234567890"), missing},
        {"account of 24 characters by L: account keeps the right-most 22", "123456789012345678901234o", "A 1 0 0 L",
         too_long("3456789012345678901234"), missing, missing},
        {"account of 24 characters by R", "123456789012345678901234o", "A 1 24 6 R", too_long("3456789012345678901234"),
         missing, missing},
        {"account of exactly 22 characters fits", "123456789012345678901234o", "A 1 2 0 L",
         ok("1234567890123456789012"), missing, missing},
        {"account of 23 digits once the blank is removed", "1234567890 1234567890123o", "D 1 0 0 L",
         too_long("2345678901234567890123"), missing, missing},
    };
    micr_test::temp_dir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.why) + " | on-us: " + row.onus + " tokens: " + row.tokens);
        // A 25-character on-us field must follow the transit symbol directly:
        // blanks between them count as characters of the field.
        const micr_result r =
            parse_with_table(std::string("B 123456789 ") + row.tokens + "\n", line_with(row.onus, "123456789", ""));
        EXPECT_EQ(r.status, 0);
        expect_state(r.exception_state, EX_USED);
        expect_field("account", r.account, r.account_status, row.account);
        expect_field("csn", r.csn, r.csn_status, row.csn);
        expect_field("tpc", r.tpc, r.tpc_status, row.tpc);
        expect_field("transit", r.transit, r.transit_status, {"123456789", ST_INVALID});
    }
}

// ---------------------------------------------------------------------------
// Reading the table.  The line is t123456780t 001234 5678901o a0000012345a.
// Its outcome tells which entry, if any, applied:
//   entry_d "B 123456780 D 1 7 6 R" -> account 5678901, csn 001234
//   entry_a "B 123456780 A 1 0 4 L" -> account 001234 567, csn 8901
//   no entry, default split (section 1 whole) -> account 001234 5678901
//   open error or malformed table -> nothing split
// The processing code is missing in every case: the field ends with an on-us symbol.

struct outcome {
    int state;
    const char* account;
    const char* csn;
};

constexpr outcome used_d{EX_USED, "5678901", "001234"};
constexpr outcome used_a{EX_USED, "001234 567", "8901"};
constexpr outcome normal{EX_NORMAL, "001234 5678901", ""};
constexpr outcome invalid{EX_INVALID, "", ""};
constexpr outcome open_error{EX_OPEN_ERR, "", ""};

const std::string entry_d = "B 123456780 D 1 7 6 R";
const std::string entry_a = "B 123456780 A 1 0 4 L";
const std::string table_line = line_with("001234 5678901o");
const std::string nul(1, '\0');
const std::string ctrl_z(1, '\x1a');

std::string padded(const std::string& entry, std::size_t length) {
    return entry + std::string(length - entry.size(), ' ');
}

void expect_outcome(const micr_result& r, const outcome& want) {
    EXPECT_EQ(r.status, 0);
    expect_state(r.exception_state, want.state);
    expect_field("account", r.account, r.account_status, text_or_missing(want.account));
    expect_field("csn", r.csn, r.csn_status, text_or_missing(want.csn));
    expect_field("tpc", r.tpc, r.tpc_status, missing);
}

struct table_row {
    const char* why;
    std::string table;
    outcome want;
};

void run_table_rows(const table_row* rows, std::size_t count) {
    micr_test::temp_dir dir;
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(rows[i].why);
        expect_outcome(parse_with_table(rows[i].table, table_line), rows[i].want);
    }
}

TEST(ExceptionTableRead, CommentsBlanksAndCase) {
    const table_row rows[] = {
        {"empty table: no entry, default split", "", normal},
        {"comments, an empty line, a line of blanks and a commented-out entry",
         "# routing table\n\n     \n#" + entry_d + "\n", normal},
        {"blanks before # still make a comment", "   # " + entry_d + "\n", normal},
        {"comments and blank lines before the entry are skipped", "# routing table\n\n   \n" + entry_d + "\n", used_d},
        {"blanks at both ends of an entry do not matter", "    " + entry_d + "    \n", used_d},
        {"runs of blanks separate tokens like one", "B   123456780  D 1    7 6     R\n", used_d},
        {"letters in lower case", "b 123456780 d 1 7 6 r\n", used_d},
        {"P entry in lower case", "p 123456780 a 1 0 4 l\n", used_a},
        {"only the first characters of tokens 1, 3 and 7 count", "BANK 123456780 DELETE 1 7 6 RIGHT\n", used_d},
        {"first characters in mixed case", "personal 123456780 All 1 0 4 left\n", used_a},
        {"tokens after the seventh are ignored", entry_d + " business account\n", used_d},
        {"a remark after the seventh token may start with #", entry_d + " # business account\n", used_d},
        {"# inside an entry starts no comment: token 7 begins with #", "B 123456780 D 1 7 6 #R\n", invalid},
        {"routing number need not be digits: well-formed, never matches", "B ABCDEFGHI D 1 7 6 R\n", normal},
        {"entries for other routing numbers are passed over",
         "B 987654320 A 1 0 4 L\nP 026009593 D 1 7 6 R\n" + entry_d + "\n", used_d},
        {"first of two matching entries wins (A first)", entry_a + "\n" + entry_d + "\n", used_a},
        {"first of two matching entries wins (D first)", entry_d + "\n" + entry_a + "\n", used_d},
    };
    run_table_rows(rows, std::size(rows));
}

TEST(ExceptionTableRead, NumbersInTokens4To6) {
    const table_row rows[] = {
        {"+1, 07 and 6x read as 1, 7 and 6", "B 123456780 D +1 07 6x R\n", used_d},
        {"257 and 263 keep their low byte: 1 and 7", "B 123456780 D 257 263 6 R\n", used_d},
        {"length 300 is 44, more than the rest of the section", "B 123456780 D 1 7 300 R\n", used_d},
        {"length 262 is 6", "B 123456780 D 1 7 262 R\n", used_d},
        {"negative length: up to the left end of the section", "B 123456780 D 1 7 -1 R\n", used_d},
        {"offset 200 is -56: negative, so the whole section is passed over",
         "B 123456780 D 1 200 6 R\n",
         {EX_USED, "0012345678901", ""}},
        {"X Y Z read as 0 0 0: section 0, which is empty here", "B 123456780 D X Y Z L\n", {EX_USED, "", ""}},
    };
    run_table_rows(rows, std::size(rows));
}

TEST(ExceptionTableRead, DecimalTokensKeepTheirLowByte) {
    const struct {
        const char* token;
        int value;
    } rows[] = {{"+2", 2},
                {"07", 7},
                {"6x", 6},
                {"300", 44},
                {"200", -56},
                {"X", 0},
                {"Y", 0},
                {"-", 0},
                {"+", 0},
                {"-1", -1},
                {"127", 127},
                {"128", -128},
                {"-128", -128},
                {"255", -1},
                {"256", 0},
                {"-257", -1},
                {"1x2", 1},
                // 10^11 is a multiple of 256, so 10^11 - 1 keeps the byte 0xff.
                {"99999999999", -1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.token);
        EXPECT_EQ(static_cast<int>(micr::decimal_low_byte(row.token)), row.value);
    }
}

TEST(ExceptionTableRead, MalformedLines) {
    const table_row rows[] = {
        {"six tokens", "B 123456780 D 1 7 6\n", invalid},
        {"routing number of eight characters", "B 12345678 D 1 7 6 R\n", invalid},
        {"routing number of ten characters whose first nine match", "B 1234567801 D 1 7 6 R\n", invalid},
        {"type letter other than B or P", "X 123456780 D 1 7 6 R\n", invalid},
        {"type token a digit", "1 123456780 D 1 7 6 R\n", invalid},
        {"blank-mode letter other than A or D", "B 123456780 X 1 7 6 R\n", invalid},
        {"side letter other than R or L", "B 123456780 D 1 7 6 X\n", invalid},
        {"tab-separated tokens are one token", "B\t123456780\tD\t1\t7\t6\tR\n", invalid},
        {"one tab among blanks joins two tokens", "B 123456780\tD 1 7 6 R\n", invalid},
        {"a leading tab is not trimmed: token 1 begins with it", "\t" + entry_d + "\n", invalid},
        {"a trailing tab stays in token 7, whose first character is R", entry_d + "\t\n", used_d},
        {"malformed line before the matching entry", "B 12345678 D 1 7 6 R\n" + entry_d + "\n", invalid},
        {"malformed line after the matching entry is never read", entry_d + "\nB 12345678 D 1 7 6 R\n", used_d},
        {"malformed line after a non-matching entry", "B 987654320 D 1 7 6 R\nB bad\n" + entry_d + "\n", invalid},
    };
    run_table_rows(rows, std::size(rows));
}

TEST(ExceptionTableRead, LineEndsAndLongLines) {
    const table_row rows[] = {
        {"matching entry as the last line without a line feed", entry_d, used_d},
        {"after a comment, as the last line without a line feed", "# routing table\n" + entry_d, used_d},
        {"malformed last line without a line feed", "B 12345678 D 1 7 6 R", invalid},
        {"CRLF line ends", "# routing table\r\n\r\n     \r\n" + entry_d + "\r\n", used_d},
        {"CRLF line ends, P entry", "# routing table\r\n" + entry_a + "\r\n", used_a},
        {"a carriage return not directly before the line feed stays: line of one CR", "\r\r\n" + entry_d + "\n",
         invalid},
        {"a carriage return at the start of an entry stays: token 1 begins with it", "\r" + entry_d + "\n", invalid},
        {"255 characters before the line feed", padded(entry_d, 255) + "\n", used_d},
        {"255 characters, then CR LF", padded(entry_d, 255) + "\r\n", used_d},
        {"255 characters and a kept CR make 256", padded(entry_d, 255) + "\r\r\n", invalid},
        {"256 characters before the line feed", padded(entry_d, 256) + "\n", invalid},
        {"254 characters, last line without a line feed", padded(entry_d, 254), used_d},
        {"255 characters, last line without a line feed", padded(entry_d, 255), used_d},
        {"256 characters, last line without a line feed", padded(entry_d, 256), invalid},
        {"leading blanks inside the limit", std::string(200, ' ') + entry_d + "\n", used_d},
        {"a long line is not cut into pieces: the entry after 255 blanks is not read alone",
         std::string(255, ' ') + entry_d + "\n", invalid},
        {"a long comment is malformed too", "#" + std::string(299, 'x') + "\n" + entry_d + "\n", invalid},
        {"a long line of blanks only", std::string(300, ' ') + "\n" + entry_d + "\n", invalid},
        {"a long line after the matching entry is never read", entry_d + "\n" + std::string(300, 'x') + "\n", used_d},
    };
    run_table_rows(rows, std::size(rows));
}

TEST(ExceptionTableRead, NulAndCtrlZ) {
    const table_row rows[] = {
        {"a line that is a NUL alone", nul + "\n" + entry_d + "\n", invalid},
        {"a NUL at the start of the entry", nul + entry_d + "\n", invalid},
        {"a NUL at the end of the entry", entry_d + nul + "\n", invalid},
        {"a NUL inside a comment", "# routing" + nul + " table\n" + entry_d + "\n", invalid},
        {"a NUL among blanks", "   " + nul + "   \n" + entry_d + "\n", invalid},
        {"a NUL line after the matching entry is never read", entry_d + "\n" + nul + "\n", used_d},
        {"Ctrl-Z after the last line", entry_d + "\n" + ctrl_z, used_d},
        {"Ctrl-Z first: the table is empty", ctrl_z + entry_d + "\n", normal},
        {"Ctrl-Z hides a malformed line", "# routing table\n" + ctrl_z + "\nB bad\n", normal},
        {"Ctrl-Z inside a comment ends the table", "# routing" + ctrl_z + " table\n" + entry_d + "\n", normal},
        {"Ctrl-Z right after an entry ends its line and the table", entry_d + ctrl_z + "junk\n", used_d},
        {"Ctrl-Z inside an entry cuts it to five tokens", "B 123456780 D 1 7" + ctrl_z + " 6 R\n", invalid},
    };
    run_table_rows(rows, std::size(rows));
}

// ---------------------------------------------------------------------------
// Matching the transit number.

TEST(ExceptionTableRead, TransitMatching) {
    const struct {
        const char* why;
        const char* transit;
        std::string table;
        outcome want;
        int transit_status;  // -1: not looked at
    } rows[] = {
        {"a failed check digit does not stop a match", "123456789", "B 123456789 D 1 7 6 R\n", used_d, ST_INVALID},
        {"entry in lower case for another transit number", "987654320", "p 987654320 a 1 0 4 l\n", used_a, ST_OK},
        {"the same entry in capitals", "987654320", "P 987654320 A 1 0 4 L\n", used_a, ST_OK},
        {"dash written d in the entry is upper-cased and never matches", "12345d678", "B 12345d678 D 1 7 6 R\n", normal,
         ST_OK},
        {"dash written D never matches", "12345d678", "B 12345D678 D 1 7 6 R\n", normal, ST_OK},
        {"short transit matches no entry", "12345678", entry_d + "\n", normal, -1},
        {"short transit: the table is still read to its end", "12345678", entry_d + "\nB bad\n", invalid, -1},
        {"short transit: an eight-character routing number is malformed", "12345678", "B 12345678 D 1 7 6 R\n", invalid,
         -1},
        {"another transit number passes over the entry", "987654320", entry_d + "\n", normal, ST_OK},
    };
    micr_test::temp_dir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.why) + " | transit " + row.transit);
        const micr_result r = parse_with_table(row.table, line_with("001234 5678901o", row.transit));
        expect_outcome(r, row.want);
        EXPECT_STREQ(r.transit, row.transit);
        if (row.transit_status >= 0)
            expect_field("transit", r.transit, r.transit_status, {row.transit, row.transit_status});
    }
}

// ---------------------------------------------------------------------------
// Opening the table, and reading it afresh on every parse.

TEST(ExceptionTableOpen, NoTableMeansNoSplitAtAll) {
    micr_test::temp_dir dir;
    // Fields the default split would fill: account 123456789, csn 1234.
    for (const char* onus : {"123456789o 1234", "001234 5678901o", "123456789o 12 3456"}) {
        SCOPED_TRACE(onus);
        const micr_result r = micr_test::parse_reading_order(line_with(onus));
        EXPECT_EQ(r.status, 0);
        expect_state(r.exception_state, EX_OPEN_ERR);
        expect_field("account", r.account, r.account_status, missing);
        expect_field("csn", r.csn, r.csn_status, missing);
        expect_field("tpc", r.tpc, r.tpc_status, missing);
    }
}

TEST(ExceptionTableOpen, ADirectoryNamedLikeTheTableCannotBeRead) {
    micr_test::temp_dir dir;
    std::filesystem::create_directory("PARSE.DAT");
    expect_outcome(micr_test::parse_reading_order(table_line), open_error);
}

TEST(ExceptionTableOpen, TheTableIsReadAfreshOnEveryParse) {
    micr_test::temp_dir dir;
    expect_outcome(parse_with_table(entry_d + "\n", table_line), used_d);
    expect_outcome(parse_with_table(entry_a + "\n", table_line), used_a);
    expect_outcome(parse_with_table("# no entries\n", table_line), normal);
    expect_outcome(parse_with_table("B bad\n", table_line), invalid);
    std::filesystem::remove("PARSE.DAT");
    expect_outcome(micr_test::parse_reading_order(table_line), open_error);
    std::filesystem::create_directory("PARSE.DAT");
    expect_outcome(micr_test::parse_reading_order(table_line), open_error);
    std::filesystem::remove("PARSE.DAT");
    expect_outcome(parse_with_table(entry_d + "\n", table_line), used_d);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The index of a table read once: its work per look-up must not depend on
// which routing numbers the table holds, however they were chosen.

// Routing numbers that all landed in a handful of neighbouring slots of the
// index this project used to have (Fibonacci hashing of the nine digits into
// 2^18 slots): today's crafted attack on it.
std::vector<std::uint32_t> crowding_numbers(std::size_t count) {
    constexpr std::uint32_t multiplier = 0x9E3779B1u;
    std::uint32_t inverse = multiplier;  // Newton's iteration for the inverse mod 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2u - multiplier * inverse;
    std::vector<std::uint32_t> numbers;
    for (std::uint32_t h = 0; numbers.size() < count; ++h) {
        const std::uint32_t key = h * inverse;  // key * multiplier == h: high bits all zero
        if (key < 1000000000u) numbers.push_back(key);
    }
    return numbers;
}

std::string nine_digits(std::uint32_t key) {
    char text[16];
    std::snprintf(text, sizeof text, "%09u", key);
    return text;
}

struct probe_count {
    double mean_present;
    double mean_absent;
    std::size_t lost;  // numbers added that a look-up does not find
};

probe_count index_probes(const std::vector<std::uint32_t>& keys) {
    micr::table_index index;
    const micr::text_line info;
    long number = 0;
    for (const std::uint32_t key : keys)
        index.add(micr::judge_table_line(("B " + nine_digits(key) + " A 1 0 4 L").c_str(), info), ++number);
    double present = 0, absent = 0;
    std::size_t lost = 0;
    std::uint32_t step = 0;
    for (const std::uint32_t key : keys) {
        present += static_cast<double>(index.probes(nine_digits(key)));
        // Beside each number, one the table lacks: all different, even where the numbers repeat.
        absent += static_cast<double>(index.probes(nine_digits((key + 500000000u + ++step) % 1000000000u)));
        if (index.find(nine_digits(key)) == nullptr) ++lost;
    }
    return {present / static_cast<double>(keys.size()), absent / static_cast<double>(keys.size()), lost};
}

TEST(TableIndex, ProbesPerLookUpDoNotGrowWithChosenNumbers) {
    const auto sequential = [](std::size_t n) {
        std::vector<std::uint32_t> keys(n);
        for (std::size_t i = 0; i < n; ++i)
            keys[i] = 123000000u + static_cast<std::uint32_t>(i);  // shared leading digits
        return keys;
    };
    const auto repeated = [](std::size_t n) { return std::vector<std::uint32_t>(n, 123456780u); };
    const struct {
        const char* why;
        std::vector<std::uint32_t> (*make)(std::size_t);
    } sets[] = {
        {"numbers that crowded the old index", crowding_numbers},
        {"consecutive numbers sharing their first digits", sequential},
        {"one number repeated", repeated},
    };
    for (const auto& set : sets) {
        SCOPED_TRACE(set.why);
        std::vector<std::uint32_t> keys = set.make(80000);
        const probe_count large = index_probes(keys);
        keys.resize(20000);
        const probe_count small = index_probes(keys);
        // Linear probing at most half full averages 1.5 probes for a number
        // present; the filter turns nearly every absent one away before any
        // slot is read.  Every number added is found, through every growth
        // of the index and its filter.
        EXPECT_LT(large.mean_present, 3.0);
        EXPECT_LT(large.mean_absent, 0.5);
        EXPECT_EQ(large.lost, 0u);
        EXPECT_EQ(small.lost, 0u);
        EXPECT_LT(large.mean_present, small.mean_present + 1.0) << "the work grows with the table";
        EXPECT_LT(large.mean_absent, small.mean_absent + 2.0) << "the work grows with the table";
    }
}

}  // namespace
