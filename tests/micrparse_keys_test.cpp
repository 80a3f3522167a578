// End-to-end runs of micrparse for the keys beyond a line's fields:
// eft_routing and transit_form, and the groups that options add (split_by
// with --explain, bank with --directory, x9 with --x9), their order, and the
// routing directory's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "line_generator.h"
#include "micr.h"
#include "test_support.h"

namespace {

using json = nlohmann::ordered_json;
using micr_test::program_run;
using micr_test::run_program;
using micr_test::temp_dir;
using micr_test::write_file;

const std::string micrparse = MICRPARSE_PATH;
const std::string hint = "Try 'micrparse --help' for more information.\n";

// The records of a JSON Lines output, each checked to be one JSON object.
std::vector<json> records_of(const std::string& out) {
    std::vector<json> records;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        records.push_back(json::parse(line));
        EXPECT_TRUE(records.back().is_object()) << line;
    }
    return records;
}

// The cells of a CSV output's rows, header first; quoted cells unquoted.
std::vector<std::vector<std::string>> rows_of(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    bool quoted = false, fresh = true;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (fresh) rows.emplace_back(1), fresh = false;
        if (c == '"' && quoted && i + 1 < out.size() && out[i + 1] == '"')
            rows.back().back() += out[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            rows.back().emplace_back();
        else if (c == '\n' && !quoted)
            fresh = true;
        else
            rows.back().back() += c;
    }
    return rows;
}

// The cell under `name` in each data row of a CSV output.
std::vector<std::string> column_of(const std::vector<std::vector<std::string>>& rows, const std::string& name) {
    std::vector<std::string> cells;
    if (rows.empty()) return cells;
    const auto at = std::find(rows[0].begin(), rows[0].end(), name);
    EXPECT_NE(at, rows[0].end()) << "no column " << name;
    if (at == rows[0].end()) return cells;
    const auto index = static_cast<std::size_t>(at - rows[0].begin());
    for (std::size_t r = 1; r < rows.size(); ++r) cells.push_back(rows[r].at(index));
    return cells;
}

// A routing number: eight digits and the ABA check digit that makes the
// weighted sum (3, 7, 1, ...) a multiple of 10.
std::string routing(const std::string& eight) {
    const int weights[] = {3, 7, 1, 3, 7, 1, 3, 7};
    int sum = 0;
    for (std::size_t i = 0; i < 8; ++i) sum += weights[i] * (eight[i] - '0');
    return eight + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// One line of a FedACH directory, 155 bytes, `text` laid in at its columns.
std::string fedach(const std::string& number, char type, const std::string& new_routing, const std::string& name,
                   const std::string& city, const std::string& state) {
    std::string line(155, ' ');
    auto put = [&line](std::size_t column, const std::string& text) { line.replace(column - 1, text.size(), text); };
    put(1, number);
    put(10, "O");
    put(11, "011000015");
    line[19] = type;
    put(21, "041226");
    put(27, new_routing);
    put(36, name);
    put(72, "100 MAIN STREET");
    put(108, city);
    put(128, state);
    put(130, "123450000");
    put(139, "5555550100");
    put(149, "11");
    return line;
}

TEST(MicrparseKeys, TransitFormAndEftRouting) {
    const struct {
        const char* why;
        const char* line;
        json form;
        json eft;
    } rows[] = {
        {"nine digits that pass the check digit", "t123456780t 12345678o a1a", "aba", "123456780"},
        {"branch, dash, institution", "t12345d678t 1234567o 001 a1a", "canadian", "067812345"},
        {"a dash and three digits", "td123t 1o a1a", "dash", nullptr},
        {"one digit, a dash, three digits", "t1d345t 1o a1a", "dash", nullptr},
        {"four digits, a dash, three digits", "t1234d678t 1o a1a", "dash", nullptr},
        {"four digits, a dash, four digits", "t1234d5678t 1o a1a", "dash", nullptr},
        {"a failed check digit is no form", "t123456789t 1o a1a", nullptr, nullptr},
        {"a dash out of place is no form", "t12345d67t 1o a1a", nullptr, nullptr},
        {"two dashes are no form", "t12d45d678t 1o a1a", nullptr, nullptr},
        {"an unreadable digit is no form", "t1234567?0t 1o a1a", nullptr, nullptr},
        {"no transit", "a1a", nullptr, nullptr},
    };
    std::string input;
    for (const auto& row : rows) input += std::string(row.line) + "\n";
    const temp_dir dir(false);
    const program_run run = run_program(micrparse, {"--no-table"}, dir.path(), input);
    const program_run csv = run_program(micrparse, {"--no-table", "--format=csv"}, dir.path(), input);
    const std::vector<json> records = records_of(run.out);
    const auto table = rows_of(csv.out);
    const std::vector<std::string> forms = column_of(table, "transit_form"), efts = column_of(table, "eft_routing");
    ASSERT_EQ(records.size(), std::size(rows));
    ASSERT_EQ(forms.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].why);
        EXPECT_EQ(records[i]["transit_form"], rows[i].form);
        EXPECT_EQ(records[i]["eft_routing"], rows[i].eft);
        EXPECT_EQ(forms[i], rows[i].form.is_null() ? "" : rows[i].form.get<std::string>());
        EXPECT_EQ(efts[i], rows[i].eft.is_null() ? "" : rows[i].eft.get<std::string>());
    }
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(csv.exit_status, 0);
}

