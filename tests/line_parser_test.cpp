// The line parser: field by field over the reversed code line, the early
// stops, the transit tests, and the finish of a completed parse.
//
// Lines are written here in reading order (as printed); parse_reading_order
// hands the parser the reversed text in a buffer of exactly its size.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "parse_steps.h"
#include "test_support.h"

namespace {

struct field {
    signed char status;
    const char* text;
};

constexpr field missing{ST_MISSING, ""};
constexpr field ok(const char* text) { return {ST_OK, text}; }

struct line_case {
    const char* why;
    const char* line;  // reading order
    int status = 0;
    int unrecognized = 0;
    field amount = missing;
    field onus = missing;
    field transit = missing;
    field epc = missing;
    field auxonus = missing;
    // With an empty table the default split runs on every completed parse;
    // rows whose split result is not the point of the row leave it unchecked.
    bool check_split = true;
    field account = missing;
    field csn = missing;
    field tpc = missing;
};

void expect_field(const char* name, signed char status, const char* text, const field& expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(status, expected.status) << micr_status_name(status) << " instead of "
                                       << micr_status_name(expected.status);
    EXPECT_STREQ(text, expected.text);
}

void expect_result(const micr_result& r, const line_case& c, int exception_state) {
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.exception_state, exception_state) << micr_exception_state_name(r.exception_state);
    EXPECT_EQ(r.unrecognized_symbols, c.unrecognized);
    expect_field("amount", r.amount_status, r.amount, c.amount);
    expect_field("onus", r.onus_status, r.onus, c.onus);
    expect_field("transit", r.transit_status, r.transit, c.transit);
    expect_field("epc", r.epc_status, r.epc, c.epc);
    expect_field("auxonus", r.auxonus_status, r.auxonus, c.auxonus);
    if (c.check_split) {
        expect_field("account", r.account_status, r.account, c.account);
        expect_field("csn", r.csn_status, r.csn, c.csn);
        expect_field("tpc", r.tpc_status, r.tpc, c.tpc);
    }
}

// Every test of the parser runs in a directory whose PARSE.DAT is empty: the
// table is read, holds no entry, and the default split runs.
class LineParser : public ::testing::Test {
protected:
    void SetUp() override { micr_test::write_file("PARSE.DAT", ""); }
    micr_test::temp_dir dir_;
};

// The line o001234o t123456780t 12345678o1001 a0000012345a and its variants.
// 123456780 passes the check digit: 3(1+4+7) + 7(2+5+8) + (3+6+0) = 150.
// Its on-us field splits into account 12345678 (section 1) and csn 1001 (the
// lone four-digit group of section 0).
constexpr field amount_12345{ST_OK, "0000012345"};
constexpr field transit_ok{ST_OK, "123456780"};

