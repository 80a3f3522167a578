// A generated corpus of cheque code lines and exception tables for the
// benchmarks and the whole-program measurement.
//
// The corpus is deterministic: a fixed generator start value gives the same
// lines and tables on every machine and compiler, so figures taken on
// different days measure the same work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fields.h"

namespace micr_bench {

inline constexpr std::uint64_t default_start_value = 0x4d494352'20202020u;

// splitmix64: tiny, fast and the same on every platform, unlike the standard library's
// distributions, whose output differs between implementations.
class number_source {
public:
    explicit number_source(std::uint64_t start) : state_(start) {}
    std::uint64_t next();
    int below(int n);  // 0 .. n-1
    bool percent(int p) { return below(100) < p; }
    std::string digits(int count);
    std::string digits_between(int shortest, int longest) { return digits(shortest + below(longest - shortest + 1)); }

private:
    std::uint64_t state_;
};

// A routing number whose ABA check digit holds, as the library computes it.
std::string aba_routing_number(number_source& numbers);

// The on-us layouts that the generated exception-table entries describe.
enum class table_layout {
    serial_left_of_account,  // B .. D 1 7 6 R:  "001234 5678901o"
    serial_right_with_code,  // P .. A 1 0 4 L:  "1234567890o 0101"
    serial_before_branch,    // B .. D 1 3 6 L:  "1234567890 001234 012o"
};
inline constexpr int table_layout_count = 3;

struct table_bank {
    std::string routing;
    table_layout layout;
};

// One exception-table line (with its line feed) for `bank`.
std::string table_entry(const table_bank& bank);

// Throws unless the library loads `table` without a malformed line and finds
// an entry in it for each of `routings`: the generated tables are held to the
// library's own reading of the format, not to this file's idea of it.
void check_table(const std::string& table, const std::vector<std::string>& routings);

enum class cheque_kind { personal, business, canadian, table_bank, misread, malformed };
const char* kind_name(cheque_kind kind);

// One test case: the code line as the reader delivers it (reading order) and
// what a tester would write down as expected for it.
struct cheque {
    cheque_kind kind{};
    std::string line;
    int status = 0;  // expected overall status
    // Expected text and status per field, indexed by micr::field_index; a field
    // the cheque does not print stays empty and MISSING.
    std::array<std::string, micr::field_count> text{};
    std::array<int, micr::field_count> field_status = [] {
        std::array<int, micr::field_count> all{};
        all.fill(MICR_ST_MISSING);
        return all;
    }();
};

struct corpus {
    std::vector<cheque> cheques;
    std::vector<table_bank> banks;  // the banks of the 20-entry table
    std::string table_20;           // PARSE.DAT with one entry per bank
    std::string table_1000;         // the same 20 entries among 980 other banks
};

// Every third cheque (index 0, 3, 6, ...) comes from a bank of the 20-entry
// table, with that bank's layout and nothing misread.  The rest are
// personal and business cheques of other US banks, Canadian cheques with
// dash transits, misread lines and malformed lines.  In the 1,000-entry
// table the 20 banks stand at every 50th entry (50th, 100th, ... 1,000th),
// as in a table kept in no particular order; no other corpus bank is in it.
corpus make_corpus(std::size_t count, std::uint64_t start = default_start_value);

// The line of a test-case file for `c`, with its line feed: the expected
// fields in the order that micrtest reads them (micr::case_file_order).
std::string test_case_line(const cheque& c, std::size_t label);

// The input of the batch measurement: `line_count` code lines of the form
//   t<routing>t <n> <10 digits>o <4 digits> a<10 digits>a
// each with the routing number of one of the 1,000 entries of `table`.
struct batch_input {
    std::string table;
    std::string lines;
};
batch_input make_batch_input(std::size_t line_count, std::uint64_t start = default_start_value);

// How far the parser reads PARSE.DAT for each line, found by parsing every
// line once in the current directory (which holds `table`, or no PARSE.DAT
// when `table` is null): 0 when the parse never reaches the table step,
// otherwise the number of read() calls of table_read_size bytes up to the
// point where the search stops (the matching line, or the end of the
// table); without a table, 1 for the one failed open.
std::vector<unsigned char> table_reads(const std::vector<std::string>& reversed_lines, const std::string* table);

// The lines reversed, as the parser takes them.
std::vector<std::string> reversed_lines(const std::vector<cheque>& cheques);

}  // namespace micr_bench