const std::string table_text = "# layouts\nB 026009593 D 1 7 6 R\n";

TEST(MicrparseKeys, ExplainNamesWhatSplitTheOnUsField) {
    const json none = nullptr;
    auto split = [](json table_line, json account, json csn, json tpc) {
        return json{{"table_line", table_line}, {"account", account}, {"csn", csn}, {"tpc", tpc}};
    };
    const struct {
        const char* why;
        std::vector<std::string> args;
        const char* line;
        json split_by;
    } rows[] = {
        {"a table entry names its line", {}, "t026009593t 001234 5678901o a0000004250a", split(2, none, none, none)},
        {"default rules name themselves",
         {},
         "t123456780t 1234567o 001 a0000001000a",
         split(none, "middle-lone-account", none, "right-lone-code")},
        {"the serial number from the auxiliary on-us field",
         {},
         "o001234o 5 t123456780t 1211d1234d56789o a0000012345a",
         split(none, "account-after-serial", "auxiliary-serial", none)},
        {"a split that ran and filled nothing", {}, "t123456780t o a1a", split(none, none, none, none)},
        {"a parse that stopped splits nothing", {}, "t1234567?0t 1234?678o 0101 a0000012500a", none},
        {"salvage splits the unreadable on-us field",
         {"--salvage"},
         "t1234567?0t 1234?678o 0101 a0000012500a",
         split(none, "account-after-serial", "right-lone-serial", none)},
        {"salvage takes no entry by an unreadable routing number",
         {"--salvage"},
         "t02600959?t 001234 5678901o a0000004250a",
         split(none, "middle-account", none, none)},
        {"salvage cannot split an on-us field that never ended", {"--salvage"}, "1234 a1a", none},
        {"no on-us field, nothing to split", {}, "a12a", none},
    };
    const temp_dir dir(false);
    write_file(dir.file("layouts.dat"), table_text);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::vector<std::string> args = {"--table=layouts.dat", "--explain"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const program_run run = run_program(micrparse, args, dir.path(), std::string(row.line) + "\n");
        const std::vector<json> records = records_of(run.out);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0]["split_by"], row.split_by);
        EXPECT_EQ(run.exit_status, 0);

        args.push_back("--format=csv");
        const auto table = rows_of(run_program(micrparse, args, dir.path(), std::string(row.line) + "\n").out);
        for (const char* member : {"table_line", "account", "csn", "tpc"}) {
            const json& value = row.split_by.is_null() ? none : row.split_by[member];
            EXPECT_EQ(column_of(table, std::string("split_") + member),
                      std::vector<std::string>{value.is_null()     ? ""
                                               : value.is_number() ? value.dump()
                                                                   : value.get<std::string>()})
                << member;
        }
    }
}

