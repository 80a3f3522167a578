// Exception tables inside the parser: the entry that lays out one bank's
// on-us field, how a table line is judged, the index from routing number to
// entry, and the one question a parse asks of a table.  Not installed:
// callers use micr.h.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "micr.h"
#include "routing_number.h"

namespace micr {

struct text_source;
struct text_line;

// The table a program looks for in its working directory when none is named.
inline constexpr char default_table_name[] = "PARSE.DAT";

// parse_micr_line reads its table in chunks of this size, through a buffer
// on the stack.
inline constexpr std::size_t table_read_size = 4096;

// One exception-table entry: the layout of the on-us field for one routing number.
struct exception_entry {
    signed char section_number;  // the on-us section that holds account and serial number
    char blank_mode;             // 'D' removes the section's blanks before counting, 'A' keeps them
    signed char serial_offset;   // characters right of the serial number
    signed char serial_length;
    char account_side;  // 'R': the characters right of the serial number; 'L': all left of it
    long line;          // where it stands in its table, from 1
};

// What a parse asks of an exception table: the entry for the routing number
// `transit` (reading order).  MICR_EX_USED fills `entry`; MICR_EX_NORMAL when the table
// has none; MICR_EX_INVALID when a malformed line comes before any entry for it;
// MICR_EX_OPEN_ERR when the table could not be opened or read that far.  Where
// the table comes from (loaded once, or a file read per parse) is the
// implementation's business.
class exception_table {
public:
    virtual micr_exception_state find_entry(std::string_view transit, exception_entry& entry) const = 0;

protected:
    ~exception_table() = default;
};

// No table: every routing number is MICR_EX_NORMAL, and the default split runs.
const exception_table& no_table();

// The look-up of a loaded table; no_table() for NULL.
const exception_table& table_lookup(const micr_table* table);

// The verdict on one line of a table, shared by every reader of tables, so
// that all of them judge a line alike.
enum class table_line_kind { skipped, entry, malformed };
enum class table_problem {
    none,
    too_long,
    holds_nul,
    few_tokens,
    routing_length,
    entry_type,
    blank_mode,
    account_side,
};
inline constexpr std::size_t table_line_size = 256;  // 255 characters and the terminator
inline constexpr int entry_token_count = 7;

struct table_line {
    table_line_kind kind = table_line_kind::skipped;
    table_problem problem = table_problem::none;
    std::string_view tokens[entry_token_count] = {};
};

// `line` as read into a buffer of table_line_size bytes, with what the reader
// found out about it.
table_line judge_table_line(const char* line, const text_line& info);
// Fills an entry from the tokens of a well-formed line, line `number` of its table.
exception_entry read_entry(const table_line& line, long number);
// The routing token of an entry against a transit number, both in reading order.
bool routing_matches(std::string_view routing, std::string_view transit);
// The message of a problem, as micr_table_problem_message gives it.
void describe_table_problem(const table_line& line, char* message, std::size_t size);

// The entries of a table that a search from its first line can reach, by
// routing number: the first entry of each number, none below a malformed
// line.  Only a routing number of nine digits can ever match a transit field.
class table_index {
public:
    // Adds the lines in file order; `number` counts from 1.
    void add(const table_line& line, long number);
    bool malformed() const { return malformed_; }
    // The first entry for `transit`, or null.
    const exception_entry* find(std::string_view transit) const;
    // How many slots a look-up of `transit` inspects: the work it costs.
    std::size_t probes(std::string_view transit) const;

private:
    routing_index index_;
    std::vector<exception_entry> entries_;
    bool malformed_ = false;
};

// A malformed line of a file, as the C interface reports it.
struct file_problem {
    long line;
    std::string message;
};

// The most a table or directory file may hold: one path that names something
// huge cannot exhaust memory.
inline constexpr std::size_t largest_table_file = std::size_t{64} << 20;

// Appends what is left of `source` to `bytes`; false with errno set on a read
// error, beyond largest_table_file (EFBIG) or out of memory (ENOMEM).
bool read_capped(text_source& source, std::string& bytes);

// Reads the whole file at `path`: a regular file or a pipe, not a directory
// (EISDIR), at most largest_table_file; false with errno set.
bool read_whole_file(const char* path, std::string& bytes);

// What the C interface's open and from_text functions share for tables and
// directories: `make(text, length)` over the whole file at `path`, or over
// `length` bytes of text (NULL text of length 0: an empty one); NULL with
// errno (EINVAL for NULL text of another length, ENOMEM when out of memory).
template <class Make>
auto made_from_file(const char* path, Make make) -> decltype(make("", 0)) {
    std::string bytes;
    if (!read_whole_file(path, bytes)) return nullptr;
    try {
        return make(bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return nullptr;
    }
}

template <class Make>
auto made_from_text(const char* text, std::size_t length, Make make) -> decltype(make("", 0)) {
    if (text == nullptr && length > 0) {
        errno = EINVAL;
        return nullptr;
    }
    try {
        return make(text != nullptr ? text : "", length);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return nullptr;
    }
}

// Problem `index` of a list, as the C interface gives it: line 0 and "" past the end.
inline long problem_line(const std::vector<file_problem>* problems, std::size_t index) {
    return problems != nullptr && index < problems->size() ? (*problems)[index].line : 0;
}
inline const char* problem_message(const std::vector<file_problem>* problems, std::size_t index) {
    return problems != nullptr && index < problems->size() ? (*problems)[index].message.c_str() : "";
}

// Reads a whole table file from `source` into a table; NULL with errno set on
// a read error or beyond the size limit.
micr_table* read_table(text_source& source);

// A table file read once, on the first look-up: micrtest's PARSE.DAT.  Every
// look-up gives what a search of the file from its first line would give,
// read afresh: a file that is missing or no regular file is MICR_EX_OPEN_ERR; a
// read that fails part-way leaves the entries above it usable and makes
// every other number MICR_EX_OPEN_ERR.  There is no size limit, as there is none
// for a search.  For one thread.
class table_file final : public exception_table {
public:
    explicit table_file(const char* path) : path_(path) {}
    micr_exception_state find_entry(std::string_view transit, exception_entry& entry) const override;
    // Reads the table from an open source instead of the path, before the
    // first look-up.
    void load(text_source& source) const;

private:
    const char* path_;
    mutable bool loaded_ = false;
    mutable bool opened_ = false;
    mutable bool read_failed_ = false;
    mutable long lines_ = 0;
    mutable table_index index_;
};

// The search of one parse_micr_line through a table file, from its first
// line: stops at the first matching entry (MICR_EX_USED, entry filled), the first
// malformed line (MICR_EX_INVALID), a read error (MICR_EX_OPEN_ERR) or the end
// (MICR_EX_NORMAL).  `transit` is in reading order.
micr_exception_state search_table(text_source& table, std::string_view transit, exception_entry& entry);

}  // namespace micr
