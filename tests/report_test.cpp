// The comparison report on its own: report_block writing one block, field
// lines compared and marked, names and widths.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "micr.h"
#include "report.h"

namespace {

struct captured {
    std::string text;
    int marked = -1;
};

captured report(const micr_result& parsed, const micr_result& expected, const char* label = "1",
                const char* description = "cheque", const char* micr_text = "t987654320t 12345678o a0000012500a") {
    captured c;
    std::string room(
        std::strlen(label) + std::strlen(description) + std::strlen(micr_text) + micr::block_room_besides_texts, '#');
    unsigned differing = 0;
    const char* end = micr::report_block(room.data(), label, description, micr_text, parsed, expected, differing);
    c.text.assign(room.data(), static_cast<std::size_t>(end - room.data()));
    c.marked = std::popcount(differing);
    return c;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the block does not end with a line feed";
    return lines;
}

// One field of the record, in report order.
struct field_view {
    signed char* status;
    char* text;
    std::size_t size;
};

field_view field(micr_result& r, int index) {
    switch (index) {
        case 0: return {&r.amount_status, r.amount, sizeof r.amount};
        case 1: return {&r.account_status, r.account, sizeof r.account};
        case 2: return {&r.tpc_status, r.tpc, sizeof r.tpc};
        case 3: return {&r.csn_status, r.csn, sizeof r.csn};
        case 4: return {&r.transit_status, r.transit, sizeof r.transit};
        case 5: return {&r.epc_status, r.epc, sizeof r.epc};
        case 6: return {&r.onus_status, r.onus, sizeof r.onus};
        default: return {&r.auxonus_status, r.auxonus, sizeof r.auxonus};
    }
}

void set(micr_result& r, int index, const char* text, int status) {
    const field_view f = field(r, index);
    ASSERT_LT(std::strlen(text), f.size);
    std::strcpy(f.text, text);
    *f.status = static_cast<signed char>(status);
}

// Every field missing and empty, as a parse that reached nothing leaves it.
micr_result all_missing() {
    micr_result r;
    std::memset(&r, 0, sizeof r);
    for (int i = 0; i < 8; ++i) set(r, i, "", ST_MISSING);
    return r;
}

constexpr int onus_index = 6;
constexpr std::size_t first_field_line = 6;  // after dash, MICR line, dash, three header lines

TEST(ReportCase, WholeBlockWithTwoMarkedLines) {
    micr_result parsed = all_missing(), expected;
    parsed.status = 1;
    parsed.exception_state = EX_USED;
    parsed.unrecognized_symbols = 1;
    set(parsed, 0, "0000012345", ST_OK);
    set(parsed, 1, "12345678", ST_OK);
    set(parsed, 2, "12", ST_OK);
    set(parsed, 3, "3456", ST_OK);
    set(parsed, 4, "123456789", ST_INVALID);
    set(parsed, 5, "5", ST_OK);
    set(parsed, 6, "12345678o 12 3456", ST_OK);
    set(parsed, 7, "0012", ST_NOTERM);
    expected = parsed;
    expected.status = 0;  // the overall status is not compared
    set(expected, 4, "123456789", ST_OK);
    set(expected, 7, "001234", ST_OK);

    const captured c =
        report(parsed, expected, "T7", "every field", "o0012 5 t123456789t 12345678o 12 3456 a0000012345a");
    EXPECT_EQ(c.text,
              "---------------------------------------------------------\n"
              "MICR line: o0012 5 t123456789t 12345678o 12 3456 a0000012345a\n"
              "---------------------------------------------------------\n"
              " Exception:        T7   every field\n"
              " exception_state:  EX_USED\n"
              " status: 1 unrecognized_symbols: 1\n"
              "    amount: OK      0000012345               \n"
              "   account: OK      12345678                 \n"
              "       tpc: OK      12                       \n"
              "       csn: OK      3456                     \n"
              "*  transit: INVALID 123456789                    OK      123456789                \n"
              "       epc: OK      5                        \n"
              "      onus: OK      12345678o 12 3456        \n"
              "*  auxonus: NOTERM  0012                         OK      001234                   \n"
              "\n");
    EXPECT_EQ(c.marked, 2);
}

TEST(ReportCase, FieldLinesAre45Or82Characters) {
    const char* const labels[] = {
        "   amount:", "  account:", "      tpc:", "      csn:", "  transit:", "      epc:", "     onus:", "  auxonus:"};
    for (int marked_field = -1; marked_field < 8; ++marked_field) {
        SCOPED_TRACE(marked_field);
        const micr_result parsed = all_missing();
        micr_result expected = all_missing();
        if (marked_field >= 0) *field(expected, marked_field).status = ST_OK;
        const captured c = report(parsed, expected);
        const std::vector<std::string> lines = lines_of(c.text);
        ASSERT_EQ(lines.size(), first_field_line + 9);
        for (int i = 0; i < 8; ++i) {
            const std::string& line = lines[first_field_line + static_cast<std::size_t>(i)];
            SCOPED_TRACE(line);
            const bool marked = i == marked_field;
            EXPECT_EQ(line.size(), marked ? 82u : 45u);
            EXPECT_EQ(line[0], marked ? '*' : ' ');
            EXPECT_EQ(line.substr(1, 10), labels[i]);
        }
        EXPECT_EQ(lines.back(), "");
        EXPECT_EQ(c.marked, marked_field >= 0 ? 1 : 0);
    }
}

TEST(ReportCase, HeaderLines) {
    const struct {
        const char* why;
        const char* label;
        const char* description;
        int exception_state, status, unrecognized;
        const char* exception_line;
        const char* state_line;
        const char* status_line;
    } rows[] = {
        {"one-character label: four blanks", "1", "personal cheque", EX_NORMAL, 0, 0,
         " Exception:        1    personal cheque", " exception_state:  EX_NORMAL",
         " status: 0 unrecognized_symbols: 0"},
        {"empty description", "1", "", EX_USED, 1, 0, " Exception:        1    ", " exception_state:  EX_USED",
         " status: 1 unrecognized_symbols: 0"},
        {"empty label", "", "d", EX_OPEN_ERR, 0, 1, " Exception:             d", " exception_state:  EX_OPEN_ERR",
         " status: 0 unrecognized_symbols: 1"},
        {"three characters fill the column", "123", "d", EX_INVALID, 1, 1, " Exception:        123  d",
         " exception_state:  EX_INVALID", " status: 1 unrecognized_symbols: 1"},
        {"a longer label is printed whole", "LONGER", "d", EX_NORMAL, 0, 0, " Exception:        LONGER  d",
         " exception_state:  EX_NORMAL", " status: 0 unrecognized_symbols: 0"},
        {"a blank label", " ", " d ", EX_NORMAL, 0, 0, " Exception:              d ", " exception_state:  EX_NORMAL",
         " status: 0 unrecognized_symbols: 0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        micr_result parsed = all_missing();
        parsed.exception_state = static_cast<signed char>(row.exception_state);
        parsed.status = static_cast<signed char>(row.status);
        parsed.unrecognized_symbols = static_cast<signed char>(row.unrecognized);
        const captured c = report(parsed, all_missing(), row.label, row.description, "t1t a1a");
        const std::vector<std::string> lines = lines_of(c.text);
        ASSERT_GE(lines.size(), first_field_line);
        EXPECT_EQ(lines[0], std::string(57, '-'));
        EXPECT_EQ(lines[1], "MICR line: t1t a1a");
        EXPECT_EQ(lines[2], std::string(57, '-'));
        EXPECT_EQ(lines[3], row.exception_line);
        EXPECT_EQ(lines[4], row.state_line);
        EXPECT_EQ(lines[5], row.status_line);
        EXPECT_EQ(c.marked, 0);
    }
}

TEST(ReportCase, StatusNamesOnBothSides) {
    const struct {
        int status;
        const char* name;
    } names[] = {{0, "OK     "}, {1, "INVALID"}, {2, "MISSING"},   {3, "TOOLONG"},  {4, "UNRECOG"},   {5, "NOTERM "},
                 {6, "???????"}, {7, "???????"}, {127, "???????"}, {-1, "???????"}, {-128, "???????"}};
    const std::string blanks25(25, ' ');
    for (const auto& n : names) {
        SCOPED_TRACE(n.status);
        // Equal raw values agree, whatever name they show.
        micr_result parsed = all_missing();
        set(parsed, onus_index, "", n.status);
        micr_result expected = parsed;
        captured c = report(parsed, expected);
        EXPECT_EQ(lines_of(c.text)[first_field_line + onus_index],
                  std::string("      onus: ") + n.name + " " + blanks25);
        EXPECT_EQ(c.marked, 0);

        // As the expected status beside a parsed OK.
        set(parsed, onus_index, "", ST_OK);
        c = report(parsed, expected);
        if (n.status == ST_OK) {
            EXPECT_EQ(c.marked, 0);
            continue;
        }
        EXPECT_EQ(lines_of(c.text)[first_field_line + onus_index],
                  std::string("*     onus: OK      ") + blanks25 + "    " + n.name + " " + blanks25);
        EXPECT_EQ(c.marked, 1);
    }
}

TEST(ReportCase, MarkingComparesRawStatusesAndWholeTexts) {
    const struct {
        const char* why;
        const char* parsed_text;
        int parsed_status;
        const char* expected_text;
        int expected_status;
        const char* line;
    } rows[] = {
        {"same text and status", "12345678o 0101", 0, "12345678o 0101", 0,
         "      onus: OK      12345678o 0101           "},
        {"status differs only", "abc", 0, "abc", 1,
         "*     onus: OK      abc                          INVALID abc                      "},
        {"text differs in case only", "12345678o", 0, "12345678O", 0,
         "*     onus: OK      12345678o                    OK      12345678O                "},
        {"expected text a prefix of the parsed one", "abc", 0, "ab", 0,
         "*     onus: OK      abc                          OK      ab                       "},
        {"trailing blank counts", "abc", 0, "abc ", 0,
         "*     onus: OK      abc                          OK      abc                      "},
        {"both empty and equal status", "", 2, "", 2, "      onus: MISSING                          "},
        {"25 characters shown whole", "1234567890123456789012345", 0, "1234567890123456789012345", 0,
         "      onus: OK      1234567890123456789012345"},
        {"27 equal characters shown cut, not marked", "123456789012345678901234567", 3, "123456789012345678901234567",
         3, "      onus: TOOLONG 1234567890123456789012345"},
        {"differing in the 26th character: marked, shown alike", "12345678901234567890123456", 3,
         "12345678901234567890123457", 3,
         "*     onus: TOOLONG 1234567890123456789012345    TOOLONG 1234567890123456789012345"},
        {"differing in the 28th character", "1234567890123456789012345678", 0, "1234567890123456789012345670", 0,
         "*     onus: OK      1234567890123456789012345    OK      1234567890123456789012345"},
        {"both above 5 but different: alike on screen, marked", "", 6, "", 7,
         "*     onus: ???????                              ???????                          "},
        {"negative expected status", "x", 0, "x", -128,
         "*     onus: OK      x                            ??????? x                        "},
        {"both -1: agree", "x", -1, "x", -1, "      onus: ??????? x                        "},
        {"UNRECOG beside NOTERM", "1?", 4, "1?", 5,
         "*     onus: UNRECOG 1?                           NOTERM  1?                       "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        micr_result parsed = all_missing(), expected = all_missing();
        set(parsed, onus_index, row.parsed_text, row.parsed_status);
        set(expected, onus_index, row.expected_text, row.expected_status);
        const captured c = report(parsed, expected);
        const std::string line = lines_of(c.text)[first_field_line + onus_index];
        EXPECT_EQ(line, row.line);
        EXPECT_EQ(line.size(), line[0] == '*' ? 82u : 45u);
        EXPECT_EQ(c.marked, line[0] == '*' ? 1 : 0);
    }
}

TEST(ReportCase, ReturnsTheNumberOfMarkedLines) {
    for (int count = 0; count <= 8; ++count) {
        SCOPED_TRACE(count);
        const micr_result parsed = all_missing();
        micr_result expected = all_missing();
        for (int i = 0; i < count; ++i) set(expected, i, "9", ST_MISSING);  // text differs, status equal
        const captured c = report(parsed, expected);
        EXPECT_EQ(c.marked, count);
        int stars = 0;
        for (const std::string& line : lines_of(c.text)) stars += !line.empty() && line[0] == '*';
        EXPECT_EQ(stars, count);
    }
}

TEST(ReportCase, BlockEndsWithAnEmptyLine) {
    // A block is exactly: six header lines, eight field lines, one empty line.
    const captured c = report(all_missing(), all_missing());
    EXPECT_EQ(lines_of(c.text).size(), 15u);
    EXPECT_EQ(c.text.substr(c.text.size() - 2), "\n\n");
}

}  // namespace