// Over generated lines, plain and salvage: split_by holds exactly what
// micr_parse_explained names, and a record without one has no split field.
TEST(MicrparseKeys, ExplainAgreesWithTheLibraryOnGeneratedLines) {
    const std::string entries = "B 026009593 D 1 7 6 R\nP 011000015 A 1 0 4 L\nB 123456780 A 2 1 3 R\n";
    struct table_deleter {
        void operator()(micr_table* t) const { micr_table_free(t); }
    };
    const std::unique_ptr<micr_table, table_deleter> table(micr_table_from_text(entries.data(), entries.size()));
    const temp_dir dir(false);
    write_file(dir.file("layouts.dat"), entries);
    micr_test::generator lines(20261209);
    std::vector<std::string> input;
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        input.push_back(lines.line());
        text += input.back() + "\n";
    }
    for (const unsigned flags : {0u, unsigned{MICR_SALVAGE}}) {
        std::vector<std::string> args = {"--table=layouts.dat", "--explain"};
        if (flags != 0) args.push_back("--salvage");
        const std::vector<json> records = records_of(run_program(micrparse, args, dir.path(), text).out);
        ASSERT_EQ(records.size(), input.size());
        int splits = 0, nulls = 0;
        for (std::size_t i = 0; i < input.size(); ++i) {
            SCOPED_TRACE(input[i]);
            micr_result r;
            micr_explanation why;
            micr_parse_explained(table.get(), input[i].data(), input[i].size(), flags, &r, &why);
            const json& split_by = records[i]["split_by"];
            if (split_by.is_null()) {
                ++nulls;
                EXPECT_EQ(why.table_line, 0);
                EXPECT_EQ(why.account_rule, nullptr);
                EXPECT_EQ(why.csn_rule, nullptr);
                EXPECT_EQ(why.tpc_rule, nullptr);
                EXPECT_NE(r.exception_state, EX_USED);
                for (const char* field : {"account", "csn", "tpc"})
                    EXPECT_EQ(records[i][std::string(field) + "_status"], "MISSING") << field;
                continue;
            }
            ++splits;
            auto named = [](const char* rule) { return rule != nullptr ? json(rule) : json(nullptr); };
            EXPECT_EQ(split_by["table_line"], why.table_line != 0 ? json(why.table_line) : json(nullptr));
            EXPECT_EQ(split_by["account"], named(why.account_rule));
            EXPECT_EQ(split_by["csn"], named(why.csn_rule));
            EXPECT_EQ(split_by["tpc"], named(why.tpc_rule));
            EXPECT_EQ(r.exception_state == EX_USED, why.table_line != 0);
        }
        // Both outcomes are common, so the agreement says something.
        EXPECT_GT(splits, 300);
        EXPECT_GT(nulls, 300);
    }
}

