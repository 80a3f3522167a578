// End-to-end runs of micrtest: the command line, the reading of the test-case
// file, skip messages, the exit status and the report, byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using micr_test::program_run;
using micr_test::read_file;
using micr_test::temp_dir;
using micr_test::write_file;

const std::string micrtest = MICRTEST_PATH;
const std::string data_dir = std::string(MICR_SOURCE_DIR) + "/tests/data";
const std::string skip_prefix = "Skipping malformed test case on line ";

// Status display names, seven characters each.
const std::string OK = "OK     ";
const std::string INVALID = "INVALID";
const std::string MISSING = "MISSING";
const std::string TOOLONG = "TOOLONG";
const std::string UNRECOG = "UNRECOG";
const std::string NOTERM = "NOTERM ";
const std::string UNKNOWN = "???????";

enum class table { none, empty, given };

// Runs micrtest on `cases` written to cases.txt in a fresh directory, which
// holds no PARSE.DAT, an empty one, or `table_text`.
program_run run_cases(const std::string& cases, table t = table::none, const std::string& table_text = "",
                      const std::vector<std::string>& args = {"cases.txt"}) {
    temp_dir dir(false);
    write_file(dir.file("cases.txt"), cases);
    if (t != table::none) write_file(dir.file("PARSE.DAT"), t == table::empty ? "" : table_text);
    return micr_test::run_program(micrtest, args, dir.path());
}

// ---- Expected report text, written with the report's own printf formats ----

std::string printf_line(const char* fmt, const std::string& a, const std::string& b, const std::string& c) {
    char line[1024];
    std::snprintf(line, sizeof line, fmt, a.c_str(), b.c_str(), c.c_str());
    return line;
}

// A field line that agrees.
std::string same(const std::string& label, const std::string& status, const std::string& text) {
    return printf_line(" %10s %s %-25.25s\n", label, status, text);
}

// A marked field line: parsed status and text, then the expected ones.
std::string diff(const std::string& label, const std::string& status, const std::string& text,
                 const std::string& expected_status, const std::string& expected_text) {
    return printf_line("*%10s %s %-25.25s", label, status, text) +
           printf_line("    %s %-25.25s\n", expected_status, expected_text, "");
}

struct block {
    std::string micr, label, description, exception_state = "EX_OPEN_ERR";
    int status = 0, unrecognized = 0;
    std::array<std::string, 8> fields;  // amount, account, tpc, csn, transit, epc, onus, auxonus
};

std::string render(const block& b) {
    const std::string dashes(57, '-');
    std::string s = dashes + "\nMICR line: " + b.micr + "\n" + dashes + "\n";
    s += printf_line(" Exception:        %-3s  %s\n", b.label, b.description, "");
    s += " exception_state:  " + b.exception_state + "\n";
    s += " status: " + std::to_string(b.status) + " unrecognized_symbols: " + std::to_string(b.unrecognized) + "\n";
    for (const std::string& f : b.fields) s += f;
    return s + "\n";
}

// ---- One cheque that parses completely, and its expected values ----

// Transit 987654320 passes its check digit: 3(9+6+3) + 7(8+5+2) + (7+4+0) = 170.
const std::string cheque = "t987654320t 12345678o 0101 a0000012500a";

// The expected values of a test-case line in file order; index names below.
using tail = std::array<std::string, 17>;
enum : std::size_t {
    overall,
    amount,
    amount_st,
    tpc,
    tpc_st,
    csn,
    csn_st,
    account,
    account_st,
    epc,
    epc_st,
    onus,
    onus_st,
    auxonus,
    auxonus_st,
    transit,
    transit_st
};

// What the parser gives for `cheque` when PARSE.DAT cannot be opened: the
// on-us field stays whole and account, serial number and tpc stay missing.
tail cheque_without_table() {
    return {"0", "0000012500",     "0", "", "2", "",          "2", "", "2", "",
            "2", "12345678o 0101", "0", "", "2", "987654320", "0"};
}

std::string test_case(const std::string& label, const std::string& micr, const std::string& description,
                      const tail& t) {
    std::string s = label + "," + micr + "," + description;
    for (const std::string& v : t) s += "," + v;
    return s;
}

std::string cheque_case(const std::string& label, const std::string& description = "agrees") {
    return test_case(label, cheque, description, cheque_without_table());
}

