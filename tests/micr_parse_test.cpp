// The reentrant entry micr_parse and loaded exception tables: the same result
// as parse_micr_line with the same bytes as PARSE.DAT, over generated lines
// and tables; refusals; problem lines; parsing on several threads at once.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fields.h"
#include "line_generator.h"
#include "test_support.h"

namespace {

struct table_deleter {
    void operator()(micr_table* t) const { micr_table_free(t); }
};
using table_ptr = std::unique_ptr<micr_table, table_deleter>;

table_ptr table_from(const std::string& text) { return table_ptr(micr_table_from_text(text.data(), text.size())); }

// Parses through micr_parse from an exact-size copy, so a read past the end shows.
int parse_core(const micr_table* table, const std::string& line, micr_result& r, unsigned flags = 0) {
    std::unique_ptr<char[]> text(new char[line.size()]);
    std::memcpy(text.get(), line.data(), line.size());
    return micr_parse(table, text.get(), line.size(), flags, &r);
}

std::string describe(const micr_result& r) {
    std::string s = "status " + std::to_string(r.status) + ", " + micr_exception_state_name(r.exception_state) +
                    ", unrecognized " + std::to_string(r.unrecognized_symbols);
    for (const micr::field_index f : micr::all_fields)
        s += std::string("\n  ") + micr::fields[f].name + " " + micr_status_name(micr::status_of(r, f)) + " [" +
             micr::text_of(r, f) + "]";
    return s;
}

using micr_test::generator;

TEST(MicrParse, AgreesWithParseMicrLineOverGeneratedLinesAndTables) {
    // A directory of this test's own: ctest -j runs other tests beside it.
    micr_test::temp_dir dir;
    generator g(0x4d494352u);
    int used = 0, invalid = 0, normal = 0;
    for (int t = 0; t < 300; ++t) {
        const std::string table_text = g.table();
        micr_test::write_file("PARSE.DAT", table_text);
        const table_ptr table = table_from(table_text);
        ASSERT_NE(table, nullptr);
        for (int l = 0; l < 40; ++l) {
            const std::string line = g.line();
            const micr_result expected = micr_test::parse_reading_order(line);
            micr_result got;
            const int status = parse_core(table.get(), line, got);
            EXPECT_EQ(status, got.status);
            if (!micr_test::same_result(got, expected)) {
                ADD_FAILURE() << "line [" << line << "]\ntable:\n"
                              << table_text << "\nmicr_parse: " << describe(got)
                              << "\nparse_micr_line: " << describe(expected);
                return;
            }
            if (expected.status == 0)
                ++(expected.exception_state == EX_USED      ? used
                   : expected.exception_state == EX_INVALID ? invalid
                                                            : normal);
        }
    }
    // The generator must reach every outcome of the table, or the agreement says little.
    EXPECT_GT(used, 200);
    EXPECT_GT(invalid, 200);
    EXPECT_GT(normal, 200);
}

TEST(MicrParse, WithoutATableTheDefaultSplitRuns) {
    micr_test::temp_dir dir;
    micr_test::write_file("PARSE.DAT", "");
    generator g(7);
    for (int i = 0; i < 500; ++i) {
        const std::string line = g.line();
        micr_result got;
        parse_core(nullptr, line, got);
        EXPECT_TRUE(micr_test::same_result(got, micr_test::parse_reading_order(line))) << line;
    }
}

TEST(MicrParse, BlanksAtTheRightHandEndAreNotPartOfTheLine) {
    const std::string line = "t123456780t 12345678o 0101 a0000012500a";
    micr_result bare, padded;
    parse_core(nullptr, line, bare);
    for (const std::string& pad : {std::string(" "), std::string("   "), std::string(200, ' ')}) {
        parse_core(nullptr, line + pad, padded);
        EXPECT_TRUE(micr_test::same_result(padded, bare)) << describe(padded);
    }
    EXPECT_EQ(bare.status, 0);
    // Blanks alone are an empty line: stopped at once.
    parse_core(nullptr, "    ", padded);
    EXPECT_EQ(padded.status, 1);
    EXPECT_EQ(padded.onus_status, ST_MISSING);
}

TEST(MicrParse, RefusedCallsLeaveAnEmptyStoppedRecord) {
    const std::string line = "t123456780t 12345678o a12a";
    const std::string with_nul = std::string(
        "t123456780t 1234\0"
        "5678o a12a",
        26);
    const struct {
        const char* why;
        const char* text;
        std::size_t length;
        unsigned flags;
    } rows[] = {
        {"a NUL byte in the text", with_nul.data(), with_nul.size(), 0},
        {"a NUL byte as the last byte", "a12a\0", 5, 0},
        {"an undefined flag", line.data(), line.size(), 0x80000000u},
        {"a NULL text with a length", nullptr, 3, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        micr_result r;
        std::memset(&r, 0x5a, sizeof r);
        EXPECT_EQ(micr_parse(nullptr, row.text, row.length, row.flags, &r), MICR_PARSE_REFUSED);
        EXPECT_EQ(r.status, MICR_PARSE_STOPPED);
        EXPECT_EQ(r.exception_state, EX_NORMAL);
        EXPECT_EQ(r.unrecognized_symbols, 0);
        for (const micr::field_index f : micr::all_fields) {
            EXPECT_EQ(micr::status_of(r, f), ST_MISSING) << micr::fields[f].name;
            EXPECT_STREQ(micr::text_of(r, f), "") << micr::fields[f].name;
        }
    }
    EXPECT_EQ(micr_parse(nullptr, line.data(), line.size(), 0, nullptr), MICR_PARSE_REFUSED);
    // A NULL text of length 0 is an empty line, not a refusal.
    micr_result r;
    EXPECT_EQ(micr_parse(nullptr, nullptr, 0, 0, &r), MICR_PARSE_STOPPED);
}

// ---------------------------------------------------------------------------
// Problems of a loaded table

TEST(MicrTable, EveryMalformedLineIsAProblemWithItsLineNumber) {
    const std::string long_line = "B 123456780 A 1 0 4 L " + std::string(240, 'x');  // 262 characters
    const struct {
        const char* why;
        std::string text;
        std::vector<std::pair<long, std::string>> problems;
    } rows[] = {
        {"empty table", "", {}},
        {"comments, blank lines, entries in either case", "# c\n\n   \n  # c\nb 123456780 a 1 0 4 l remark\n", {}},
        {"each check, first failure only, one per line",
         "B 123456780 A 1 0\nB 1234567801 A 1 0 4 L\nx 123456780 A 1 0 4 L\nP 123456780 x 1 0 4 L\n"
         "P 123456780 A 1 0 4 x\nX 12 Q 1 0 4 Z\n",
         {{1, "fewer than 7 tokens"},
          {2, "routing number has 10 characters, needs 9"},
          {3, "type must be B or P"},
          {4, "blank mode must be A or D"},
          {5, "side must be R or L"},
          {6, "routing number has 2 characters, needs 9"}}},
        {"a long line is skipped to its line feed; counting goes on",
         long_line + "\nB 1 A 1 0 4 L\n",
         {{1, "line longer than 255 characters"}, {2, "routing number has 1 characters, needs 9"}}},
        {"255 characters is not too long", "#" + std::string(254, 'c') + "\n", {}},
        {"a long comment is a problem", "#" + std::string(255, 'c') + "\n", {{1, "line longer than 255 characters"}}},
        {"a NUL byte, also in a comment",
         std::string("# \0\nB 123456780 A 1 0 4 L\n\0\n", 28),
         {{1, "line holds a NUL byte"}, {3, "line holds a NUL byte"}}},
        {"CR LF counts as one line end",
         "\r\n# c\r\nB 1 A 1 0 4 L\r\n",
         {{3, "routing number has 1 characters, needs 9"}}},
        {"the last line counts without a line feed", "\nB 123456780 A", {{2, "fewer than 7 tokens"}}},
        {"Ctrl-Z ends the table",
         "\nB 1 A 1 0 4 L\x1a\nB 2 A 1 0 4 L\n",
         {{2, "routing number has 1 characters, needs 9"}}},
        {"a tab is part of a token", "B\t123456780 A 1 0 4 L x\n", {{1, "routing number has 1 characters, needs 9"}}},
        {"a byte-order mark that spoils line 1 is named",
         "\xEF\xBB\xBF"
         "B 123456780 A 1 0 4 L\n",
         {{1, "type must be B or P (the line starts with a UTF-8 byte-order mark)"}}},
        {"a byte-order mark before a comment makes it a malformed line",
         "\xEF\xBB\xBF"
         "# c\n",
         {{1, "fewer than 7 tokens (the line starts with a UTF-8 byte-order mark)"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const table_ptr table = table_from(row.text);
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(micr_table_problem_count(table.get()), row.problems.size());
        for (std::size_t i = 0; i < row.problems.size(); ++i) {
            EXPECT_EQ(micr_table_problem_line(table.get(), i), row.problems[i].first);
            EXPECT_STREQ(micr_table_problem_message(table.get(), i), row.problems[i].second.c_str());
        }
        const std::size_t past = row.problems.size();
        EXPECT_EQ(micr_table_problem_line(table.get(), past), 0);
        EXPECT_STREQ(micr_table_problem_message(table.get(), past), "");
    }
}

// Each of these held before anything tested it; breaking one left the suite green.
TEST(MicrTable, EdgesOfTheInterface) {
    // Tables that fill their index to a power of two: a look-up of a number
    // they lack must still end.
    for (const int entries : {16, 32, 64}) {
        SCOPED_TRACE(std::to_string(entries) + " entries");
        std::string text;
        for (int i = 0; i < entries; ++i) text += "B " + std::to_string(100000000 + i) + " A 1 0 4 L\n";
        const table_ptr table = table_from(text);
        micr_result r;
        parse_core(table.get(), "t123456780t 12345678o 0101 a0000012500a", r);
        EXPECT_EQ(r.exception_state, EX_NORMAL);
    }

    const table_ptr empty(micr_table_from_text(nullptr, 0));
    ASSERT_NE(empty, nullptr) << "no text at all is an empty table";
    EXPECT_EQ(micr_table_problem_count(empty.get()), 0u);
    errno = 0;
    EXPECT_EQ(micr_table_from_text(nullptr, 5), nullptr);
    EXPECT_EQ(errno, EINVAL);

    // Salvage never lets a routing number that was not read whole choose a
    // layout: the transit here ends the line unterminated.
    const table_ptr table = table_from("B 026009593 D 1 7 6 R\n");
    micr_result r;
    parse_core(table.get(), "026009593t 001234 5678901o a0000004250a", r, MICR_SALVAGE);
    EXPECT_EQ(r.transit_status, ST_NOTERM);
    EXPECT_EQ(r.exception_state, EX_NORMAL);
    EXPECT_STREQ(r.account, "001234 5678901");

    EXPECT_STREQ(micr_version(), MICR_VERSION) << "the library's version is the project's";

    char out[10] = "unchanged";
    EXPECT_EQ(micr_repair_routing("?2345678?", out), 0) << "two unreadable digits have no one repair";
    EXPECT_STREQ(out, "unchanged");
}

TEST(MicrTable, OpenReadsAFileAndRefusesWhatIsNoTable) {
    micr_test::temp_dir dir;
    micr_test::write_file("table.dat", "B 123456780 A 1 0 4 L\nB 1 A 1 0 4 L\n");
    const table_ptr table(micr_table_open("table.dat"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(micr_table_problem_count(table.get()), 1u);
    micr_result r;
    micr_parse(table.get(), "t123456780t 12345678o", 21, 0, &r);
    EXPECT_EQ(r.exception_state, EX_USED);
    EXPECT_STREQ(r.csn, "5678");

    errno = 0;
    EXPECT_EQ(micr_table_open("missing.dat"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(micr_table_open("."), nullptr);
    EXPECT_EQ(errno, EISDIR);
    micr_table_free(nullptr);
}

// ---------------------------------------------------------------------------
// Threads: run under ThreadSanitizer by the tsan preset.

TEST(MicrParse, ThreadsParseAgainstOneTableAtOnce) {
    generator g(99);
    // Tables without a malformed line, so that lines reach both the entries
    // and the default split.
    std::string text;
    for (int kept = 0; kept < 30;) {
        std::string t = g.table();
        if (!t.empty() && t.back() != '\n') t += '\n';
        if (t.find('\x1a') != std::string::npos || micr_table_problem_count(table_from(t).get()) > 0) continue;
        text += t;
        ++kept;
    }
    const table_ptr table = table_from(text);
    ASSERT_NE(table, nullptr);
    std::vector<std::string> lines;
    std::vector<micr_result> expected;
    for (int i = 0; i < 2000; ++i) {
        lines.push_back(g.line());
        expected.emplace_back();
        parse_core(table.get(), lines.back(), expected.back());
    }
    int used = 0, split = 0;
    for (const micr_result& r : expected) ++(r.exception_state == EX_USED ? used : split);
    ASSERT_GT(used, 100);
    ASSERT_GT(split, 100);
    constexpr int thread_count = 4;
    std::vector<int> mismatches(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (std::size_t i = static_cast<std::size_t>(t); i < lines.size(); ++i) {
                    micr_result r;
                    micr_parse(table.get(), lines[i].data(), lines[i].size(), 0, &r);
                    if (!micr_test::same_result(r, expected[i])) ++mismatches[static_cast<std::size_t>(t)];
                }
        });
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < thread_count; ++t) EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << "thread " << t;
}

}  // namespace