TEST(MicrparseKeys, DirectoryNamesTheBankOfAListedRoutingNumber) {
    const std::string listed = routing("12345678"), moved = routing("01100001"), successor = routing("02100002"),
                      reserve = routing("02600959"), unlisted = routing("98765432");
    const std::string directory = fedach(reserve, '0', "000000000", "FEDERAL RESERVE BANK", "NEW YORK", "NY") + "\n" +
                                  fedach(listed, '1', "000000000", "FIRST \"TEST\" BANK, N.A.", "SPRINGFIELD", "IL") +
                                  "\r\n\n" + fedach(moved, '2', successor, "OLD TEST BANK", "BOSTON", "MA") + "\n";
    const json none = nullptr;
    auto bank = [](json name, json city, json state, json new_routing) {
        return json{{"name", name}, {"city", city}, {"state", state}, {"new_routing", new_routing}};
    };
    const struct {
        const char* why;
        std::string line;
        json bank;
    } rows[] = {
        {"a listed bank", "t" + listed + "t 12345678o a1a",
         bank("FIRST \"TEST\" BANK, N.A.", "SPRINGFIELD", "IL", none)},
        {"a bank that moved names its new routing number", "t" + moved + "t 12345678o a1a",
         bank("OLD TEST BANK", "BOSTON", "MA", successor)},
        {"a Federal Reserve Bank", "t" + reserve + "t 12345678o a1a",
         bank("FEDERAL RESERVE BANK", "NEW YORK", "NY", none)},
        {"a routing number the directory does not list", "t" + unlisted + "t 12345678o a1a", none},
        {"a Canadian transit is not looked up", "t12345d678t 1234567o 001 a1a", none},
        {"a routing number that fails its check digit", "t123456789t 12345678o a1a", none},
        {"a transit that was not read", "t1234567?0t 12345678o a1a", none},
    };
    std::string input;
    for (const auto& row : rows) input += row.line + "\n";
    const temp_dir dir(false);
    write_file(dir.file("fedach.txt"), directory);
    const program_run run = run_program(micrparse, {"--no-table", "--directory", "fedach.txt"}, dir.path(), input);
    const program_run csv =
        run_program(micrparse, {"--no-table", "--directory=fedach.txt", "--format", "csv"}, dir.path(), input);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(csv.exit_status, 0);
    const std::vector<json> records = records_of(run.out);
    const auto table = rows_of(csv.out);
    ASSERT_EQ(records.size(), std::size(rows));
    for (const char* member : {"name", "city", "state", "new_routing"}) {
        const std::vector<std::string> cells = column_of(table, std::string("bank_") + member);
        ASSERT_EQ(cells.size(), std::size(rows));
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            SCOPED_TRACE(rows[i].why);
            const json& value = rows[i].bank.is_null() ? none : rows[i].bank[member];
            EXPECT_EQ(cells[i], value.is_null() ? "" : value.get<std::string>()) << member;
        }
    }
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].why);
        EXPECT_EQ(records[i]["bank"], rows[i].bank);
    }
}