block cheque_block(const std::string& label, const std::string& description = "agrees") {
    block b;
    b.micr = cheque;
    b.label = label;
    b.description = description;
    b.fields = {same("amount:", OK, "0000012500"),   same("account:", MISSING, ""),     same("tpc:", MISSING, ""),
                same("csn:", MISSING, ""),           same("transit:", OK, "987654320"), same("epc:", MISSING, ""),
                same("onus:", OK, "12345678o 0101"), same("auxonus:", MISSING, "")};
    return b;
}

// Expects `out` to be one skip message for `line_number` followed by `rest`.
void expect_skip_then(const std::string& out, long line_number, const std::string& rest) {
    const std::string prefix = skip_prefix + std::to_string(line_number) + ": ";
    ASSERT_EQ(out.compare(0, prefix.size(), prefix), 0) << out;
    const std::size_t end = out.find('\n');
    ASSERT_NE(end, std::string::npos);
    EXPECT_GT(end, prefix.size()) << "the reason is empty";
    EXPECT_EQ(out.substr(end + 1), rest);
}

// ---- Start-up ----

TEST(DriverStartUp, NoArgumentIsRefused) {
    temp_dir dir(false);
    const program_run run = micr_test::run_program(micrtest, {}, dir.path());
    EXPECT_EQ(run.out, "Must give an input filename\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(DriverStartUp, FileThatCannotBeOpenedIsNamed) {
    temp_dir dir(false);
    std::filesystem::create_directory(dir.file("a directory"));
    const std::string long_missing(300, 'm');
    const struct {
        const char* why;
        std::string name;
    } rows[] = {
        {"no such file", "missing.txt"},
        {"a directory is not a test-case file", "a directory"},
        {"an empty name", ""},
        {"a long name is reported whole", long_missing},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = micr_test::run_program(micrtest, {row.name}, dir.path());
        EXPECT_EQ(run.out, "Error opening input file (" + row.name + ")\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, 1);
    }
}

TEST(DriverStartUp, LongFileNamesAreAccepted) {
    temp_dir dir(false);
    const std::string sub(120, 'd');
    std::filesystem::create_directory(dir.file(sub));
    const std::string relative = sub + "/" + std::string(200, 'f') + ".txt";  // well beyond 79 characters
    write_file(dir.file(relative), cheque_case("L") + "\n");
    for (const std::string& name : {relative, dir.file(relative)}) {
        SCOPED_TRACE(name.size());
        const program_run run = micr_test::run_program(micrtest, {name}, dir.path());
        EXPECT_EQ(run.out, render(cheque_block("L")));
        EXPECT_EQ(run.exit_status, 0);
    }
}

// ---- The worked example ----

TEST(DriverReport, PersonalChequeWithoutExceptionTable) {
    const std::string line =
        "1,t987654320t 12345678o 0101 a0000012500a,personal cheque,0,0000012500,0,,2,0101,0,12345678,0,,2,"
        "12345678o 0101,0,,2,987654320,0\n";
    const std::string expected =
        "---------------------------------------------------------\n"
        "MICR line: t987654320t 12345678o 0101 a0000012500a\n"
        "---------------------------------------------------------\n"
        " Exception:        1    personal cheque\n"
        " exception_state:  EX_OPEN_ERR\n"
        " status: 0 unrecognized_symbols: 0\n"
        "    amount: OK      0000012500               \n"
        "*  account: MISSING                              OK      12345678                 \n"
        "       tpc: MISSING                          \n"
        "*      csn: MISSING                              OK      0101                     \n"
        "   transit: OK      987654320                \n"
        "       epc: MISSING                          \n"
        "      onus: OK      12345678o 0101           \n"
        "   auxonus: MISSING                          \n"
        "\n";
    const program_run run = run_cases(line);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 2);  // two lines marked

    // Lines 7 to 14 of the block are the field lines: 45 characters, or 82 when marked.
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(run.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 15u);
    for (std::size_t i = 6; i < 14; ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(lines[i].size(), lines[i][0] == '*' ? 82u : 45u);
    }
    EXPECT_EQ(lines[14], "");
}

// ---- Reading the file ----

struct file_row {
    const char* why;
    std::string file;
    std::string out;
    int exit_status;
    std::string err = "";
};

std::string ctrl_z_notice(int line) {
    return "micrtest: input ends at a Ctrl-Z byte on line " + std::to_string(line) +
           "; the rest of the file is not read\n";
}

void run_rows(const std::vector<file_row>& rows, table t = table::none) {
    for (const file_row& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_cases(row.file, t);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

TEST(DriverFile, LinesAndEndOfFile) {
    const std::string one = render(cheque_block("1"));
    const std::string two = render(cheque_block("2"));
    const std::string c1 = cheque_case("1"), c2 = cheque_case("2");
    run_rows({
        {"empty file: no output", "", "", 0},
        {"comments and empty lines only", "# a comment\n\n#1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20\n\n", "",
         0},
        {"only the first character makes a comment", "#\n" + c1 + "\n", one, 0},
        {"last test case without a line feed is processed", c1 + "\n" + c2, one + two, 0},
        {"the same with a line feed", c1 + "\n" + c2 + "\n", one + two, 0},
        {"Ctrl-Z at the start of a line ends the run", c1 + "\n\x1a" + c2 + "\n", one, 0, ctrl_z_notice(2)},
        {"the part of a line before a Ctrl-Z is the last line", c1 + "\n" + c2 + "\x1agarbage\n" + c1 + "\n", one + two,
         0, ctrl_z_notice(2)},
        {"Ctrl-Z inside a comment", "# note\x1a\n" + c1 + "\n", "", 0, ctrl_z_notice(1)},
        {"a Ctrl-Z as the last byte drops nothing: no notice", c1 + "\n\x1a", one, 0},
        {"a carriage return without a line feed stays in the line: read as white space after the last status",
         c1 + "\r", one, 0},
    });
}

TEST(DriverFile, CarriageReturnLineFeedFileReadsLikeLineFeedFile) {
    const std::string lf = "# comment\n\n" + cheque_case("1") + "\n" + cheque_case("2", "second") + "\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const program_run a = run_cases(lf), b = run_cases(crlf);
    EXPECT_EQ(a.out, render(cheque_block("1")) + render(cheque_block("2", "second")));
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(b.exit_status, 0);

    // Line numbers in skip messages do not change either.
    const std::string bad_lf = "# comment\n\nbad\n";
    const program_run c = run_cases("# comment\r\n\r\nbad\r\n"), d = run_cases(bad_lf);
    EXPECT_EQ(c.out, d.out);
    expect_skip_then(c.out, 3, "");
}

TEST(DriverFile, BlankThenHashIsATestCase) {
    const program_run run = run_cases(cheque_case(" #", "not a comment") + "\n");
    EXPECT_EQ(run.out, render(cheque_block(" #", "not a comment")));
    EXPECT_EQ(run.exit_status, 0);
    // And so a malformed one is reported, not passed over.
    expect_skip_then(run_cases(" # looks like a comment\n").out, 1, "");
}

// ---- Fields of a test-case line ----

struct field_row {
    const char* why;
    std::string line;  // the test-case line, without its line feed
    block expected;
    int exit_status;
};

TEST(DriverFields, ExpectedValuesAndTheirDisplay) {
    std::vector<field_row> rows;
    auto with_tail = [](const std::string& label, auto change) {
        tail t = cheque_without_table();
        change(t);
        return test_case(label, cheque, "agrees", t);
    };
    auto add = [&](const char* why, auto change_tail, auto change_block, int exit_status) {
        block b = cheque_block("x");
        change_block(b);
        rows.push_back({why, with_tail("x", change_tail), b, exit_status});
    };
    auto none = [](auto&) {};

    add("two adjacent commas give an empty expected text", none, none, 0);
    add(
        "expected status 7 is shown as ??????? and marked", [](tail& t) { t[epc_st] = "7"; },
        [](block& b) { b.fields[5] = diff("epc:", MISSING, "", UNKNOWN, ""); }, 2);
    add(
        "expected status 9 likewise", [](tail& t) { t[amount_st] = "9"; },
        [](block& b) { b.fields[0] = diff("amount:", OK, "0000012500", UNKNOWN, "0000012500"); }, 2);
    add(
        "expected status 4 is shown by its name", [](tail& t) { t[auxonus_st] = "4"; },
        [](block& b) { b.fields[7] = diff("auxonus:", MISSING, "", UNRECOG, ""); }, 2);
    add(
        "expected status 5 is shown by its name", [](tail& t) { t[tpc_st] = "5"; },
        [](block& b) { b.fields[2] = diff("tpc:", MISSING, "", NOTERM, ""); }, 2);
    add(
        "expected status 3 is shown by its name", [](tail& t) { t[csn_st] = "3"; },
        [](block& b) { b.fields[3] = diff("csn:", MISSING, "", TOOLONG, ""); }, 2);
    add(
        "a single non-digit status reads as 0", [](tail& t) { t[amount_st] = "x"; }, none, 0);
    add(
        "a blank as status reads as 0", [](tail& t) { t[onus_st] = " "; }, none, 0);
    add(
        "status 1 where the parser gives 0", [](tail& t) { t[onus_st] = "1"; },
        [](block& b) { b.fields[6] = diff("onus:", OK, "12345678o 0101", INVALID, "12345678o 0101"); }, 2);
    add(
        "the expected overall status is neither shown nor compared", [](tail& t) { t[overall] = "7"; }, none, 0);
    add(
        "text after the last status is ignored", [](tail& t) { t[transit_st] = "0,remark, with commas"; }, none, 0);
    add(
        "last status followed by a non-comma", [](tail& t) { t[transit_st] = "0x"; }, none, 0);
    add(
        "last status with blanks ahead of it", [](tail& t) { t[transit_st] = "  0"; }, none, 0);
    add(
        "last status with a sign", [](tail& t) { t[transit_st] = "+0"; }, none, 0);
    add(
        "last status empty reads as 0", [](tail& t) { t[transit_st] = ""; }, none, 0);
    add(
        "last status of several digits keeps its low byte: 256 is 0", [](tail& t) { t[transit_st] = "256"; }, none, 0);
    add(
        "last status 300 keeps its low byte 44", [](tail& t) { t[transit_st] = "300"; },
        [](block& b) { b.fields[4] = diff("transit:", OK, "987654320", UNKNOWN, "987654320"); }, 2);
    add(
        "a negative last status is shown as ???????", [](tail& t) { t[transit_st] = "-1"; },
        [](block& b) { b.fields[4] = diff("transit:", OK, "987654320", UNKNOWN, "987654320"); }, 2);
    add(
        "last status 7", [](tail& t) { t[transit_st] = "7"; },
        [](block& b) { b.fields[4] = diff("transit:", OK, "987654320", UNKNOWN, "987654320"); }, 2);
    add(
        "texts compare case-sensitively", [](tail& t) { t[onus] = "12345678O 0101"; },
        [](block& b) { b.fields[6] = diff("onus:", OK, "12345678o 0101", OK, "12345678O 0101"); }, 2);
    add(
        "an expected text at its limit is accepted and compared whole",
        [](tail& t) { t[onus] = "12345678o 0101 and trailing."; },
        [](block& b) { b.fields[6] = diff("onus:", OK, "12345678o 0101", OK, "12345678o 0101 and trailing."); }, 2);
    add(
        "expected text differs only by a trailing blank", [](tail& t) { t[amount] = "0000012500 "; },
        [](block& b) { b.fields[0] = diff("amount:", OK, "0000012500", OK, "0000012500 "); }, 2);

    // The label is padded to three columns, never cut; the description may be empty.
    const std::pair<std::string, std::string> headers[] = {
        {"", "empty label"},    {"1", ""},          {"12", "two"}, {"123", "three"}, {"LONG-LABEL", "printed whole"},
        {"%s", "100% sure %n"}, {"\xe9", "caf\xe9"}};  // printed as they are, byte for byte
    for (const auto& [label, description] : headers) {
        rows.push_back({"label and description", cheque_case(label, description), cheque_block(label, description), 0});
    }

    // An on-us field of 26 characters is too long: the parse stops there,
    // the text is shown cut to 25 characters but compared whole.
    {
        const std::string micr = "t987654320t12345678901234567890123456 a0000012500a";
        const std::string onus_text = "12345678901234567890123456";
        const tail t = {"1", "0000012500", "0", "", "2", "", "2", "", "2", "", "2", onus_text, "3", "", "2", "", "2"};
        block b;
        b.micr = micr;
        b.label = "TL";
        b.description = "on-us field too long";
        b.exception_state = "EX_NORMAL";
        b.status = 1;
        b.fields = {same("amount:", OK, "0000012500"), same("account:", MISSING, ""), same("tpc:", MISSING, ""),
                    same("csn:", MISSING, ""),         same("transit:", MISSING, ""), same("epc:", MISSING, ""),
                    same("onus:", TOOLONG, onus_text), same("auxonus:", MISSING, "")};
        rows.push_back(
            {"stopped parse: all eight lines, texts shown cut", test_case("TL", micr, b.description, t), b, 0});
        tail t2 = t;
        t2[onus] = "12345678901234567890123457";  // differs in the 26th character only
        block b2 = b;
        b2.fields[6] = diff("onus:", TOOLONG, onus_text, TOOLONG, t2[onus]);
        rows.push_back({"texts differing after column 25 are marked", test_case("TL", micr, b.description, t2), b2, 2});
    }

    // An unreadable mark stops the parse at the on-us field, untrimmed.
    {
        const std::string micr = "t987654320t 1234?678o 0101 a0000012500a";
        const tail t = {"1", "0000012500",      "0", "", "2", "", "2", "", "2", "",
                        "2", " 1234?678o 0101", "4", "", "2", "", "2"};
        block b;
        b.micr = micr;
        b.label = "U";
        b.description = "unreadable";
        b.exception_state = "EX_NORMAL";
        b.status = 1;
        b.unrecognized = 1;
        b.fields = {same("amount:", OK, "0000012500"),
                    same("account:", MISSING, ""),
                    same("tpc:", MISSING, ""),
                    same("csn:", MISSING, ""),
                    same("transit:", MISSING, ""),
                    same("epc:", MISSING, ""),
                    same("onus:", UNRECOG, " 1234?678o 0101"),
                    same("auxonus:", MISSING, "")};
        rows.push_back({"early stop at an unreadable mark", test_case("U", micr, "unreadable", t), b, 0});
    }

    // The MICR text is shown as written, even when it is no MICR line at all.
    {
        block b;
        b.micr = "";
        b.label = "E";
        b.description = "empty line";
        b.exception_state = "EX_NORMAL";
        b.status = 1;
        for (std::size_t i = 0; i < 8; ++i) {
            static const char* const labels[] = {
                "amount:", "account:", "tpc:", "csn:", "transit:", "epc:", "onus:", "auxonus:"};
            b.fields[i] = same(labels[i], MISSING, "");
        }
        const tail all_missing = {"1", "", "2", "", "2", "", "2", "", "2", "", "2", "", "2", "", "2", "", "2"};
        rows.push_back({"an empty MICR text", test_case("E", "", "empty line", all_missing), b, 0});

        // Read from the right: no amount symbol at the end, so the on-us scan
        // runs into the end of the text.
        block w = b;
        w.micr = "hello world";
        w.label = "W";
        w.description = "not a cheque";
        w.fields[6] = same("onus:", NOTERM, "hello world");
        tail t = all_missing;
        t[onus] = "hello world";
        t[onus_st] = "5";
        rows.push_back({"an arbitrary text", test_case("W", "hello world", "not a cheque", t), w, 0});
    }

    for (const field_row& row : rows) {
        SCOPED_TRACE(row.why);
        SCOPED_TRACE(row.line);
        const program_run run = run_cases(row.line + "\n");
        EXPECT_EQ(run.out, render(row.expected));
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

// ---- Malformed lines ----

TEST(DriverMalformed, SkippedWithAMessageAndTheRunGoesOn) {
    auto changed = [](std::size_t index, const std::string& value) {
        tail t = cheque_without_table();
        t[index] = value;
        return test_case("m", cheque, "malformed", t);
    };
    const std::string c = cheque_case("m");
    const std::string nul(1, '\0');
    const struct {
        const char* why;
        std::string line;
    } rows[] = {
        {"no comma at all", "just some text"},
        {"18 commas", c.substr(0, c.rfind(','))},
        {"17 commas: transit text and status missing", c.substr(0, c.rfind(',', c.rfind(',') - 1))},
        {"amount longer than 16", changed(amount, "00000000000012500")},
        {"tpc longer than 18", changed(tpc, std::string(19, '1'))},
        {"csn longer than 20", changed(csn, std::string(21, '1'))},
        {"account longer than 22", changed(account, std::string(23, '1'))},
        {"epc longer than 1", changed(epc, "55")},
        {"onus longer than 28", changed(onus, std::string(29, '1'))},
        {"auxonus longer than 23", changed(auxonus, std::string(24, '1'))},
        {"transit longer than 9", changed(transit, "9876543201")},
        {"overall status of two characters", changed(overall, "00")},
        {"overall status empty", changed(overall, "")},
        {"amount status of two characters", changed(amount_st, "00")},
        {"tpc status of two characters", changed(tpc_st, "2 ")},
        {"csn status of two characters", changed(csn_st, " 2")},
        {"account status of two characters", changed(account_st, "-1")},
        {"epc status of two characters", changed(epc_st, "12")},
        {"onus status empty", changed(onus_st, "")},
        {"auxonus status of two characters", changed(auxonus_st, "2x")},
        {"a NUL byte at the start", nul + c},
        {"a NUL byte in the description", test_case("m", cheque, "mal" + nul + "formed", cheque_without_table())},
        {"a NUL byte alone", nul},
        {"a NUL byte in a comment", "#" + nul + " comment"},
        {"a line of 512 characters", c + std::string(512 - c.size(), ' ')},
        {"a line of 2000 characters is skipped whole", c + std::string(2000 - c.size(), ' ')},
        {"a comment of 600 characters", "#" + std::string(599, 'c')},
    };
    const std::string after = cheque_case("next");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_cases("# first line\n\n" + row.line + "\n" + after + "\n");
        expect_skip_then(run.out, 3, render(cheque_block("next")));
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, 2);
    }
}

TEST(DriverMalformed, LimitsThemselvesAreAccepted) {
    auto changed = [](std::size_t index, const std::string& value) {
        tail t = cheque_without_table();
        t[index] = value;
        return test_case("k", cheque, "at the limit", t);
    };
    const struct {
        const char* why;
        std::string line;
        std::string field;
    } rows[] = {
        {"amount of 16", changed(amount, "0000000000012500"),
         diff("amount:", OK, "0000012500", OK, "0000000000012500")},
        {"tpc of 18", changed(tpc, std::string(18, '1')), diff("tpc:", MISSING, "", MISSING, std::string(18, '1'))},
        {"csn of 20", changed(csn, std::string(20, '1')), diff("csn:", MISSING, "", MISSING, std::string(20, '1'))},
        {"account of 22", changed(account, std::string(22, '1')),
         diff("account:", MISSING, "", MISSING, std::string(22, '1'))},
        {"onus of 28", changed(onus, std::string(28, '1')),
         diff("onus:", OK, "12345678o 0101", OK, std::string(28, '1'))},
        {"auxonus of 23", changed(auxonus, std::string(23, '1')),
         diff("auxonus:", MISSING, "", MISSING, std::string(23, '1'))},
        {"transit of 9", changed(transit, "987654321"), diff("transit:", OK, "987654320", OK, "987654321")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_cases(row.line + "\n");
        const std::string& out = run.out;
        EXPECT_EQ(out.find(skip_prefix), std::string::npos) << out;
        EXPECT_NE(out.find(row.field), std::string::npos) << out;
        EXPECT_EQ(run.exit_status, 2);
    }
}

TEST(DriverMalformed, LineOfExactly511CharactersIsProcessed) {
    const std::string base = cheque_case("511", "");
    const std::string description(511 - base.size(), 'd');
    const std::string line = cheque_case("511", description);
    ASSERT_EQ(line.size(), 511u);
    const std::string one = render(cheque_block("511", description));
    const struct {
        const char* why;
        std::string file;
    } rows[] = {
        {"with a line feed", line + "\n"},
        {"with carriage return and line feed", line + "\r\n"},
        {"as the last line without a line feed", line},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_cases(row.file);
        EXPECT_EQ(run.out, one);
        EXPECT_EQ(run.exit_status, 0);
    }
    // Its line feed ends it: the next line is line 2.
    const program_run next = run_cases(line + "\nbad\n");
    expect_skip_then(next.out.substr(one.size()), 2, "");
    EXPECT_EQ(next.out.substr(0, one.size()), one);

    // A comment of 511 characters is still a comment.
    const program_run comment = run_cases("#" + std::string(510, 'c') + "\n");
    EXPECT_EQ(comment.out, "");
    EXPECT_EQ(comment.exit_status, 0);
}

TEST(DriverMalformed, LineNumbersCountEveryLine) {
    const std::string file =
        "# header\n"  // 1
        "\n" +        // 2
        cheque_case("a") +
        "\n" +     // 3
        "#\n"      // 4
        "bad\n" +  // 5
        cheque_case("b") +
        "\n" +                          // 6
        std::string(600, 'x') + "\n" +  // 7
        "\n"                            // 8
        "also bad";                     // 9, no line feed
    const program_run run = run_cases(file);
    const std::string a = render(cheque_block("a")), b = render(cheque_block("b"));
    ASSERT_EQ(run.out.compare(0, a.size(), a), 0) << run.out;
    std::string rest = run.out.substr(a.size());
    expect_skip_then(rest, 5, rest.substr(rest.find('\n') + 1));
    rest = rest.substr(rest.find('\n') + 1);
    ASSERT_EQ(rest.compare(0, b.size(), b), 0) << rest;
    rest = rest.substr(b.size());
    expect_skip_then(rest, 7, rest.substr(rest.find('\n') + 1));
    rest = rest.substr(rest.find('\n') + 1);
    expect_skip_then(rest, 9, "");
    EXPECT_EQ(run.exit_status, 2);
}

TEST(DriverMalformed, ALineEndedByCtrlZIsCutThere) {
    // The Ctrl-Z cuts the line to its first four fields: too few commas.
    const std::string c = cheque_case("z");
    const program_run run = run_cases(c.substr(0, 60) + "\x1a" + c.substr(60) + "\n" + c + "\n");
    expect_skip_then(run.out, 1, "");
    EXPECT_EQ(run.exit_status, 2);
}

// ---- Exit status ----

TEST(DriverExitStatus, ZeroOnlyWhenNothingIsMarkedOrSkipped) {
    tail marked = cheque_without_table();
    marked[csn] = "0101";
    const std::string good = cheque_case("g"), bad = test_case("b", cheque, "marked", marked);
    const struct {
        const char* why;
        std::string file;
        int exit_status;
    } rows[] = {
        {"every field agrees", good + "\n" + good + "\n", 0},
        {"one marked line among agreeing cases", good + "\n" + bad + "\n" + good + "\n", 2},
        {"a skipped line only", "nothing here\n", 2},
        {"a skipped line among agreeing cases", good + "\nnothing here\n" + good + "\n", 2},
        {"no test case at all", "# nothing\n", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(run_cases(row.file).exit_status, row.exit_status);
    }
}

// ---- Golden reports of whole runs ----

// Skip reasons are free text: in a golden report the reason stands as "<reason>".
void expect_report(const std::string& actual, const std::string& expected) {
    std::size_t a = 0, e = 0;
    while (a < actual.size() && e < expected.size()) {
        const std::size_t a_end = actual.find('\n', a), e_end = expected.find('\n', e);
        const std::string a_line = actual.substr(a, a_end - a), e_line = expected.substr(e, e_end - e);
        const std::string placeholder = ": <reason>";
        if (e_line.compare(0, skip_prefix.size(), skip_prefix) == 0 && e_line.size() > placeholder.size() &&
            e_line.compare(e_line.size() - placeholder.size(), placeholder.size(), placeholder) == 0) {
            const std::string head = e_line.substr(0, e_line.size() - placeholder.size() + 2);
            EXPECT_EQ(a_line.compare(0, head.size(), head), 0) << a_line;
            EXPECT_GT(a_line.size(), head.size()) << "the reason is empty";
        } else {
            EXPECT_EQ(a_line, e_line);
        }
        if (a_end == std::string::npos || e_end == std::string::npos) {
            EXPECT_EQ(a_end, e_end) << "one report ends without a line feed";
            return;
        }
        a = a_end + 1;
        e = e_end + 1;
    }
    EXPECT_EQ(actual.substr(a), expected.substr(e)) << "the reports differ in length";
}

TEST(DriverGolden, WholeRuns) {
    const struct {
        const char* name;
        table exception_table;
        int exit_status;
    } rows[] = {
        {"default_split", table::empty, 2},    // empty table: every parse falls back to the default split
        {"exception_table", table::given, 0},  // two entries used, one routing number not listed
        {"no_table", table::none, 2},          // no table at all: on-us fields stay whole
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string base = data_dir + "/" + row.name;
        const std::string cases = read_file(base + ".cases"), expected = read_file(base + ".expected");
        ASSERT_FALSE(cases.empty());
        ASSERT_FALSE(expected.empty());
        const std::string table_text = row.exception_table == table::given ? read_file(base + ".PARSE.DAT") : "";
        const program_run run = run_cases(cases, row.exception_table, table_text);
        expect_report(run.out, expected);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

}  // namespace
