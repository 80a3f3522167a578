// End-to-end runs of micrparse: output byte for byte for the example reader
// output and for edge inputs, file and option handling, exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "line_generator.h"
#include "options.h"
#include "test_support.h"
#include "utf8.h"

namespace {

using micr_test::program_run;
using micr_test::read_file;
using micr_test::run_program;
using micr_test::temp_dir;
using micr_test::write_file;

const std::string micrparse = MICRPARSE_PATH;
const std::string source_dir = MICR_SOURCE_DIR;
const std::string byte_order_mark(micr::batch::utf8_byte_order_mark);
// The most bytes after a byte-order mark that line 1 may hold.
const std::size_t max_line_length_for_mark = micr::batch::max_line_length - byte_order_mark.size();

// Fields after the amount, all missing: a parse that stopped at or right
// after the amount field reaches none of them.
const std::string rest_missing = R"("account":"","account_status":"MISSING","tpc":"","tpc_status":"MISSING",)"
                                 R"("csn":"","csn_status":"MISSING","transit":"","transit_status":"MISSING",)"
                                 R"("epc":"","epc_status":"MISSING","onus":"","onus_status":"MISSING",)"
                                 R"("auxonus":"","auxonus_status":"MISSING",)";

// The last keys of a record: what the line tells beyond its fields.
std::string facts(const std::string& cents = "null", const std::string& form = "null",
                  const std::string& repair = "null", const std::string& eft = "null") {
    return R"("amount_cents":)" + cents + R"(,"transit_form":)" + form + R"(,"routing_repair":)" + repair +
           R"(,"eft_routing":)" + eft + "}";
}

// The amount in cents as micrparse writes it, when the amount is OK.
std::string cents_of(const std::string& amount, const std::string& amount_status) {
    return amount_status == "OK" ? std::to_string(std::stoull(amount)) : "null";
}

// The JSON record of a line that holds an amount field and nothing else: the
// parse stops where the on-us field should begin, or at the amount field
// itself when that is not OK.  `micr` and `amount` are JSON string contents.
std::string amount_only(const std::string& file, int line, const std::string& micr, const std::string& amount,
                        const std::string& amount_status) {
    return R"({"file":")" + file + R"(","line":)" + std::to_string(line) + R"(,"micr":")" + micr +
           R"(","status":1,"exception_state":"EX_NORMAL","unrecognized_symbols":0,"amount":")" + amount +
           R"(","amount_status":")" + amount_status + R"(",)" + rest_missing + facts(cents_of(amount, amount_status)) +
           "\n";
}

// The CSV row of the same kind of line.  `micr` and `amount` are CSV fields.
std::string amount_only_csv(int line, const std::string& micr, const std::string& amount,
                            const std::string& amount_status) {
    return "-," + std::to_string(line) + "," + micr + ",1,EX_NORMAL,0," + amount + "," + amount_status +
           ",,MISSING,,MISSING,,MISSING,,MISSING,,MISSING,,MISSING,,MISSING,," +
           (amount_status == "OK" ? std::to_string(std::stoull(amount)) : "") + ",,,\n";
}

const std::string csv_header =
    "file,line,micr,status,exception_state,unrecognized_symbols,amount,amount_status,account,account_status,"
    "tpc,tpc_status,csn,csn_status,transit,transit_status,epc,epc_status,onus,onus_status,auxonus,"
    "auxonus_status,error,amount_cents,transit_form,routing_repair,eft_routing\n";

