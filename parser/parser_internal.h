// Internals of the MICR parser shared between its source files and its tests.
// Not installed: callers use micr.h.
//
// One parse works only in the record and the cursor it is handed, and in
// buffers on its own stack: nothing on the parse path is static or global.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fields.h"
#include "micr.h"

namespace micr {

struct text_source;

// Room for a whole on-us text as the line parser accepts it, terminator included.
inline constexpr std::size_t onus_text_room = static_cast<std::size_t>(fields[onus_field].limit) + 1;

// PARSE.DAT is read in chunks of this size, through a buffer on the stack.
inline constexpr std::size_t table_read_size = 4096;

// The code line in scan order: the parser reads it from its right-hand end,
// the amount field, leftwards.  The text is either reversed already (as
// parse_micr_line takes it) or as printed (as micr_parse takes it); the
// cursor hides which.
struct scan_cursor {
    const char* text = nullptr;
    std::ptrdiff_t first = 0;  // index in `text` of the character scanned first
    std::ptrdiff_t step = 1;   // +1 over reversed text, -1 over text as printed
    std::size_t length = 0;
    std::size_t position = 0;  // characters passed so far

    bool at_end() const { return position == length; }
    // The character at the cursor; only when not at_end().
    char current() const { return text[first + step * static_cast<std::ptrdiff_t>(position)]; }
    void advance() { ++position; }
};

scan_cursor reversed_text_cursor(const char* reversed, std::size_t length);
scan_cursor printed_text_cursor(const char* printed, std::size_t length);

// Which exception table a parse consults.
struct table_source {
    enum kind_type { none, parse_dat, loaded } kind = none;
    const micr_table* table = nullptr;  // for `loaded`
};

// One exception-table entry: the layout of the on-us field for one routing number.
struct exception_entry {
    char entry_type;
    char routing_number[10];  // nine characters and the terminator
    signed char section_number;
    char blank_mode;
    signed char serial_offset;
    signed char serial_length;
    char account_side;
};

// Result record (result.cpp).
void reset_result(micr_result& r);
void restore_field_order(micr_result& r);

// Text primitives (scan.cpp).
// Scans from the cursor up to `terminator` into `destination`, at most
// `limit` characters from the allowed set of field `allowed`, and returns
// the field status.  A too-long field keeps what fits in `destination_size`.
signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_id allowed,
                       signed char limit, char terminator);
void trim_blanks(char* text);
int count_digits(const char* text);
// Copies `source` into a split field (account, tpc, csn) and sets its status:
// UNRECOG with '?', OK otherwise; a source longer than the field keeps what
// fits and is TOOLONG.
void set_subfield(const char* source, micr_result& r, field_id field);
// The same for `length` characters of `source`.
void set_subfield(const char* source, std::size_t length, micr_result& r, field_id field);
void reverse_text(char* text);
void reverse_text(char* text, std::size_t length);
// Removes the blanks at both ends of a text of `length` characters.
void trim_blanks(char* text, std::size_t length);

// The length of a text in a buffer of `width` bytes that holds its
// terminator, eight bytes at a time and without a call: the record's texts
// are short, and a call of the C library's strlen costs more than they take.
inline std::size_t text_length(const char* text, std::size_t width) {
    constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= width; i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        // The lowest byte flagged is the first zero byte (little-endian).
        const std::uint64_t zero = (word - ones) & ~word & highs;
        if (zero != 0) return i + static_cast<std::size_t>(std::countr_zero(zero)) / 8;
    }
    while (i < width && text[i] != '\0') ++i;
    return i;
}
// Tokeniser with the semantics of the C library's strtok: pieces are the
// longest runs outside `delimiters`, runs of delimiters separate like one, no
// empty piece, the delimiter after a piece is overwritten with NUL.  The one
// remembered position lives in `position`, so two texts never interleave.
char* next_token(char* text, const char* delimiters, char** position);
// Cuts an on-us text, held in scan order and trimmed, in place into its
// sections, numbered from the field's right-hand end as printed: section 0 is
// empty when the field ends with an on-us symbol, and adjacent on-us symbols
// separate like one.  Fills sections[0 .. count-1]; a section the field lacks
// is an empty text.  Returns how many sections the field has, at most count.
int cut_onus_sections(char* text, char* sections[], int count);
// Reads an optional sign and the digits after it, up to the first other
// character, and returns the low-order 8 bits of that number (0 without digits).
signed char decimal_low_byte(const char* text);

// Line parser (line_parser.cpp).
int parse_code_line(scan_cursor cursor, micr_result& r, table_source table, unsigned flags);
void check_transit(micr_result& r);

// On-us split (onus_split.cpp).
void split_onus_default(micr_result& r);

// Exception table (exception_table.cpp).
// Looks the transit number up in `table` and, on a match, splits the on-us
// field by the entry; sets exception_state.
void apply_exception_table(micr_result& r, const table_source& table);
// The search of one parse through a table file, from its first line: stops at
// the first matching entry (EX_USED, entry filled), the first malformed line
// (EX_INVALID), a read error (EX_OPEN_ERR) or the end (EX_NORMAL).
// `transit` is in reading order.
micr_exception_state search_table(text_source& table, const char* transit, exception_entry& entry);

// Loaded tables (loaded_table.cpp): the same verdict from a table made once.
micr_exception_state lookup_table(const micr_table& table, const char* transit, exception_entry& entry);
// Reads a whole table file from `source`; NULL with errno set on a read
// error or beyond the size limit.
micr_table* read_table(text_source& source);

// The verdict on one line of a table, shared by the search of a parse and
// the loader, so that both judge a line alike.
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
inline constexpr std::size_t routing_number_length = 9;

struct table_token {
    const char* text;
    std::size_t length;
};

struct table_line {
    table_line_kind kind = table_line_kind::skipped;
    table_problem problem = table_problem::none;
    table_token tokens[entry_token_count] = {};
};

struct text_line;
// `line` as read into a buffer of table_line_size bytes, with what the reader
// found out about it.
table_line judge_table_line(const char* line, const text_line& info);
// Fills an entry from the tokens of a well-formed line.
void read_entry(const table_line& line, exception_entry& entry);
// The message of a problem, as micr_table_problem_message gives it.
void describe_table_problem(const table_line& line, char* message, std::size_t size);

}  // namespace micr
