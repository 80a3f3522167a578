// micrparse's warnings about exception tables: what --check-table says of a
// file and with which exit status, what a table loaded for parsing says once
// before the parse goes on, and, against the library's own look-ups, that an
// entry is warned about exactly when no parse can ever use it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "micr.h"
#include "table_warnings.h"
#include "test_support.h"

namespace {

using micr_test::program_run;
using micr_test::run_program;
using micr_test::temp_dir;
using micr_test::write_file;

const std::string micrparse = MICRPARSE_PATH;

const std::string entry = "B 123456780 A 1 0 4 L\n";
const std::string other_entry = "P 026009593 A 1 0 4 L\n";
const std::string cr_message =
    "warning: carriage return inside a line; this file may use CR line ends, and all of it reads as one line\n";

TEST(CheckTable, WarningsInLineOrderWithProblemsAndTheExitStatus) {
    const struct {
        const char* why;
        std::string table;
        std::string err;  // "t.dat:" stands before each line
        int exit_status;
    } rows[] = {
        {"a clean table", "# layouts\n\n" + entry + other_entry, "", 0},
        {"CR LF line ends are clean", "# layouts\r\n" + std::string("B 123456780 A 1 0 4 L\r\n"), "", 0},
        {"a Ctrl-Z as the last byte, as DOS editors end a file, is clean", entry + "\x1a", "", 0},
        {"so is a Ctrl-Z followed by the line end of its own line", entry + "\x1a\r\n", "", 0},
        {"lines after a Ctrl-Z are not read, and not judged",
         entry + "\x1a" + other_entry + "B 12345d678 A 1 0 4 L\nX\n",
         "2: warning: the table ends at a Ctrl-Z byte; 3 lines after it are not read\n", 2},
        {"the rest of the Ctrl-Z's own line is a line not read", "B 123456780 A 1 0 4 L\x1a\x20" + other_entry,
         "1: warning: the table ends at a Ctrl-Z byte; 1 line after it is not read\n", 2},
        {"CR line ends: one line, whose seventh token hides the rest", "B 123456780 A 1 0 4 L\rP 026009593 A 1 0 4 L\r",
         "1: " + cr_message, 2},
        {"one warning for each line that holds a lone CR", "# a\rb\rc\n" + entry + "# d\r\r\n",
         "1: " + cr_message + "3: " + cr_message, 2},
        {"a CR right before a Ctrl-Z is a character too", entry + "# end\r\x1a", "2: " + cr_message, 2},
        {"routing numbers that hold a non-digit", "B 12345d678 A 1 0 4 L\n" + entry + "p 1234567?0 a 1 0 4 l\n",
         "1: warning: routing number 12345d678 holds a non-digit; no transit can match it\n"
         "3: warning: routing number 1234567?0 holds a non-digit; no transit can match it\n",
         2},
        {"entries behind an earlier one for the same number",
         entry + other_entry + "P 123456780 D 1 7 6 R\n# again\n" + entry + "b 026009593 a 1 0 4 l\n",
         "3: warning: never used: line 1 has the same routing number\n"
         "5: warning: never used: line 1 has the same routing number\n"
         "6: warning: never used: line 2 has the same routing number\n",
         2},
        {"a byte-order mark: line 1's problem names it, and the warning says it", "\xEF\xBB\xBF" + entry,
         "1: type must be B or P (the line starts with a UTF-8 byte-order mark)\n"
         "1: warning: starts with a UTF-8 byte-order mark\n",
         1},
        {"problems and warnings in line order; any problem makes the exit status 1",
         "B 12345678 A 1 0 4 L\nB 12345d678 A 1 0 4 L\nX 026009593 A 1 0 4 L\n" + entry + entry,
         "1: routing number has 8 characters, needs 9\n"
         "2: warning: routing number 12345d678 holds a non-digit; no transit can match it\n"
         "3: type must be B or P\n"
         "5: warning: never used: line 4 has the same routing number\n",
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const temp_dir dir(false);
        write_file(dir.file("t.dat"), row.table);
        const program_run run = run_program(micrparse, {"--check-table", "t.dat"}, dir.path(), "a1a\n");
        std::string err;
        for (std::size_t start = 0; start < row.err.size();) {
            const std::size_t end = row.err.find('\n', start) + 1;
            err += "t.dat:" + row.err.substr(start, end - start);
            start = end;
        }
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, err);
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
    const temp_dir dir(false);
    const program_run missing = run_program(micrparse, {"--check-table=missing.dat"}, dir.path());
    EXPECT_EQ(missing.err, "micrparse: cannot open table 'missing.dat': No such file or directory\n");
    EXPECT_EQ(missing.exit_status, 1);
}

// A table loaded to parse with says its warnings once, whatever the number
// of inputs, and is used; one with problems is refused as before.
TEST(CheckTable, ALoadedTableWarnsOnceAndIsUsed) {
    const std::string warned = entry + "P 123456780 D 1 7 6 R\n";
    const std::string warning = "warning: never used: line 1 has the same routing number\n";
    const std::string line = "t123456780t 12345678o\n";
    const struct {
        const char* why;
        std::string parse_dat;  // "" for none
        std::vector<std::string> args;
        std::string err;
        long records;
    } rows[] = {
        {"--table", "", {"--table", "t.dat", "one.txt", "two.txt"}, "t.dat:2: " + warning, 2},
        {"./PARSE.DAT", warned, {"one.txt", "-", "two.txt"}, "PARSE.DAT:2: " + warning, 3},
        {"problems still refuse the table, with the warnings in line order",
         "X\n" + warned,
         {"one.txt"},
         "PARSE.DAT:1: fewer than 7 tokens\nPARSE.DAT:3: warning: never used: line 2 has the same routing number\n",
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const temp_dir dir(false);
        write_file(dir.file("t.dat"), warned);
        if (!row.parse_dat.empty()) write_file(dir.file("PARSE.DAT"), row.parse_dat);
        write_file(dir.file("one.txt"), line);
        write_file(dir.file("two.txt"), line);
        const program_run run = run_program(micrparse, row.args, dir.path(), line);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.exit_status, row.records > 0 ? 0 : 1);
        long records = 0;
        for (std::size_t start = 0; start < run.out.size(); ++records) {
            const std::size_t end = run.out.find('\n', start);
            const nlohmann::json record = nlohmann::json::parse(run.out.substr(start, end - start));
            // Line 1's entry, not line 2's: the serial number is the last four digits.
            EXPECT_EQ(record.at("exception_state"), "EX_USED");
            EXPECT_EQ(record.at("csn"), "5678");
            start = end + 1;
        }
        EXPECT_EQ(records, row.records);
    }
}

// Tables drawn at random from entries for a few numbers, some of them
// repeated and some not nine digits, with comments and blank lines between:
// an entry is warned about exactly when a cheque of its own routing number
// is split by some other line, or by none.
TEST(CheckTable, AnEntryIsWarnedAboutExactlyWhenNoParseUsesIt) {
    const char* const routings[] = {"123456780", "026009593", "011000015", "12345d678", "1234567?0", "12345-678"};
    const char* const layouts[] = {"B %s A 1 0 4 L", "P %s D 1 7 6 R", "b %s a 0 0 4 l"};
    const char* const fillers[] = {"# a comment", "", "   "};
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        std::string table;
        std::vector<std::string> routing_of_line;  // "" for a line that is no entry
        const int lines = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < lines; ++i) {
            std::string text;
            if (random() % 4 == 0) {
                text = fillers[random() % std::size(fillers)];
                routing_of_line.emplace_back();
            } else {
                const char* routing = routings[random() % std::size(routings)];
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, layouts[random() % std::size(layouts)], routing);
                text = buffer;
                routing_of_line.emplace_back(routing);
            }
            table += text + "\n";
        }
        SCOPED_TRACE(table);
        const std::vector<micr::batch::table_warning> warnings = micr::batch::table_warnings(table);
        micr_table* loaded = micr_table_from_text(table.data(), table.size());
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(micr_table_problem_count(loaded), 0u);
        std::size_t next_warning = 0;
        for (std::size_t i = 0; i < routing_of_line.size(); ++i) {
            const long number = static_cast<long>(i) + 1;
            const bool warned = next_warning < warnings.size() && warnings[next_warning].line == number;
            if (warned) ++next_warning;
            if (routing_of_line[i].empty()) {
                EXPECT_FALSE(warned) << "line " << number;
                continue;
            }
            const std::string cheque = "t" + routing_of_line[i] + "t 12345678o";
            micr_result result;
            micr_explanation why;
            micr_parse_explained(loaded, cheque.data(), cheque.size(), 0, &result, &why);
            EXPECT_EQ(warned, why.table_line != number) << "line " << number << " split by " << why.table_line;
        }
        EXPECT_EQ(next_warning, warnings.size()) << "one warning per line, on entry lines alone";
        micr_table_free(loaded);
    }
}

}  // namespace
