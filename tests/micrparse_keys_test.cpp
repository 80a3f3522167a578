// End-to-end runs of micrparse for the keys beyond a line's fields:
// eft_routing and transit_form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "test_support.h"

namespace {

using json = nlohmann::ordered_json;
using micr_test::program_run;
using micr_test::run_program;
using micr_test::temp_dir;

const std::string micrparse = MICRPARSE_PATH;

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

}  // namespace