TEST(Micrparse, ExampleReaderOutputAsJsonLines) {
    // Seven cheques of examples/cheques.txt, read with examples/PARSE.DAT.
    const program_run run = run_program(micrparse, {"reader-output.txt"}, source_dir + "/examples");
    EXPECT_EQ(run.out, read_file(source_dir + "/tests/data/micrparse/reader-output.jsonl"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(Micrparse, ExampleReaderOutputAsCsv) {
    const program_run run = run_program(micrparse, {"--format", "csv", "reader-output.txt"}, source_dir + "/examples");
    EXPECT_EQ(run.out, read_file(source_dir + "/tests/data/micrparse/reader-output.csv"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
}

struct edge_case {
    const char* why;
    std::string input;   // standard input
    std::string output;  // JSON Lines expected on standard output
};

// Shown by GoogleTest in place of the raw bytes of the parameter.
void PrintTo(const edge_case& c, std::ostream* os) { *os << c.why; }

class MicrparseEdgeInput : public testing::TestWithParam<edge_case> {};

TEST_P(MicrparseEdgeInput, OneRecordPerLineInOrder) {
    const edge_case& c = GetParam();
    const temp_dir dir(false);  // no PARSE.DAT; none of these lines reaches the table
    const program_run run = run_program(micrparse, {}, dir.path(), c.input);
    EXPECT_EQ(run.out, c.output);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
}

const std::string nul_error = R"({"file":"-","line":1,"error":"line holds a NUL byte"})"
                              "\n";

INSTANTIATE_TEST_SUITE_P(
    EdgeInputs, MicrparseEdgeInput,
    testing::Values(
        edge_case{"LF line ends", "a12a\na34a\n",
                  amount_only("-", 1, "a12a", "12", "OK") + amount_only("-", 2, "a34a", "34", "OK")},
        edge_case{"CR before LF is dropped with it", "a12a\r\na34a\r\n",
                  amount_only("-", 1, "a12a", "12", "OK") + amount_only("-", 2, "a34a", "34", "OK")},
        edge_case{"a last line without LF is not lost", "a12a\na34a",
                  amount_only("-", 1, "a12a", "12", "OK") + amount_only("-", 2, "a34a", "34", "OK")},
        edge_case{"a Ctrl-Z byte is an ordinary character and ends nothing", "a12a\n\x1a\na34a\n",
                  amount_only("-", 1, "a12a", "12", "OK") +
                      R"({"file":"-","line":2,"micr":"\u001a","status":1,"exception_state":"EX_NORMAL",)"
                      R"("unrecognized_symbols":0,"amount":"","amount_status":"MISSING","account":"",)"
                      R"("account_status":"MISSING","tpc":"","tpc_status":"MISSING","csn":"","csn_status":"MISSING",)"
                      R"("transit":"","transit_status":"MISSING","epc":"","epc_status":"MISSING",)"
                      R"("onus":"\u001a","onus_status":"NOTERM","auxonus":"","auxonus_status":"MISSING",)" +
                      facts() + "\n" + amount_only("-", 3, "a34a", "34", "OK")},
        edge_case{"an empty line is an empty code line: stopped at once, all missing", "\n",
                  amount_only("-", 1, "", "", "MISSING")},
        edge_case{"empty input, no records", "", ""},
        edge_case{"a NUL byte gives an error record, the next line goes on",
                  std::string("a1\0"
                              "2a\na34a\n",
                              10),
                  nul_error + amount_only("-", 2, "a34a", "34", "OK")},
        edge_case{"a byte above 127 is written as the code point of its value",
                  "a1\xe9"
                  "2a\n",
                  amount_only("-", 1,
                              "a1\xc3\xa9"
                              "2a",
                              "1\xc3\xa9"
                              "2",
                              "INVALID")},
        edge_case{"the lowest and highest high bytes",
                  "a\x80\xff"
                  "a\n",
                  amount_only("-", 1,
                              "a\xc2\x80\xc3\xbf"
                              "a",
                              "\xc2\x80\xc3\xbf", "INVALID")},
        edge_case{"a CR not followed by LF stays in the line, escaped", "a1\r2a\n",
                  amount_only("-", 1, "a1\\r2a", "1\\r2", "INVALID")},
        edge_case{"other control bytes are escaped as \\u00XX",
                  "a1\x01"
                  "2a\n",
                  amount_only("-", 1, "a1\\u00012a", "1\\u00012", "INVALID")},
        edge_case{"quote and backslash are escaped", "a1\"\\2a\n",
                  amount_only("-", 1, "a1\\\"\\\\2a", "1\\\"\\\\2", "INVALID")}),
    [](const testing::TestParamInfo<edge_case>& row) {
        // The row's why as a test name: words joined by underscores.
        std::string name;
        for (const char* p = row.param.why; *p != '\0'; ++p) {
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
            else if (!name.empty() && name.back() != '_')
                name += '_';
        }
        return name;
    });

TEST(Micrparse, LongestLineIsParsedOneMoreIsAnError) {
    const temp_dir dir(false);
    // 4095 digits: no amount symbol first, so the on-us scan takes 26
    // characters, one over its limit of 25, and stops the parse.
    const std::string longest(4095, '1');
    const program_run run = run_program(micrparse, {}, dir.path(), longest + "\n" + longest + "1\n");
    EXPECT_EQ(run.out, R"({"file":"-","line":1,"micr":")" + longest +
                           R"(","status":1,"exception_state":"EX_NORMAL","unrecognized_symbols":0,)"
                           R"("amount":"","amount_status":"MISSING","account":"","account_status":"MISSING",)"
                           R"("tpc":"","tpc_status":"MISSING","csn":"","csn_status":"MISSING",)"
                           R"("transit":"","transit_status":"MISSING","epc":"","epc_status":"MISSING","onus":")" +
                           std::string(26, '1') +
                           R"(","onus_status":"TOOLONG","auxonus":"","auxonus_status":"MISSING",)" + facts() +
                           "\n"
                           R"({"file":"-","line":2,"error":"line longer than 4095 bytes"})"
                           "\n");
    EXPECT_EQ(run.exit_status, 0);
}

// The records of a JSON Lines output, parsed.
std::vector<nlohmann::json> records_of(const std::string& out) {
    std::vector<nlohmann::json> records;
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = out.find('\n', start);
        records.push_back(nlohmann::json::parse(out.substr(start, end - start)));
        start = end + 1;
    }
    return records;
}

// A byte-order mark that begins an input is no part of its line 1: every key
// of every record is what the input without the mark gives, but line 1's
// micr, which latin1 writes as read, mark included.
TEST(Micrparse, AByteOrderMarkThatBeginsAnInputIsNotParsed) {
    const std::string& mark = byte_order_mark;
    const std::string cheque = "t123456780t 12345678o 0101 a0000012500a";
    const struct {
        const char* why;
        std::string after_mark;  // the input that follows the mark
    } rows[] = {
        {"a cheque, then a line", cheque + "\na12a\n"},
        {"a mark further on is a character of its line", cheque + "\n" + mark + cheque + "\n"},
        {"the mark alone on line 1", "\n" + cheque},
        {"the mark and nothing else: an empty input", ""},
        {"the mark and a line feed: an empty line", "\n"},
        {"a line that holds a NUL byte", std::string("a1\0a\n", 5)},
        {"a line that is not UTF-8",
         "a1\xe9"
         "a\n"},
        {"the longest line, the mark counted", std::string(max_line_length_for_mark, '1') + "\n"},
    };
    const std::string latin1_mark = micr::batch::latin1_to_utf8(mark);
    for (const char* encoding : {"latin1", "utf8"}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(encoding) + ": " + row.why);
            const temp_dir marked(false), bare(false);
            // Standard input, then two files, each beginning with the mark.
            for (const temp_dir* dir : {&marked, &bare}) {
                const std::string start = dir == &marked ? mark : "";
                write_file(dir->file("one.txt"), start + row.after_mark);
                write_file(dir->file("two.txt"), start + "a34a\n");
            }
            const std::vector<std::string> args = {"--no-table", "--encoding", encoding, "-", "one.txt", "two.txt"};
            const program_run with = run_program(micrparse, args, marked.path(), mark + row.after_mark);
            const program_run without = run_program(micrparse, args, bare.path(), row.after_mark);
            EXPECT_EQ(with.err, "");
            EXPECT_EQ(with.exit_status, 0);
            std::vector<nlohmann::json> got = records_of(with.out), want = records_of(without.out);
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                if (got[i].at("line") == 1 && want[i].contains("micr") && std::string(encoding) == "latin1")
                    want[i]["micr"] = latin1_mark + want[i]["micr"].get<std::string>();
                EXPECT_EQ(got[i], want[i]) << "record " << i + 1;
            }
        }
    }
    // The 4095-byte limit counts the line as read: one more after the mark is too long.
    const temp_dir dir(false);
    const program_run run = run_program(micrparse, {"--no-table"}, dir.path(),
                                        byte_order_mark + std::string(max_line_length_for_mark + 1, '1'));
    EXPECT_EQ(run.out, R"({"file":"-","line":1,"error":"line longer than 4095 bytes"})"
                       "\n");
}

