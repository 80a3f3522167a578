// Routing directories in both of the Federal Reserve's layouts: lines that
// load, each kind of problem with its line number, and look-ups.  The files
// are made here; no real directory is shipped.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "micr.h"

namespace {

struct directory_deleter {
    void operator()(micr_directory* d) const { micr_directory_free(d); }
};
using directory_ptr = std::unique_ptr<micr_directory, directory_deleter>;

// `text` laid into a line of `length` blanks at columns first..first+size-1 (from 1).
void put(std::string& line, std::size_t first, const std::string& text) { line.replace(first - 1, text.size(), text); }

std::string fedach(const std::string& routing, char type = '1', const std::string& new_routing = "000000000",
                   const std::string& name = "FIRST BANK OF TESTING", const std::string& city = "SPRINGFIELD",
                   const std::string& state = "IL") {
    std::string line(155, ' ');
    put(line, 1, routing);
    put(line, 10, "O");
    put(line, 11, "011000015");
    line[19] = type;
    put(line, 21, "120126");
    put(line, 27, new_routing);
    put(line, 36, name);
    put(line, 72, "1 MAIN STREET");
    put(line, 108, city);
    put(line, 128, state);
    put(line, 130, "627010000");
    put(line, 139, "2175550100");
    put(line, 149, "11");
    return line;
}

std::string fedwire(const std::string& routing, const std::string& name = "SECOND NATIONAL TEST BANK",
                    const std::string& city = "A CITY OF TWENTY-FIVE CHS", const std::string& state = "NY") {
    std::string line(101, ' ');
    put(line, 1, routing);
    put(line, 10, "SECOND NATL TEST");
    put(line, 28, name);
    put(line, 64, state);
    put(line, 66, city);
    put(line, 91, "YNY20261201");
    return line;
}

directory_ptr directory_from(const std::string& text) {
    return directory_ptr(micr_directory_from_text(text.data(), text.size()));
}

std::vector<std::pair<long, std::string>> problems_of(const micr_directory* d) {
    std::vector<std::pair<long, std::string>> out;
    for (std::size_t i = 0; i < micr_directory_problem_count(d); ++i)
        out.emplace_back(micr_directory_problem_line(d, i), micr_directory_problem_message(d, i));
    return out;
}

TEST(RoutingDirectory, EachProblemWithItsLineNumber) {
    const std::string ok = fedach("011000015");
    const struct {
        const char* why;
        std::string text;
        std::vector<std::pair<long, std::string>> problems;
    } rows[] = {
        {"clean FedACH, CR LF and empty lines", ok + "\r\n\r\n" + fedach("123456780") + "\n\n", {}},
        {"clean Fedwire, last line without a line feed", fedwire("011000015") + "\n" + fedwire("123456780"), {}},
        {"154 and 156 bytes",
         ok + "\n" + ok.substr(1) + "\n" + ok + "x\n",
         {{2, "line has 154 bytes; this FedACH directory's lines have 155"},
          {3, "line has 156 bytes; this FedACH directory's lines have 155"}}},
        {"a first line of neither length makes every line a problem",
         "x\n" + ok + "\n",
         {{1, "line has 1 bytes; a directory's lines have 155 (FedACH) or 101 (Fedwire)"},
          {2, "line has 155 bytes; a directory's lines have 155 (FedACH) or 101 (Fedwire)"}}},
        {"a NUL byte and a byte above 127",
         fedach("011000015", '1', "000000000", std::string("A\0B", 3)) + "\n" +
             fedach("123456780", '1', "000000000", "CAF\xc9") + "\n",
         {{1, "byte 0x00 in column 37 is not printable ASCII"}, {2, "byte 0xC9 in column 39 is not printable ASCII"}}},
        {"a CR inside a line is no line end",
         fedach("011000015").replace(40, 1, "\r") + "\n",
         {{1, "byte 0x0D in column 41 is not printable ASCII"}}},
        {"routing numbers that cannot be",
         fedach("01100001X") + "\n" + fedach("000000000") + "\n" + fedach("123456789"),
         {{1, "routing number '01100001X' is not nine digits"},
          {2, "routing number '000000000' is all zeros"},
          {3, "routing number '123456789' fails its check digit"}}},
        {"record type and new routing number",
         fedach("011000015", '3') + "\n" + fedach("123456780", '1', "12345678 ") + "\n" + fedach("026009593", '2') +
             "\n" + fedach("021000021", '2', "123456789") + "\n",
         {{1, "record type '3' must be 0, 1 or 2"},
          {2, "new routing number '12345678 ' is not nine digits"},
          {3, "new routing number '000000000' is all zeros"},
          {4, "new routing number '123456789' fails its check digit"}}},
        {"a number listed twice; a line that was a problem does not count",
         fedach("011000015", '3') + "\n" + ok + "\n" + ok + "\n",
         {{1, "record type '3' must be 0, 1 or 2"}, {3, "routing number 011000015 is listed already on line 2"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const directory_ptr d = directory_from(row.text);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(problems_of(d.get()), row.problems);
        EXPECT_EQ(micr_directory_problem_line(d.get(), row.problems.size()), 0);
        EXPECT_STREQ(micr_directory_problem_message(d.get(), row.problems.size()), "");
    }
}

TEST(RoutingDirectory, LookUpInEitherLayout) {
    const directory_ptr ach = directory_from(
        fedach("011000015", '2', "021000021", "OLD BANK OF TESTING", "CITY", "MA") + "\r\n" + fedach("123456780", '0'));
    const directory_ptr wire = directory_from(fedwire("021000021") + "\n");
    const struct {
        const micr_directory* directory;
        const char* routing;
        bool listed;
        const char* name;
        const char* city;
        const char* state;
        const char* new_routing;
    } rows[] = {
        {ach.get(), "011000015", true, "OLD BANK OF TESTING", "CITY", "MA", "021000021"},
        {ach.get(), "123456780", true, "FIRST BANK OF TESTING", "SPRINGFIELD", "IL", ""},
        {ach.get(), "021000021", false, "", "", "", ""},
        {ach.get(), "12345678", false, "", "", "", ""},
        {ach.get(), "12345d678", false, "", "", "", ""},
        {wire.get(), "021000021", true, "SECOND NATIONAL TEST BANK", "A CITY OF TWENTY-FIVE CHS", "NY", ""},
        {nullptr, "021000021", false, "", "", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.routing);
        micr_bank bank;
        std::memset(&bank, 0, sizeof bank);
        EXPECT_EQ(micr_directory_find(row.directory, row.routing, &bank), row.listed ? 1 : 0);
        EXPECT_STREQ(bank.name, row.name);
        EXPECT_STREQ(bank.city, row.city);
        EXPECT_STREQ(bank.state, row.state);
        EXPECT_STREQ(bank.new_routing, row.new_routing);
    }
    const directory_ptr empty(micr_directory_from_text(nullptr, 0));
    ASSERT_NE(empty, nullptr);
    errno = 0;
    EXPECT_EQ(micr_directory_from_text(nullptr, 1), nullptr);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(micr_directory_open("/"), nullptr);
    EXPECT_EQ(errno, EISDIR);
}

}  // namespace