const std::vector<line_case>& completed_lines() {
    static const std::vector<line_case> rows = {
        {.why = "every field; no external processing code",
         .line = "o001234o t123456780t 12345678o1001 a0000012345a",
         .amount = amount_12345,
         .onus = ok("12345678o1001"),
         .transit = transit_ok,
         .auxonus = ok("001234"),
         .account = ok("12345678"),
         .csn = ok("1001")},
        {.why = "external processing code 5",
         .line = "o001234o 5 t123456780t 12345678o1001 a0000012345a",
         .amount = amount_12345,
         .onus = ok("12345678o1001"),
         .transit = transit_ok,
         .epc = ok("5"),
         .auxonus = ok("001234"),
         .account = ok("12345678"),
         .csn = ok("1001")},
        {.why = "external processing code between blanks on both sides",
         .line = "o001234o   7   t123456780t 12345678o1001 a0000012345a",
         .amount = amount_12345,
         .onus = ok("12345678o1001"),
         .transit = transit_ok,
         .epc = ok("7"),
         .auxonus = ok("001234"),
         .account = ok("12345678"),
         .csn = ok("1001")},
        {.why = "external processing code against both symbols",
         .line = "o001234o0t123456780t 12345678o1001 a0000012345a",
         .amount = amount_12345,
         .onus = ok("12345678o1001"),
         .transit = transit_ok,
         .epc = ok("0"),
         .auxonus = ok("001234"),
         .account = ok("12345678"),
         .csn = ok("1001")},
        {.why = "external processing code at the left-hand end of the line",
         .line = "9 t123456780t 12345678o",
         .onus = ok("12345678"),
         .transit = transit_ok,
         .epc = ok("9"),
         .account = ok("12345678")},
        {.why = "closing on-us symbol removed; no epc, no auxiliary field",
         .line = "t123456780t 12345678o a0000012345a",
         .amount = amount_12345,
         .onus = ok("12345678"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "no amount field",
         .line = "t123456780t 12345678o",
         .onus = ok("12345678"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "blanks only left of the transit field",
         .line = "    t123456780t 12345678o",
         .onus = ok("12345678"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "on-us field of the on-us symbol alone: empty but present",
         .line = "t123456780t o a0000012345a",
         .amount = amount_12345,
         .onus = ok(""),
         .transit = transit_ok},
        {.why = "on-us symbol alone with blanks left of it",
         .line = "t123456780t   o",
         .onus = ok(""),
         .transit = transit_ok},
        {.why = "only one closing on-us symbol is removed",
         .line = "t123456780t 12345678oo",
         .onus = ok("12345678o"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "two on-us symbols alone leave one", .line = "t123456780t oo", .onus = ok("o"), .transit = transit_ok},
        {.why = "blank between the number and the closing on-us symbol is trimmed",
         .line = "t123456780t   12345678 o",
         .onus = ok("12345678"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "on-us symbol inside the field stays, inner blanks stay",
         .line = "t123456780t 123 456o 78 a0000012345a",
         .amount = amount_12345,
         .onus = ok("123 456o 78"),
         .transit = transit_ok,
         .account = ok("123 456"),
         .tpc = ok("78")},
        {.why = "on-us field of exactly 25 characters, blank included",
         .line = "t123456780t 12345678901234567890123o",
         .onus = ok("12345678901234567890123"),
         .transit = transit_ok,
         .account = {ST_TOOLONG, "2345678901234567890123"}},
        {.why = "on-us field of 25 digits and symbol: the account is longer than its field",
         .line = "t123456780t123456789012345678901234o",
         .onus = ok("123456789012345678901234"),
         .transit = transit_ok,
         .account = {ST_TOOLONG, "3456789012345678901234"}},
        {.why = "amount of 16 digits",
         .line = "t123456780t 12345678o a1234567890123456a",
         .amount = ok("1234567890123456"),
         .onus = ok("12345678"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "amount of one digit",
         .line = "t123456780t 12345678o a5a",
         .amount = ok("5"),
         .onus = ok("12345678"),
         .transit = transit_ok,
         .account = ok("12345678")},
        {.why = "auxiliary on-us field keeps its blanks and dash symbols",
         .line = "o 12d34 o t123456780t 12345678o",
         .onus = ok("12345678"),
         .transit = transit_ok,
         .auxonus = ok(" 12d34 "),
         .account = ok("12345678"),
         .csn = ok(" 12d34 ")},
        {.why = "auxiliary on-us field of exactly 21 characters",
         .line = "o123456789012345678901o t123456780t 12345678o",
         .onus = ok("12345678"),
         .transit = transit_ok,
         .auxonus = ok("123456789012345678901"),
         .account = ok("12345678"),
         .csn = {ST_TOOLONG, "23456789012345678901"}},
        {.why = "characters left of the auxiliary field are ignored, its mark still counts",
         .line = "zz?9t o001234o t123456780t 12345678o",
         .unrecognized = 1,
         .onus = ok("12345678"),
         .transit = transit_ok,
         .auxonus = ok("001234"),
         .account = ok("12345678"),
         .csn = ok("001234")},
        // The transit tests mark the field and do not stop the parse.
        {.why = "transit failing the check digit",
         .line = "o001234o t123456789t 12345678o1001 a0000012345a",
         .amount = amount_12345,
         .onus = ok("12345678o1001"),
         .transit = {ST_INVALID, "123456789"},
         .auxonus = ok("001234"),
         .account = ok("12345678"),
         .csn = ok("1001")},
        {.why = "dash fourth from the right",
         .line = "t12345d678t 12345678o",
         .onus = ok("12345678"),
         .transit = ok("12345d678"),
         .account = ok("12345678")},
        {.why = "dash fifth from the right",
         .line = "t1234d5678t 12345678o",
         .onus = ok("12345678"),
         .transit = ok("1234d5678"),
         .account = ok("12345678")},
        {.why = "dash sixth from the right",
         .line = "t123d45678t 12345678o",
         .onus = ok("12345678"),
         .transit = {ST_INVALID, "123d45678"},
         .account = ok("12345678")},
        {.why = "dash third from the right",
         .line = "t123456d78t 12345678o",
         .onus = ok("12345678"),
         .transit = {ST_INVALID, "123456d78"},
         .account = ok("12345678")},
        {.why = "two dashes, one of them in a good place",
         .line = "t1234dd678t 12345678o",
         .onus = ok("12345678"),
         .transit = {ST_INVALID, "1234dd678"},
         .account = ok("12345678")},
        {.why = "two dashes apart",
         .line = "t12d45d678t 12345678o",
         .onus = ok("12345678"),
         .transit = {ST_INVALID, "12d45d678"},
         .account = ok("12345678")},
        {.why = "short number with the dash fourth from the right: no other test",
         .line = "td678t 12345678o",
         .onus = ok("12345678"),
         .transit = ok("d678"),
         .account = ok("12345678")},
        {.why = "short number whose dash is only third from the right",
         .line = "td78t 12345678o",
         .onus = ok("12345678"),
         .transit = {ST_INVALID, "d78"},
         .account = ok("12345678")},
        {.why = "short number without dash",
         .line = "t12345678t 12345678o",
         .onus = ok("12345678"),
         .transit = {ST_INVALID, "12345678"},
         .account = ok("12345678")},
    };
    return rows;
}

// Early stops: status 1, no table lookup, no split, texts as scanned.
const std::vector<line_case>& stopped_lines() {
    static const std::vector<line_case> rows = {
        {.why = "empty text", .line = "", .status = 1},
        {.why = "blanks only", .line = "   ", .status = 1},
        {.why = "amount field alone", .line = "a0000012345a", .status = 1, .amount = amount_12345},
        {.why = "amount field with blanks left of it", .line = "    a0000012345a", .status = 1, .amount = amount_12345},
        // Stopped at the amount scan: nothing else is filled.
        {.why = "amount of 17 digits keeps the 16 met first",
         .line = "t123456780t 12345678o a12345678901234567a",
         .status = 1,
         .amount = {ST_TOOLONG, "2345678901234567"}},
        {.why = "amount of 20 digits",
         .line = "a12345678901234567890a",
         .status = 1,
         .amount = {ST_TOOLONG, "5678901234567890"}},
        // Scan order: 54321, blank, o87654321, blank: 16 characters, the transit symbol is the 17th.
        {.why = "amount without its left-hand symbol runs on into the line",
         .line = "t123456780t 12345678o 12345a",
         .status = 1,
         .amount = {ST_TOOLONG, " 12345678o 12345"}},
        {.why = "amount without its left-hand symbol, short line",
         .line = "12345678o 12345a",
         .status = 1,
         .amount = {ST_NOTERM, "12345678o 12345"}},
        {.why = "transit symbol inside the amount", .line = "a1t2a", .status = 1, .amount = {ST_INVALID, "1t2"}},
        {.why = "amount running into the end", .line = "12345a", .status = 1, .amount = {ST_NOTERM, "12345"}},
        {.why = "amount symbol alone", .line = "a", .status = 1},
        {.why = "two amount symbols", .line = "t123456780t 12345678o aa", .status = 1},
        {.why = "amount with a mark",
         .line = "t123456780t 12345678o a12?4a",
         .status = 1,
         .unrecognized = 1,
         .amount = {ST_UNRECOG, "12?4"}},
        {.why = "amount: the mark is met before the x",
         .line = "a1x?4a",
         .status = 1,
         .unrecognized = 1,
         .amount = {ST_UNRECOG, "1x?4"}},
        {.why = "amount: the x is met before the mark",
         .line = "a1?x4a",
         .status = 1,
         .unrecognized = 1,
         .amount = {ST_INVALID, "1?x4"}},
        {.why = "blank inside the amount",
         .line = "t123456780t 12345678o a12 4a",
         .status = 1,
         .amount = {ST_INVALID, "12 4"}},
        {.why = "mark behind a not-terminated amount",
         .line = "?12345a",
         .status = 1,
         .unrecognized = 1,
         .amount = {ST_NOTERM, "?12345"}},
        // Stopped where the on-us field should begin.
        {.why = "amount symbol right against the transit field",
         .line = "t123456780ta0000012345a",
         .status = 1,
         .amount = amount_12345},
        {.why = "only blanks between amount and transit",
         .line = "t123456780t   a0000012345a",
         .status = 1,
         .amount = amount_12345},
        // Stopped at the on-us scan.
        {.why = "mark in the on-us field: the transit is not scanned",
         .line = "o001234o t123456780t 1234?678o1001 a0000012345a",
         .status = 1,
         .unrecognized = 1,
         .amount = amount_12345,
         .onus = {ST_UNRECOG, " 1234?678o1001"}},
        {.why = "letter in the on-us field",
         .line = "t123456780t 1234x678o",
         .status = 1,
         .onus = {ST_INVALID, " 1234x678o"}},
        {.why = "blank after the closing amount symbol: the on-us scan meets it",
         .line = "t123456780t 12345678o a0000012345a ",
         .status = 1,
         .onus = {ST_INVALID, " 12345678o a0000012345a"}},
        {.why = "blank after the closing amount symbol, more than 25 before the transit symbol",
         .line = "t123456780t 1234567890123o a0000012345a ",
         .status = 1,
         .onus = {ST_TOOLONG, "234567890123o a0000012345a"}},
        {.why = "on-us field without a transit field",
         .line = "12345678o a0000012345a",
         .status = 1,
         .amount = amount_12345,
         .onus = {ST_NOTERM, "12345678o"}},
        {.why = "on-us field of 26: the blank left of it counts",
         .line = "t123456780t 123456789012345678901234o",
         .status = 1,
         .onus = {ST_TOOLONG, " 123456789012345678901234o"}},
        {.why = "on-us field of 26 digits and symbols, more characters behind",
         .line = "t123456780t9991234567890123456789012345o",
         .status = 1,
         .onus = {ST_TOOLONG, "1234567890123456789012345o"}},
        // Stopped at the transit scan: the on-us text is neither trimmed nor stripped.
        {.why = "transit without its left-hand symbol",
         .line = "123456780t   12345678o a0000012345a",
         .status = 1,
         .amount = amount_12345,
         .onus = {ST_OK, "   12345678o"},
         .transit = {ST_NOTERM, "123456780"}},
        {.why = "two transit symbols", .line = "tt 12345678o", .status = 1, .onus = {ST_OK, " 12345678o"}},
        {.why = "mark in the transit",
         .line = "t1234?6780t 12345678o",
         .status = 1,
         .unrecognized = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = {ST_UNRECOG, "1234?6780"}},
        {.why = "letter in the transit",
         .line = "t12x456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = {ST_INVALID, "12x456780"}},
        {.why = "transit of 10 keeps the 9 met first",
         .line = "t1234567890t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = {ST_TOOLONG, "234567890"}},
        {.why = "blank after the transit symbol with nine digits: too long",
         .line = "t 123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = {ST_TOOLONG, "123456780"}},
        {.why = "blank after the transit symbol with eight digits: invalid",
         .line = "t 12345678t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = {ST_INVALID, " 12345678"}},
        {.why = "blank before the closing transit symbol",
         .line = "t12345678 t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = {ST_INVALID, "12345678 "}},
        // Stopped where the auxiliary on-us field must begin.
        {.why = "two epc digits: the one next to the transit field is taken",
         .line = "o001234o 45 t123456780t 12345678o1001 a0000012345a",
         .status = 1,
         .amount = amount_12345,
         .onus = {ST_OK, " 12345678o1001"},
         .transit = transit_ok,
         .epc = ok("5"),
         .auxonus = {ST_INVALID, ""}},
        {.why = "stray character, the transit already tested and failed",
         .line = "o001234o 45 t123456789t 12345678o1001 a0000012345a",
         .status = 1,
         .amount = amount_12345,
         .onus = {ST_OK, " 12345678o1001"},
         .transit = {ST_INVALID, "123456789"},
         .epc = ok("5"),
         .auxonus = {ST_INVALID, ""}},
        {.why = "dash symbol where the epc or the auxiliary field could stand",
         .line = "d t123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .auxonus = {ST_INVALID, ""}},
        {.why = "unreadable mark there",
         .line = "? t123456780t 12345678o",
         .status = 1,
         .unrecognized = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .auxonus = {ST_INVALID, ""}},
        {.why = "amount symbol there",
         .line = "a t123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .auxonus = {ST_INVALID, ""}},
        // Stopped at the auxiliary on-us scan.
        {.why = "auxiliary field without its left-hand symbol",
         .line = "001234o t123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .auxonus = {ST_NOTERM, "001234"}},
        {.why = "two adjacent on-us symbols",
         .line = "oo t123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok},
        {.why = "auxiliary field of 22",
         .line = "o1234567890123456789012o t123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .auxonus = {ST_TOOLONG, "1234567890123456789012"}},
        {.why = "mark in the auxiliary field",
         .line = "o12?4o 3 t123456780t 12345678o",
         .status = 1,
         .unrecognized = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .epc = ok("3"),
         .auxonus = {ST_UNRECOG, "12?4"}},
        {.why = "transit symbol in the auxiliary field",
         .line = "o12t4o t123456780t 12345678o",
         .status = 1,
         .onus = {ST_OK, " 12345678o"},
         .transit = transit_ok,
         .auxonus = {ST_INVALID, "12t4"}},
    };
    return rows;
}

TEST_F(LineParser, CompletedParses) {
    for (const line_case& c : completed_lines()) {
        SCOPED_TRACE(std::string(c.why) + ": " + c.line);
        expect_result(micr_test::parse_reading_order(c.line), c, EX_NORMAL);
    }
}

TEST_F(LineParser, EarlyStops) {
    for (const line_case& c : stopped_lines()) {
        SCOPED_TRACE(std::string(c.why) + ": " + c.line);
        ASSERT_TRUE(c.check_split);  // an early stop never splits: all three stay missing
        expect_result(micr_test::parse_reading_order(c.line), c, EX_NORMAL);
    }
}

// The parser must only read its text: hand it one on a read-only page that
// ends right behind the terminator, followed by a page that cannot be touched.
TEST_F(LineParser, TextIsOnlyReadAndNeverPastItsTerminator) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* memory = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    char* const base = static_cast<char*>(memory);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    for (const std::vector<line_case>* rows : {&completed_lines(), &stopped_lines()}) {
        for (const line_case& c : *rows) {
            SCOPED_TRACE(c.line);
            const std::string line = c.line;
            const std::string reversed(line.rbegin(), line.rend());
            char* const text = base + page - reversed.size() - 1;
            ASSERT_EQ(mprotect(base, page, PROT_READ | PROT_WRITE), 0);
            std::memcpy(text, reversed.c_str(), reversed.size() + 1);
            ASSERT_EQ(mprotect(base, page, PROT_READ), 0);
            const micr_result* r = parse_micr_line(text);
            EXPECT_EQ(r->status, c.status);
            EXPECT_EQ(std::string(text), reversed);
        }
    }
    munmap(memory, 2 * page);
}

// Without PARSE.DAT every completed parse reports the open error and splits
// nothing; early stops never reach the table.
TEST(LineParserWithoutTable, CompletedParsesReportTheOpenErrorAndSplitNothing) {
    micr_test::temp_dir dir;
    for (const line_case& c : completed_lines()) {
        SCOPED_TRACE(std::string(c.why) + ": " + c.line);
        line_case expected = c;
        expected.account = expected.csn = expected.tpc = missing;
        expect_result(micr_test::parse_reading_order(c.line), expected, EX_OPEN_ERR);
    }
    for (const line_case& c : stopped_lines()) {
        SCOPED_TRACE(std::string(c.why) + ": " + c.line);
        expect_result(micr_test::parse_reading_order(c.line), c, EX_NORMAL);
    }
}

// ---------------------------------------------------------------------------
// check_transit on its own, on the transit text as the scan leaves it.

struct transit_row {
    const char* why;
    const char* number;  // reading order
    signed char status;
};

TEST(CheckTransit, DashRuleAndCheckDigit) {
    const transit_row rows[] = {
        {"weighted sum 150", "123456780", ST_OK},
        {"last digit off by one", "123456789", ST_INVALID},
        {"all zeros: sum 0", "000000000", ST_OK},
        {"a routing number in use (sum 30)", "021000021", ST_OK},
        {"another (sum 20)", "011000015", ST_OK},
        {"another (sum 70)", "121000358", ST_OK},
        {"one digit changed", "021000022", ST_INVALID},
        {"two digits swapped", "012000021", ST_INVALID},
        // Weights 3 7 1 from the left; the mirror image 1 7 3 must not pass for them.
        {"3 * 3 + 1 * 1 = 10", "300000001", ST_OK},
        {"3 * 1 + 1 * 3 = 6", "100000003", ST_INVALID},
        {"7 * 1 + 1 * 3 = 10", "013000000", ST_OK},
        {"3 * 3 + 7 * 1 = 16", "310000000", ST_INVALID},
        {"dash fourth from the right", "12345d678", ST_OK},
        {"dash fifth from the right", "1234d5678", ST_OK},
        {"dash sixth from the right", "123d45678", ST_INVALID},
        {"dash third from the right", "123456d78", ST_INVALID},
        {"dash at the right-hand end", "12345678d", ST_INVALID},
        {"dash at the left-hand end", "d12345678", ST_INVALID},
        {"dash fourth, check digit not tested", "99999d999", ST_OK},
        {"two dashes", "1234dd678", ST_INVALID},
        {"two dashes apart", "12d45d678", ST_INVALID},
        {"dashes only", "ddddddddd", ST_INVALID},
        {"short, dash fourth from the right", "d678", ST_OK},
        {"short, dash fifth from the right", "d5678", ST_OK},
        {"short, dash third from the right", "d78", ST_INVALID},
        {"dash alone", "d", ST_INVALID},
    };
    micr_result r;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.why) + ": " + row.number);
        micr::clear_result(r);
        std::strcpy(r.transit, row.number);
        r.transit_status = ST_OK;
        micr::check_transit(r);
        EXPECT_EQ(r.transit_status, row.status);
        EXPECT_STREQ(r.transit, row.number) << "the transit text changed";
    }
}

// Fewer than nine characters and no dash: invalid, whatever the bytes behind
// the terminator hold (they are left over from earlier parses).
TEST(CheckTransit, ShortNumberWithoutDashIsInvalidWhateverFollowsTheText) {
    const struct {
        const char* why;
        const char* number;  // reading order
    } rows[] = {
        {"one digit", "0"},
        {"eight digits", "23456780"},
        // Counting the terminator as 0 - '0' would give 1 * 8 - 48 = -40, a multiple of 10.
        {"eight digits that pass if the terminator entered the sum", "00800000"},
        {"seven digits", "3456780"},
    };
    const char* leftovers[] = {"000000000", "999999999", "087654321", "ddddddddd"};
    micr_result r;
    for (const auto& row : rows) {
        for (const char* leftover : leftovers) {
            SCOPED_TRACE(std::string(row.why) + ", behind it: " + leftover);
            micr::clear_result(r);
            std::memcpy(r.transit, leftover, std::strlen(leftover) + 1);
            std::memcpy(r.transit, row.number, std::strlen(row.number) + 1);
            r.transit_status = ST_OK;
            micr::check_transit(r);
            EXPECT_EQ(r.transit_status, ST_INVALID);
        }
    }
}

// A short number after a parse that left a passing number in the buffer.
TEST_F(LineParser, ShortTransitAfterAPassingOne) {
    micr_test::parse_reading_order("t123456780t 12345678o");
    const micr_result r = micr_test::parse_reading_order("t23456780t 12345678o");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.transit_status, ST_INVALID);
    EXPECT_STREQ(r.transit, "23456780");
}

// ---------------------------------------------------------------------------
// Every prefix of the reversed text (the line cut short at its left-hand end)
// and every prefix of the line itself, each in a buffer of exactly its size.

bool terminated_within(const char* text, std::size_t size) { return std::memchr(text, '\0', size) != nullptr; }

void check_invariants(const micr_result& r, const std::string& line) {
    EXPECT_TRUE(r.status == 0 || r.status == 1);
    EXPECT_EQ(r.exception_state, EX_NORMAL);
    EXPECT_EQ(r.unrecognized_symbols, line.find('?') != std::string::npos ? 1 : 0);
    const struct {
        const char* name;
        signed char status;
        const char* text;
        std::size_t size;
    } fields[] = {
        {"amount", r.amount_status, r.amount, sizeof r.amount},
        {"account", r.account_status, r.account, sizeof r.account},
        {"tpc", r.tpc_status, r.tpc, sizeof r.tpc},
        {"csn", r.csn_status, r.csn, sizeof r.csn},
        {"transit", r.transit_status, r.transit, sizeof r.transit},
        {"epc", r.epc_status, r.epc, sizeof r.epc},
        {"onus", r.onus_status, r.onus, sizeof r.onus},
        {"auxonus", r.auxonus_status, r.auxonus, sizeof r.auxonus},
    };
    for (const auto& f : fields) {
        SCOPED_TRACE(f.name);
        EXPECT_GE(f.status, ST_OK);
        EXPECT_LE(f.status, ST_NOTERM);
        ASSERT_TRUE(terminated_within(f.text, f.size));
        if (f.status == ST_MISSING) {
            EXPECT_STREQ(f.text, "");
        }
    }
    if (r.status == 0) {
        EXPECT_EQ(r.onus_status, ST_OK);
        EXPECT_TRUE(r.amount_status == ST_OK || r.amount_status == ST_MISSING);
        EXPECT_TRUE(r.transit_status == ST_OK || r.transit_status == ST_INVALID);
        EXPECT_TRUE(r.epc_status == ST_OK || r.epc_status == ST_MISSING);
        EXPECT_TRUE(r.auxonus_status == ST_OK || r.auxonus_status == ST_MISSING);
        const std::string onus = r.onus;
        if (!onus.empty()) {
            EXPECT_NE(onus.front(), ' ') << "on-us text not trimmed";
            EXPECT_NE(onus.back(), ' ') << "on-us text not trimmed";
        }
    } else {
        EXPECT_EQ(r.account_status, ST_MISSING);
        EXPECT_EQ(r.csn_status, ST_MISSING);
        EXPECT_EQ(r.tpc_status, ST_MISSING);
    }
}

TEST_F(LineParser, EveryPrefixKeepsTheInvariants) {
    const char* lines[] = {
        "o001234o t123456780t 12345678o1001 a0000012345a",
        "o001234o 5 t123456780t 12345678o1001 a0000012345a",
        "o 12d34 o 0 t12345d678t   123 456o 78 a1234567890123456a",
        "zz?9 o1234567890123456789012o t1234567890t 123456789012345678901234567o a12345678901234567a",
        "??o?o?t?t?a?a",
    };
    for (const std::string line : lines) {
        for (std::size_t n = 0; n <= line.size(); ++n) {
            const std::string right_part = line.substr(line.size() - n);  // a prefix of the reversed text
            const std::string left_part = line.substr(0, n);
            for (const std::string& piece : {right_part, left_part}) {
                SCOPED_TRACE("\"" + piece + "\"");
                check_invariants(micr_test::parse_reading_order(piece), piece);
            }
        }
    }
}

}  // namespace