// Behaviours of whole runs, each by the keys of the records it must give.
TEST(Micrparse, RunsGiveTheRecordsTheyMust) {
    const temp_dir dir(false);
    const std::string latin1_name = "caf\xe9.txt";  // not UTF-8
    write_file(dir.file(latin1_name), "a12a\n");
    const struct {
        const char* why;
        std::vector<std::string> args;
        std::string input;
        std::vector<std::string> records;  // JSON objects: keys each record must have, with their values
    } rows[] = {
        {"salvage with a table: a transit without its opening symbol is NOTERM, no table entry applies",
         {"--salvage", "--table", source_dir + "/examples/PARSE.DAT"},
         "026009593t 001234 5678901o a0000004250a\n",
         {R"({"status":1,"transit":"026009593","transit_status":"NOTERM","exception_state":"EX_NORMAL",)"
          R"("account":"001234 5678901","account_status":"OK","amount_cents":4250})"}},
        {"utf8 refuses a surrogate encoded in UTF-8 and reads on",
         {"--no-table", "--encoding", "utf8"},
         "a1\xed\xa0\x80"
         "2a\na12a\n",
         {R"({"line":1,"error":"line is not valid UTF-8"})", R"({"line":2,"micr":"a12a","amount":"12"})"}},
        {"utf8 writes a file name that is not UTF-8 byte by byte",
         {"--no-table", "--encoding=utf8", latin1_name},
         "",
         {R"({"file":"caf\u00e9.txt","line":1,"micr":"a12a"})"}},
        {"standard input named twice is read once, then is empty",
         {"--no-table", "-", latin1_name, "-"},
         "a1a\n",
         {R"({"file":"-","line":1,"micr":"a1a"})", R"({"file":"caf\u00e9.txt","line":1,"micr":"a12a"})"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_program(micrparse, row.args, dir.path(), row.input);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, 0);
        const std::vector<nlohmann::json> records = records_of(run.out);
        ASSERT_EQ(records.size(), row.records.size()) << run.out;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const nlohmann::json wanted = nlohmann::json::parse(row.records[i]);
            for (const auto& [key, value] : wanted.items())
                EXPECT_EQ(records[i].value(key, nlohmann::json()), value) << "record " << i + 1 << ", key " << key;
        }
    }
}