TEST(MicrparseKeys, DirectoriesAreCheckedWholeBeforeAnyRecord) {
    const std::string good = fedach(routing("12345678"), '1', "000000000", "FIRST TEST BANK", "SPRINGFIELD", "IL");
    const std::string problems = good + "\n" + good.substr(1) + "\n" +
                                 fedach("123456789", '1', "000000000", "BAD CHECK DIGIT", "X", "IL") + "\n" +
                                 fedach(routing("01100001"), '3', "000000000", "BAD TYPE", "X", "IL") + "\n";
    const std::string report =
        "%s:2: line has 154 bytes; this FedACH directory's lines have 155\n"
        "%s:3: routing number '123456789' fails its check digit\n"
        "%s:4: record type '3' must be 0, 1 or 2\n";
    auto reported = [&report](const std::string& name) {
        std::string r = report;
        for (std::size_t at; (at = r.find("%s")) != std::string::npos;) r.replace(at, 2, name);
        return r;
    };
    const std::string line = "t123456780t 12345678o a1a\n";
    const struct {
        const char* why;
        std::vector<std::string> args;
        bool writes;  // records on standard output
        std::string err;
        int exit_status;
    } rows[] = {
        {"a clean directory is used", {"--directory", "good.txt"}, true, "", 0},
        {"every problem is reported and nothing is written", {"--directory", "bad.txt"}, false, reported("bad.txt"), 1},
        {"the same in CSV: not even the header",
         {"--format=csv", "--directory=bad.txt"},
         false,
         reported("bad.txt"),
         1},
        {"a directory that cannot be opened",
         {"--directory=missing.txt"},
         false,
         "micrparse: cannot open directory 'missing.txt': No such file or directory\n",
         1},
        {"a folder is no directory file",
         {"--directory=folder"},
         false,
         "micrparse: cannot open directory 'folder': Is a directory\n",
         1},
        {"--check-directory: no problems, exit 0, no input read", {"--check-directory", "good.txt"}, false, "", 0},
        {"--check-directory: problems reported, exit 1", {"--check-directory=bad.txt"}, false, reported("bad.txt"), 1},
        {"--check-directory: cannot be opened",
         {"--check-directory=missing.txt"},
         false,
         "micrparse: cannot open directory 'missing.txt': No such file or directory\n",
         1},
        {"--check-directory with an input file",
         {"--check-directory=good.txt", "in.txt"},
         false,
         "micrparse: option '--check-directory' takes no other option and no file\n" + hint,
         1},
        {"--check-directory with standard input named",
         {"-", "--check-directory", "good.txt"},
         false,
         "micrparse: option '--check-directory' takes no other option and no file\n" + hint,
         1},
        {"--check-directory with another option",
         {"--format=csv", "--check-directory=good.txt"},
         false,
         "micrparse: option '--check-directory' takes no other option and no file\n" + hint,
         1},
        {"--check-directory with --directory",
         {"--check-directory=good.txt", "--directory=good.txt"},
         false,
         "micrparse: option '--check-directory' takes no other option and no file\n" + hint,
         1},
        {"two checks at once",
         {"--check-table=layouts.dat", "--check-directory=good.txt"},
         false,
         "micrparse: option '--check-directory' takes no other option and no file\n" + hint,
         1},
        {"--check-table stands alone too",
         {"--check-table=layouts.dat", "--explain"},
         false,
         "micrparse: option '--check-table' takes no other option and no file\n" + hint,
         1},
        {"--directory without its file",
         {"--directory"},
         false,
         "micrparse: option '--directory' needs a file name\n" + hint,
         1},
        {"--check-directory without its file",
         {"--check-directory"},
         false,
         "micrparse: option '--check-directory' needs a file name\n" + hint,
         1},
    };
    const temp_dir dir(false);
    write_file(dir.file("good.txt"), good + "\n");
    write_file(dir.file("bad.txt"), problems);
    write_file(dir.file("in.txt"), line);
    write_file(dir.file("layouts.dat"), table_text);
    std::filesystem::create_directory(dir.file("folder"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_program(micrparse, row.args, dir.path(), line);
        if (row.writes)
            EXPECT_EQ(records_of(run.out).size(), 1u);
        else
            EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

TEST(MicrparseKeys, X9FieldsOfTheWorkedLines) {
    const std::string blank15(15, ' ');
    auto x9 = [](const char* aux, const char* epc, const char* routing_, const char* check, const char* on_us,
                 const char* amount, const char* valid, json unusable) {
        return json{{"auxiliary_on_us", aux}, {"epc", epc},       {"routing", routing_}, {"check_digit", check},
                    {"on_us", on_us},         {"amount", amount}, {"micr_valid", valid}, {"unusable", unusable}};
    };
    const struct {
        const char* line;
        json x9;
    } rows[] = {
        {"o001234o 5 t123456780t 1211d1234d56789o a0000012345a",
         x9("         001234", "5", "12345678", "0", "    1211-1234-56789/", "0000012345", "1", json::array())},
        // A Canadian transit is no US routing number.
        {"t12345d678t 1234567o 001 a0000001000a",
         x9(blank15.c_str(), " ", "        ", " ", "        1234567/ 001", "0000001000", "1", {"routing"})},
        // Read error and a field missing: the parse stopped at the on-us field.
        {"t1234567?0t 1234?678o 0101 a0000012500a", x9(blank15.c_str(), " ", "        ", " ", "      1234*678/ 0101",
                                                       "0000012500", "4", {"auxiliary_on_us", "routing"})},
    };
    std::string input;
    for (const auto& row : rows) input += std::string(row.line) + "\n";
    const temp_dir dir(false);
    const program_run run = run_program(micrparse, {"--x9"}, dir.path(), input);
    const program_run csv = run_program(micrparse, {"--x9", "--format=csv"}, dir.path(), input);
    const std::vector<json> records = records_of(run.out);
    const auto table = rows_of(csv.out);
    ASSERT_EQ(records.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].line);
        EXPECT_EQ(records[i]["x9"], rows[i].x9);
        for (const auto& [member, value] : rows[i].x9.items()) {
            std::string cell;
            if (value.is_string()) {
                cell = value.get<std::string>();
            } else {
                for (const auto& name : value) cell += (cell.empty() ? "" : "|") + name.get<std::string>();
            }
            EXPECT_EQ(column_of(table, "x9_" + member).at(i), cell) << member;
        }
    }
}

// Every key and column in order with every option on, and error records
// that keep their form: file, line and error, the other cells empty.
TEST(MicrparseKeys, KeyOrderAndErrorRecordsWithEveryOption) {
    const temp_dir dir(false);
    write_file(dir.file("layouts.dat"), table_text);
    write_file(dir.file("fedach.txt"),
               fedach(routing("12345678"), '1', "000000000", "FIRST TEST BANK", "SPRINGFIELD", "IL") + "\n");
    const std::vector<std::string> every = {"--table=layouts.dat", "--explain", "--directory=fedach.txt", "--x9",
                                            "--encoding=utf8"};
    const std::string input = "t123456780t 12345678o 0101 a0000012500a\n" + std::string("a1\0a\n", 5) +
                              std::string(4096, '1') +
                              "\na\xe9"
                              "a\n";

    const std::vector<std::string> keys = {"file",
                                           "line",
                                           "micr",
                                           "status",
                                           "exception_state",
                                           "unrecognized_symbols",
                                           "amount",
                                           "amount_status",
                                           "account",
                                           "account_status",
                                           "tpc",
                                           "tpc_status",
                                           "csn",
                                           "csn_status",
                                           "transit",
                                           "transit_status",
                                           "epc",
                                           "epc_status",
                                           "onus",
                                           "onus_status",
                                           "auxonus",
                                           "auxonus_status",
                                           "amount_cents",
                                           "transit_form",
                                           "routing_repair",
                                           "eft_routing",
                                           "split_by",
                                           "bank",
                                           "x9"};
    const std::vector<std::string> split = {"table_line", "account", "csn", "tpc"},
                                   bank = {"name", "city", "state", "new_routing"},
                                   x9 = {"auxiliary_on_us", "epc",    "routing",    "check_digit",
                                         "on_us",           "amount", "micr_valid", "unusable"};
    auto keys_of = [](const json& object) {
        std::vector<std::string> names;
        for (const auto& item : object.items()) names.push_back(item.key());
        return names;
    };
    const program_run run = run_program(micrparse, every, dir.path(), input);
    const std::vector<json> records = records_of(run.out);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(keys_of(records[0]), keys);
    EXPECT_EQ(keys_of(records[0]["split_by"]), split);
    EXPECT_EQ(keys_of(records[0]["bank"]), bank);
    EXPECT_EQ(keys_of(records[0]["x9"]), x9);
    const char* const reasons[] = {"line holds a NUL byte", "line longer than 4095 bytes", "line is not valid UTF-8"};
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(records[i], (json{{"file", "-"}, {"line", i + 1}, {"error", reasons[i - 1]}}));
    EXPECT_EQ(run.exit_status, 0);

    std::vector<std::string> every_csv = every;
    every_csv.push_back("--format=csv");
    const program_run csv = run_program(micrparse, every_csv, dir.path(), input);
    const auto table = rows_of(csv.out);
    std::vector<std::string> columns;
    for (const std::string& key : keys) {
        if (key == "amount_cents") columns.push_back("error");
        if (key == "split_by")
            for (const std::string& m : split) columns.push_back("split_" + m);
        else if (key == "bank")
            for (const std::string& m : bank) columns.push_back("bank_" + m);
        else if (key == "x9")
            for (const std::string& m : x9) columns.push_back("x9_" + m);
        else
            columns.push_back(key);
    }
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[0], columns);
    EXPECT_EQ(table[1].size(), columns.size());
    for (std::size_t i = 2; i < 5; ++i) {
        std::vector<std::string> error_row(columns.size());
        error_row[0] = "-";
        error_row[1] = std::to_string(i);
        error_row[static_cast<std::size_t>(std::find(columns.begin(), columns.end(), "error") - columns.begin())] =
            reasons[i - 2];
        EXPECT_EQ(table[i], error_row);
    }
    EXPECT_EQ(csv.exit_status, 0);
}

}  // namespace