TEST(Micrparse, TheTableIsChosenLoadedOnceAndCheckedWhole) {
    // A routing number and an on-us field that ends with its on-us symbol.
    const std::string line = "t123456780t 12345678o\n";
    const std::string head = R"({"file":"-","line":1,"micr":"t123456780t 12345678o","status":0,"exception_state":)";
    const std::string amount = R"("unrecognized_symbols":0,"amount":"","amount_status":"MISSING",)";
    const std::string tail = R"("transit":"123456780","transit_status":"OK","epc":"","epc_status":"MISSING",)"
                             R"("onus":"12345678","onus_status":"OK","auxonus":"","auxonus_status":"MISSING",)" +
                             facts("null", R"("aba")", "null", R"("123456780")") + "\n";
    const std::string default_split = head + R"("EX_NORMAL",)" + amount +
                                      R"("account":"12345678","account_status":"OK","tpc":"","tpc_status":"MISSING",)"
                                      R"("csn":"","csn_status":"MISSING",)" +
                                      tail;
    // B 123456780 A 1 0 4 L: the serial number is the right-most four characters of section 1.
    const std::string by_entry = head + R"("EX_USED",)" + amount +
                                 R"("account":"1234","account_status":"OK","tpc":"","tpc_status":"MISSING",)"
                                 R"("csn":"5678","csn_status":"OK",)" +
                                 tail;
    const std::string entry = "B 123456780 A 1 0 4 L\n";
    const std::string malformed = "# layouts\nB 123456780 A 1 0 4 L\nB 12345678 A 1 0 4 L\n\nX 026009593 A 1 0 4 L\n";
    const std::string malformed_report = "%s:3: routing number has 8 characters, needs 9\n%s:5: type must be B or P\n";
    auto report = [&](const std::string& name) {
        std::string r = malformed_report;
        for (std::size_t at; (at = r.find("%s")) != std::string::npos;) r.replace(at, 2, name);
        return r;
    };
    const struct {
        const char* why;
        // "" for none; "/" for a directory, "|" for a FIFO, "->PATH" for a
        // symbolic link to PATH of that name
        std::string parse_dat;
        std::string other;  // other.dat
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int exit_status;
    } rows[] = {
        {"no PARSE.DAT: no table, the default split", "", "", {}, default_split, "", 0},
        {"./PARSE.DAT without this routing number: the default split", "# none\n", "", {}, default_split, "", 0},
        {"./PARSE.DAT with an entry", entry, "", {}, by_entry, "", 0},
        {"--no-table ignores ./PARSE.DAT", entry, "", {"--no-table"}, default_split, "", 0},
        {"--table names another file", "# none\n", entry, {"--table", "other.dat"}, by_entry, "", 0},
        {"--table=FILE", "", entry, {"--table=other.dat"}, by_entry, "", 0},
        {"every malformed line is reported and nothing is written", malformed, "", {}, "", report("PARSE.DAT"), 1},
        {"the same for --table, named as given", "", malformed, {"--table", "other.dat"}, "", report("other.dat"), 1},
        {"a PARSE.DAT that cannot be loaded is an error, not no table",
         "/",
         "",
         {},
         "",
         "micrparse: cannot open table 'PARSE.DAT': Is a directory\n",
         1},
        {"a FIFO as PARSE.DAT is refused, never waited on",
         "|",
         "",
         {},
         "",
         "micrparse: cannot open table 'PARSE.DAT': not a regular file\n",
         1},
        {"so is a device",
         "->/dev/null",
         "",
         {},
         "",
         "micrparse: cannot open table 'PARSE.DAT': not a regular file\n",
         1},
        {"a link to nothing is an error, not no table",
         "->missing.dat",
         "",
         {},
         "",
         "micrparse: cannot open table 'PARSE.DAT': No such file or directory\n",
         1},
        {"a link to a table is followed", "->other.dat", entry, {}, by_entry, "", 0},
        {"a --table that cannot be opened",
         "",
         "",
         {"--table", "missing.dat"},
         "",
         "micrparse: cannot open table 'missing.dat': No such file or directory\n",
         1},
        {"--check-table: no problems, exit 0, no input read",
         malformed,
         entry,
         {"--check-table", "other.dat"},
         "",
         "",
         0},
        {"--check-table: problems reported, exit 1",
         "",
         malformed,
         {"--check-table=other.dat"},
         "",
         report("other.dat"),
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const temp_dir dir(false);
        if (row.parse_dat == "/")
            std::filesystem::create_directory(dir.file("PARSE.DAT"));
        else if (row.parse_dat == "|")
            ASSERT_EQ(mkfifo(dir.file("PARSE.DAT").c_str(), 0600), 0);
        else if (row.parse_dat.starts_with("->"))
            std::filesystem::create_symlink(row.parse_dat.substr(2), dir.file("PARSE.DAT"));
        else if (!row.parse_dat.empty())
            write_file(dir.file("PARSE.DAT"), row.parse_dat);
        if (!row.other.empty()) write_file(dir.file("other.dat"), row.other);
        const program_run run = run_program(micrparse, row.args, dir.path(), line);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

TEST(Micrparse, CsvQuotesAndConvertsLikeJson) {
    const temp_dir dir(false);
    const program_run run = run_program(micrparse, {"--format=csv"}, dir.path(),
                                        "a1,\"2a\na1\r2a\na1\xe9"
                                        "2a\n" +
                                            std::string("a\0a\n", 4) + "a12a");
    EXPECT_EQ(run.out, csv_header +                                                         //
                           amount_only_csv(1, "\"a1,\"\"2a\"", "\"1,\"\"2\"", "INVALID") +  // comma and quote
                           amount_only_csv(2, "\"a1\r2a\"", "\"1\r2\"", "INVALID") +        // a lone CR
                           amount_only_csv(3,
                                           "a1\xc3\xa9"
                                           "2a",
                                           "1\xc3\xa9"
                                           "2",
                                           "INVALID") +
                           // file, line, 20 empty columns, the error
                           "-,4" + std::string(21, ',') + "line holds a NUL byte,,,,\n" +
                           amount_only_csv(5, "a12a", "12", "OK"));
    EXPECT_EQ(run.exit_status, 0);
}

TEST(Micrparse, CsvOfEmptyInputIsTheHeaderAlone) {
    const temp_dir dir(false);
    const program_run run = run_program(micrparse, {"--format", "csv"}, dir.path(), "");
    EXPECT_EQ(run.out, csv_header);
    EXPECT_EQ(run.exit_status, 0);
}

TEST(Micrparse, FilesInTurnWithStandardInputAtItsDash) {
    const temp_dir dir(false);
    write_file(dir.file("one.txt"), "a1a\na2a\n");
    write_file(dir.file("day 2, late.txt"), "a3a");
    write_file(dir.file("-x.txt"), "a5a\n");
    write_file(dir.file("six.txt"), "a6a\n");
    const struct {
        const char* why;
        std::vector<std::string> args;
        std::string output;
    } rows[] = {
        {"line numbers restart in every file; '-' reads standard input",
         {"one.txt", "-", "day 2, late.txt"},
         amount_only("one.txt", 1, "a1a", "1", "OK") + amount_only("one.txt", 2, "a2a", "2", "OK") +
             amount_only("-", 1, "a4a", "4", "OK") + amount_only("day 2, late.txt", 1, "a3a", "3", "OK")},
        {"the file name is quoted in CSV when it holds a comma",
         {"--format=csv", "day 2, late.txt"},
         csv_header + "\"day 2, late.txt\",1,a3a,1,EX_NORMAL,0,3,OK" +
             ",,MISSING,,MISSING,,MISSING,,MISSING,,MISSING,,MISSING,,MISSING,,3,,,\n"},
        {"after '--' a name that begins with '-' is a file",
         {"--", "-x.txt"},
         amount_only("-x.txt", 1, "a5a", "5", "OK")},
        {"options may follow file names", {"six.txt", "--format=jsonl"}, amount_only("six.txt", 1, "a6a", "6", "OK")},
        {"json is another name of jsonl", {"--format", "json", "six.txt"}, amount_only("six.txt", 1, "a6a", "6", "OK")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_program(micrparse, row.args, dir.path(), "a4a\n");
        EXPECT_EQ(run.out, row.output);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, 0);
    }
}

TEST(Micrparse, UnreadableInputIsReportedAndTheOthersAreStillRead) {
    const temp_dir dir(false);
    write_file(dir.file("good.txt"), "a1a\n");
    std::filesystem::create_directory(dir.file("folder"));
    const struct {
        const char* why;
        std::vector<std::string> args;
        std::string output;
        std::string error;
    } rows[] = {
        {"a missing file",
         {"missing.txt", "good.txt"},
         amount_only("good.txt", 1, "a1a", "1", "OK"),
         "micrparse: cannot open 'missing.txt': No such file or directory\n"},
        {"a directory",
         {"good.txt", "folder"},
         amount_only("good.txt", 1, "a1a", "1", "OK"),
         "micrparse: cannot open 'folder': Is a directory\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_program(micrparse, row.args, dir.path());
        EXPECT_EQ(run.out, row.output);
        EXPECT_EQ(run.err, row.error);
        EXPECT_EQ(run.exit_status, 1);
    }
}

TEST(Micrparse, BadOptionsAreReportedOnStandardErrorWithExitStatus1) {
    const temp_dir dir(false);
    const std::string hint = "Try 'micrparse --help' for more information.\n";
    const struct {
        const char* why;
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {"unknown long option", {"--bogus"}, "micrparse: unknown option '--bogus'\n" + hint},
        {"unknown short option", {"-x"}, "micrparse: unknown option '-x'\n" + hint},
        {"unknown format", {"--format", "xml"}, "micrparse: unknown format 'xml' (use jsonl or csv)\n" + hint},
        {"unknown format, = form", {"--format=CSV"}, "micrparse: unknown format 'CSV' (use jsonl or csv)\n" + hint},
        {"format without its value", {"--format"}, "micrparse: option '--format' needs a value: jsonl or csv\n" + hint},
        {"a bad option after a file name reads nothing",
         {"a.txt", "--bogus"},
         "micrparse: unknown option '--bogus'\n" + hint},
        {"table without its file", {"--table"}, "micrparse: option '--table' needs a file name\n" + hint},
        {"check-table without its file",
         {"--check-table"},
         "micrparse: option '--check-table' needs a file name\n" + hint},
        {"encoding without its value",
         {"--encoding"},
         "micrparse: option '--encoding' needs a value: latin1 or utf8\n" + hint},
        {"a table and none",
         {"--table=t.dat", "--no-table"},
         "micrparse: --table and --no-table exclude each other\n" + hint},
        {"none and a table",
         {"--no-table", "--table", "t.dat"},
         "micrparse: --table and --no-table exclude each other\n" + hint},
        {"format twice, even the same",
         {"--format=csv", "--format", "csv"},
         "micrparse: option '--format' given twice\n" + hint},
        {"symbols twice",
         {"--symbols=TOAD", "--symbols", "default"},
         "micrparse: option '--symbols' given twice\n" + hint},
        {"encoding twice",
         {"--encoding", "utf8", "--encoding=latin1"},
         "micrparse: option '--encoding' given twice\n" + hint},
        {"table twice", {"--table", "a.dat", "--table=b.dat"}, "micrparse: option '--table' given twice\n" + hint},
        {"check-table twice",
         {"--check-table", "a.dat", "--check-table=b.dat"},
         "micrparse: option '--check-table' given twice\n" + hint},
        {"check-table with an input file",
         {"--check-table", "a.dat", "lines.txt"},
         "micrparse: option '--check-table' takes no other option and no file\n" + hint},
        {"check-table with standard input named",
         {"-", "--check-table", "a.dat"},
         "micrparse: option '--check-table' takes no other option and no file\n" + hint},
        {"check-table with a table",
         {"--check-table", "a.dat", "--table", "b.dat"},
         "micrparse: option '--check-table' takes no other option and no file\n" + hint},
        {"check-table with no table",
         {"--no-table", "--check-table=a.dat"},
         "micrparse: option '--check-table' takes no other option and no file\n" + hint},
        {"jobs that are no number of threads",
         {"--jobs=0"},
         "micrparse: option '--jobs' takes a number of threads from 1 to 256, not '0'\n" + hint},
        {"jobs beyond the most",
         {"--jobs", "257"},
         "micrparse: option '--jobs' takes a number of threads from 1 to 256, not '257'\n" + hint},
        {"jobs without its value",
         {"--jobs"},
         "micrparse: option '--jobs' needs a value: a number of threads from 1 to 256\n" + hint},
        {"jobs twice", {"--jobs=2", "--jobs", "3"}, "micrparse: option '--jobs' given twice\n" + hint},
        {"check-table with jobs",
         {"--check-table=a.dat", "--jobs=2"},
         "micrparse: option '--check-table' takes no other option and no file\n" + hint},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_program(micrparse, row.args, dir.path(), "a1a\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, row.error);
        EXPECT_EQ(run.exit_status, 1);
    }
}

// What parse_options makes of a command line, in a few words: "help",
// "version", "usage error", or the options of a run.
std::string parsed(std::vector<std::string> args) {
    std::vector<const char*> argv = {"micrparse"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    const micr::batch::command_line line = micr::batch::parse_options(static_cast<int>(argv.size()), argv.data());
    using request = micr::batch::command_line::request;
    if (line.what != request::run) {
        EXPECT_EQ(line.error.empty(), line.what != request::bad_usage);
        return line.what == request::help ? "help" : line.what == request::version ? "version" : "usage error";
    }
    const micr::batch::options& opt = line.opt;
    std::string words = opt.format == micr::batch::output_format::csv ? "csv" : "jsonl";
    if (opt.line.encoding == micr::batch::text_encoding::utf8) words += " utf8";
    if (opt.line.symbols != nullptr) words += " symbols '" + std::string(opt.line.symbols) + "'";
    if ((opt.line.flags & MICR_SALVAGE) != 0) words += " salvage";
    if (opt.table != nullptr) words += " table " + std::string(opt.table);
    if (opt.no_table) words += " no-table";
    if (opt.check_table != nullptr) words += " check " + std::string(opt.check_table);
    if (opt.explain) words += " explain";
    if (opt.directory != nullptr) words += " directory " + std::string(opt.directory);
    if (opt.x9) words += " x9";
    if (opt.check_directory != nullptr) words += " check-directory " + std::string(opt.check_directory);
    if (opt.jobs != 0) words += " jobs " + std::to_string(opt.jobs);
    words += ", files";
    for (const char* file : opt.files) words += " '" + std::string(file) + "'";
    return words;
}

TEST(MicrparseOptions, ArgumentsToWhatTheyAskFor) {
    const struct {
        std::vector<std::string> args;
        std::string outcome;
    } rows[] = {
        {{}, "jsonl, files '-'"},
        {{"a.txt", "-", "b.txt"}, "jsonl, files 'a.txt' '-' 'b.txt'"},
        {{"--format", "csv", "a.txt"}, "csv, files 'a.txt'"},
        {{"--format=csv", "--format=json"}, "usage error"},
        {{"--encoding=utf8", "--encoding", "latin1", "--salvage"}, "usage error"},
        {{"--encoding", "latin1", "--salvage"}, "jsonl salvage, files '-'"},
        {{"--encoding", "utf8"}, "jsonl utf8, files '-'"},
        {{"--symbols", "TOAD"}, "jsonl symbols 'TOAD! ', files '-'"},
        {{"--symbols=bcd"}, "jsonl symbols 'dcb-! ', files '-'"},
        {{"--symbols=TOAD!_"}, "jsonl symbols 'TOAD!_', files '-'"},
        {{"--symbols=TOAD", "--symbols=default"}, "usage error"},
        {{"--check-table=c.dat"}, "jsonl check c.dat, files '-'"},
        {{"--check-table", "--table"}, "jsonl check --table, files '-'"},
        {{"--check-directory", "d.txt"}, "jsonl check-directory d.txt, files '-'"},
        {{"--table", "t.dat", "--check-table=c.dat"}, "usage error"},
        {{"--check-directory=d.txt", "a.txt"}, "usage error"},
        {{"--check-directory=d.txt", "-"}, "usage error"},
        {{"--check-table=c.dat", "--check-directory=d.txt"}, "usage error"},
        {{"--check-directory=d.txt", "--"}, "jsonl check-directory d.txt, files '-'"},
        {{"--", "--check-directory=d.txt"}, "jsonl, files '--check-directory=d.txt'"},
        {{"--explain", "--x9", "--directory", "d.txt"}, "jsonl explain directory d.txt x9, files '-'"},
        {{"--directory=d.txt", "--check-directory", "e.txt"}, "usage error"},
        {{"--directory"}, "usage error"},
        {{"--directory=d.txt", "--directory=e.txt"}, "usage error"},
        {{"--salvage", "--no-table", "--no-table", "--salvage", "-", "-"}, "jsonl salvage no-table, files '-' '-'"},
        {{"--", "--format=csv", "--format=csv"}, "jsonl, files '--format=csv' '--format=csv'"},
        {{"--table=", "--no-table=x"}, "usage error"},
        {{"--no-table", "x"}, "jsonl no-table, files 'x'"},
        {{"--", "--help", "-", "--"}, "jsonl, files '--help' '-' '--'"},
        {{"", "-x.txt"}, "usage error"},
        {{"", "--", "-x.txt"}, "jsonl, files '' '-x.txt'"},
        {{"--help", "--bogus"}, "help"},
        {{"a.txt", "-h"}, "help"},
        {{"--version", "--format"}, "version"},
        {{"--bogus", "--help"}, "usage error"},
        {{"--format", "csv", "--format=xml", "--help"}, "usage error"},
        {{"--formatcsv"}, "usage error"},
        {{"--symbols", "--help"}, "usage error"},
        {{"--table", "--help"}, "jsonl table --help, files '-'"},
        {{"--table=t.dat", "--no-table"}, "usage error"},
        {{"--format"}, "usage error"},
        {{"--jobs", "4", "a.txt"}, "jsonl jobs 4, files 'a.txt'"},
        {{"--jobs=1"}, "jsonl jobs 1, files '-'"},
        {{"--jobs=256"}, "jsonl jobs 256, files '-'"},
        {{"--jobs=007"}, "jsonl jobs 7, files '-'"},
        {{"--jobs=257"}, "usage error"},
        {{"--jobs=0"}, "usage error"},
        {{"--jobs", "-1"}, "usage error"},
        {{"--jobs=+2"}, "usage error"},
        {{"--jobs= 2"}, "usage error"},
        {{"--jobs=2x"}, "usage error"},
        {{"--jobs=4294967297"}, "usage error"},
        {{"--jobs="}, "usage error"},
        {{"--jobs"}, "usage error"},
        {{"--jobs=2", "--jobs=2"}, "usage error"},
        {{"--jobs", "--help"}, "usage error"},
        {{"--", "--jobs=2"}, "jsonl, files '--jobs=2'"},
    };
    for (const auto& row : rows) {
        std::string args;
        for (const std::string& arg : row.args) args += " '" + arg + "'";
        SCOPED_TRACE("micrparse" + args);
        EXPECT_EQ(parsed(row.args), row.outcome);
    }
}

TEST(Micrparse, HelpAndVersion) {
    const temp_dir dir(false);
    for (const char* option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        const program_run run = run_program(micrparse, {option, "--bogus"}, dir.path(), "a1a\n");
        EXPECT_EQ(run.out.rfind("Usage: micrparse [OPTION]... [FILE]...\n", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("--format=FORMAT"), std::string::npos);
        EXPECT_NE(run.out.find("PARSE.DAT"), std::string::npos);
        for (const char* named : {"--explain", "--directory=FILE", "--check-directory=FILE", "--x9", "--jobs=N",
                                  "from 1 to 256", "eft_routing", "split_by", "bank (", "x9 ("})
            EXPECT_NE(run.out.find(named), std::string::npos) << named;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, 0);
    }
    const program_run run = run_program(micrparse, {"--version"}, dir.path(), "a1a\n");
    EXPECT_EQ(run.out, "micrparse (micr) " MICR_VERSION "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
}

}  // namespace

namespace {

// The CSV row that micrparse writes for a cheque line whose fields are those
// of "t123456780t 12345678o 0101 a0000012500a" in whatever convention.
std::string cheque_row(const std::string& micr) {
    return "-,1," + micr +
           ",0,EX_NORMAL,0,0000012500,OK,12345678,OK,,MISSING,0101,OK,123456780,OK,,MISSING,12345678o 0101,OK,,"
           "MISSING,,12500,aba,,123456780\n";
}

TEST(Micrparse, ReaderConventionsEncodingsAndSalvage) {
    const temp_dir dir(false);
    const std::string transit = "\xe2\x91\x86", on_us = "\xe2\x91\x88", amount = "\xe2\x91\x87";
    const std::string unicode =
        transit + "123456780" + transit + " 12345678" + on_us + " 0101 " + amount + "0000012500" + amount;
    // Each byte of E2 91 86 as the character of its value (tested on its own in record_format_test).
    const auto latin1 = micr::batch::latin1_to_utf8;
    const struct {
        const char* why;
        std::vector<std::string> args;
        std::string input;
        std::string out;  // after the CSV header, or the whole output without --format csv
    } rows[] = {
        {"TOAD",
         {"--symbols", "TOAD"},
         "T123456780T 12345678O 0101 A0000012500A\n",
         cheque_row("T123456780T 12345678O 0101 A0000012500A")},
        {"bcd, with a Canadian transit",
         {"--symbols=bcd"},
         "d12345-678d 1234567c 001 b0000001000b\n",
         "-,1,d12345-678d 1234567c 001 b0000001000b,0,EX_NORMAL,0,0000001000,OK,1234567,OK,001,OK,,MISSING,"
         "12345d678,OK,,MISSING,1234567o 001,OK,,MISSING,,1000,canadian,,067812345\n"},
        {"six characters of one's own: _ for a blank",
         {"--symbols", "TOAD!_"},
         "T123456780T_12345678O_0101_A0000012500A\n",
         cheque_row("T123456780T_12345678O_0101_A0000012500A")},
        {"Unicode symbols in the default convention; the line written byte by byte",
         {},
         unicode + "\n",
         cheque_row(latin1(unicode))},
        {"Unicode symbols with --encoding=utf8: the line written as those characters",
         {"--encoding", "utf8"},
         unicode + "\n",
         cheque_row(unicode)},
        {"a line that is not UTF-8",
         {"--encoding=utf8"},
         "a1\xe9"
         "2a\n",
         "-,1" + std::string(21, ',') + "line is not valid UTF-8,,,,\n"},
        {"without salvage the parse stops at the unreadable on-us field",
         {},
         "t1234567?0t 1234?678o 0101 a0000012500a\n",
         "-,1,t1234567?0t 1234?678o 0101 a0000012500a,1,EX_NORMAL,1,0000012500,OK,,MISSING,,MISSING,,MISSING,,"
         "MISSING,,MISSING, 1234?678o 0101,UNRECOG,,MISSING,,12500,,,\n"},
        {"salvage reads on; the unreadable routing digit gets a repair hint",
         {"--salvage"},
         "t1234567?0t 1234?678o 0101 a0000012500a\n",
         "-,1,t1234567?0t 1234?678o 0101 a0000012500a,1,EX_NORMAL,1,0000012500,OK,1234?678,UNRECOG,,MISSING,0101,"
         "OK,1234567?0,UNRECOG,,MISSING,1234?678o 0101,UNRECOG,,MISSING,,12500,,123456780,\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::vector<std::string> args = row.args;
        args.push_back("--format=csv");
        const program_run run = run_program(micrparse, args, dir.path(), row.input);
        EXPECT_EQ(run.out, csv_header + row.out);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, 0);
    }
    // JSON writes the Unicode symbols as the characters they are.
    const program_run json = run_program(micrparse, {"--encoding=utf8", "--symbols=default"}, dir.path(), unicode);
    EXPECT_EQ(json.out.rfind(R"({"file":"-","line":1,"micr":")" + unicode + R"(","status":0,)", 0), 0u) << json.out;
}

TEST(Micrparse, BadConventionsAndEncodingsAreRefused) {
    const temp_dir dir(false);
    const std::string hint = "Try 'micrparse --help' for more information.\n";
    const std::string symbols =
        "' (use default, TOAD, bcd or six distinct characters, no digit, a space only as the blank)\n";
    const struct {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{"--symbols", "toad"}, "micrparse: unknown symbols 'toad" + symbols + hint},
        {{"--symbols", "TOADD!"}, "micrparse: unknown symbols 'TOADD!" + symbols + hint},
        {{"--symbols", "TOAD1 "}, "micrparse: unknown symbols 'TOAD1 " + symbols + hint},
        {{"--symbols", "TOAD!_x"}, "micrparse: unknown symbols 'TOAD!_x" + symbols + hint},
        {{"--symbols"}, "micrparse: option '--symbols' needs a value: default, TOAD, bcd or six characters\n" + hint},
        {{"--encoding=ascii"}, "micrparse: unknown encoding 'ascii' (use latin1 or utf8)\n" + hint},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        const program_run run = run_program(micrparse, row.args, dir.path(), "a1a\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, row.error);
        EXPECT_EQ(run.exit_status, 1);
    }
}

}  // namespace

namespace {

// `count` lines of every kind micrparse meets, each ended by LF or CR LF:
// cheque lines and garbled ones, lines too long, the longest lines (of
// control bytes, escaped at six bytes per byte), NUL bytes, bytes that are
// no UTF-8, Unicode symbols, quotes and commas.
std::string mixed_lines(micr_test::generator& g, int count) {
    const std::string unicode =
        "\xe2\x91\x86"
        "123456780\xe2\x91\x86 12345678\xe2\x91\x88 0101 \xe2\x91\x87"
        "0000012500\xe2\x91\x87";
    std::string lines;
    for (int i = 0; i < count; ++i) {
        switch (g.pick(200)) {
            case 0: lines += std::string(micr::batch::max_line_length + 1 + g.pick(3000), '1'); break;
            case 1: lines += std::string(micr::batch::max_line_length, '\x01'); break;
            case 2:
                lines += std::string(
                    "t123456780t 1234\0"
                    "5678o a1a",
                    25);
                break;
            case 3:
                lines +=
                    "a1\xe9"
                    "2a";
                break;
            case 4:
            case 5: lines += unicode; break;
            case 6: lines += "a1,\"2a"; break;
            // Just within the limit and just beyond it, when the CR before
            // the line feed is dropped; a CR that stays.
            case 7: lines += std::string(micr::batch::max_line_length - 1 + g.pick(3), '7') + "\r"; break;
            case 8: lines += "a1\ra\r\r"; break;
            default: lines += g.line();
        }
        lines += g.chance(10) ? "\r\n" : "\n";
    }
    return lines;
}

// Writes `bytes` into the FIFO `path` once a reader opens it, in pieces of
// random size with pauses, so that the reader finds it idle in the middle of
// lines.  Gives up when nobody opens it for a while.
void feed_slowly(const std::string& path, const std::string& bytes, unsigned start) {
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 60'000; ++tries) {
        fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // ENXIO until the reader opens it
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (fd < 0) return;
    fcntl(fd, F_SETFL, 0);  // blocking from here on
    micr_test::generator g(start);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t piece = std::min(bytes.size() - at, 1 + g.pick(3000));
        const ssize_t n = write(fd, bytes.data() + at, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
        if (g.chance(20)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(fd);
}

TEST(MicrparseJobs, EveryJobCountWritesTheBytesOfOne) {
    const temp_dir dir(false);
    micr_test::generator g(2024);
    // Tens of thousands of lines, so that many blocks go through every thread;
    // a byte-order mark first, and a last line without a line feed.  Empty
    // lines whose records fill far more room than their bytes, and a line
    // longer than many reads.
    const std::string big = byte_order_mark + mixed_lines(g, 30'000) + std::string(12'000, '\n') +
                            std::string(300'000, '9') + "\n" + mixed_lines(g, 100) +
                            "t026009593t 001234 5678901o a0000004250a";
    const std::string standard_input = byte_order_mark + mixed_lines(g, 500);
    const std::string slow = mixed_lines(g, 2'000);
    const std::string quoted_name = "day 2, \"late\" caf\xe9.txt";  // quoted in CSV, escaped in JSON, no UTF-8
    write_file(dir.file("big.txt"), big);
    write_file(dir.file(quoted_name), "a1a\r\n\na2a");
    write_file(dir.file("table.dat"), "B 123456780 A 1 0 4 L\nB 026009593 D 1 7 6 R\n");
    const std::vector<std::string> inputs = {"big.txt", "-", "slow.fifo", quoted_name, "-"};
    const long lines = 30'000 + 12'000 + 1 + 100 + 1 + 500 + 2'000 + 3;
    const std::vector<std::vector<std::string>> option_sets = {
        {"--format=jsonl", "--table=table.dat", "--explain", "--x9"},
        {"--format=csv", "--table=table.dat", "--explain", "--x9", "--encoding=utf8", "--salvage"},
        {"--format=csv", "--no-table", "--symbols=TOAD"},
    };
    for (const std::vector<std::string>& options : option_sets) {
        std::string given;
        for (const std::string& option : options) given += " " + option;
        program_run one;
        for (const char* jobs : {"1", "2", "3", "4"}) {
            SCOPED_TRACE(std::string("--jobs ") + jobs + given);
            std::vector<std::string> args = options;
            args.push_back(std::string("--jobs=") + jobs);
            args.insert(args.end(), inputs.begin(), inputs.end());
            std::filesystem::remove(dir.file("slow.fifo"));
            ASSERT_EQ(mkfifo(dir.file("slow.fifo").c_str(), 0600), 0);
            std::thread feeder(feed_slowly, dir.file("slow.fifo"), slow, 7u);
            const program_run run = run_program(micrparse, args, dir.path(), standard_input);
            feeder.join();
            if (std::string(jobs) == "1") {
                one = run;
                ASSERT_EQ(run.err, "");
                ASSERT_EQ(run.exit_status, 0);
                const long header = options[0] == "--format=csv" ? 1 : 0;
                ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), lines + header) << "a record per line";
                continue;
            }
            EXPECT_EQ(run.exit_status, one.exit_status);
            EXPECT_EQ(run.err, one.err);
            ASSERT_EQ(run.out.size(), one.out.size());
            EXPECT_TRUE(run.out == one.out)
                << "first difference at byte "
                << std::mismatch(run.out.begin(), run.out.end(), one.out.begin()).first - run.out.begin();
        }
    }
}

// Address-space limits leave a sanitizer's runtime no room to start.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool sanitized = false;
#endif

TEST(MicrparseJobs, AProcessShortOfMemoryParsesOnTheThreadsItCanHave) {
    if (sanitized) GTEST_SKIP() << "a sanitizer needs more address space than the limit leaves";
    const temp_dir dir(false);
    micr_test::generator g(77);
    write_file(dir.file("in.txt"), mixed_lines(g, 3'000) + std::string(10'000, '\n'));
    const program_run one = run_program(micrparse, {"--no-table", "--jobs=1", "in.txt"}, dir.path());
    ASSERT_EQ(one.exit_status, 0);
    // Room for one thread and its blocks, not for eight threads' stacks.
    for (const char* jobs : {"--jobs=2", "--jobs=8", "--jobs=256"}) {
        SCOPED_TRACE(jobs);
        const program_run run = run_program(
            "/bin/sh", {"-c", "ulimit -v 48000 && exec \"$0\" \"$@\"", micrparse, "--no-table", jobs, "in.txt"},
            dir.path());
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(run.out == one.out);
    }
}

TEST(MicrparseJobs, FailuresEndTheRunAsWithOneThread) {
    const temp_dir dir(false);
    std::string big;
    for (int i = 0; i < 20'000; ++i) big += "t123456780t 12345678o 0101 a" + std::to_string(1'000'000'000 + i) + "a\n";
    write_file(dir.file("big.txt"), big);
    write_file(dir.file("small.txt"), "a1a\n");
    const std::string small_record = amount_only("small.txt", 1, "a1a", "1", "OK");
    const struct {
        const char* why;
        std::vector<std::string> args;
        std::string error;
        bool goes_on;  // the records of small.txt come last
    } rows[] = {
        {"an input that cannot be read, between two that can",
         {"big.txt", "/proc/self/mem", "small.txt"},
         "micrparse: error reading '/proc/self/mem': Input/output error\n",
         true},
        {"an input that cannot be opened",
         {"big.txt", "missing.txt", "small.txt"},
         "micrparse: cannot open 'missing.txt': No such file or directory\n",
         true},
        {"output that cannot be written: the run stops at the first failed write",
         {"-c", "exec \"$0\" \"$@\" >/dev/full", micrparse, "big.txt", "small.txt"},
         "micrparse: error writing standard output: No space left on device\n",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const bool by_shell = row.args[0] == "-c";
        program_run one;
        for (const char* jobs : {"--jobs=1", "--jobs=4"}) {
            SCOPED_TRACE(jobs);
            std::vector<std::string> args = row.args;
            args.insert(args.begin() + (by_shell ? 3 : 0), {"--no-table", jobs});
            const program_run run = run_program(by_shell ? "/bin/sh" : micrparse, args, dir.path());
            EXPECT_EQ(run.err, row.error);
            EXPECT_EQ(run.exit_status, 1);
            if (row.goes_on) {
                EXPECT_TRUE(run.out.ends_with(small_record));
                EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 20'001);
            }
            if (std::string(jobs) == "--jobs=1")
                one = run;
            else
                EXPECT_TRUE(run.out == one.out);
        }
    }
}

}  // namespace
