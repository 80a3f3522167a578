// Internals of the MICR parser shared between its source files and its tests.
// Not installed: callers use micr.h.
#pragma once

#include <cstddef>

#include "micr.h"

namespace micr {

// Scan limits of the fields the line parser scans, and the sets of characters
// each may hold.  The unreadable mark '?' is in no set.
inline constexpr signed char amount_limit = 16;
inline constexpr signed char onus_limit = 25;
inline constexpr signed char transit_limit = 9;
inline constexpr signed char auxonus_limit = 21;
inline constexpr char amount_chars[] = "0123456789";
inline constexpr char onus_chars[] = "0123456789od ";
inline constexpr char transit_chars[] = "0123456789d";
inline constexpr char auxonus_chars[] = "0123456789d ";

inline constexpr char amount_symbol = 'a';
inline constexpr char transit_symbol = 't';
inline constexpr char onus_symbol = 'o';
inline constexpr char dash_symbol = 'd';
inline constexpr char unreadable_mark = '?';
inline constexpr char blank = ' ';

// Room for a whole on-us text as the line parser accepts it, terminator included.
inline constexpr std::size_t onus_text_room = onus_limit + 1;

// PARSE.DAT is read in chunks of this size, through a buffer on the stack.
inline constexpr std::size_t table_read_size = 4096;

// The parser's one result record; texts are in scan order while a parse runs.
extern micr_result parse_result;

// Position of the scan in the reversed text of the current parse.
extern const char* scan_cursor;

// Result record (result.cpp).
void reset_result();
void restore_field_order();

// Text primitives (scan.cpp).
signed char scan_field(char* destination, std::size_t destination_size, const char* allowed,
                       signed char limit, char terminator);
void trim_blanks(char* text);
int count_digits(const char* text);
void set_subfield(const char* source, char* destination, std::size_t destination_size,
                  signed char* status);
void reverse_text(char* text);
// Tokeniser with the semantics of the C library's strtok: pieces are the
// longest runs outside `delimiters`, runs of delimiters separate like one, no
// empty piece, the delimiter after a piece is overwritten with NUL.  The one
// remembered position lives in `position`, so two texts never interleave.
char* next_token(char* text, const char* delimiters, char** position);
// Reads an optional sign and the digits after it, up to the first other
// character, and returns the low-order 8 bits of that number (0 without digits).
signed char decimal_low_byte(const char* text);

// Line parser (line_parser.cpp).
void check_transit();

// On-us split (onus_split.cpp) and exception table (exception_table.cpp).
void split_onus_default();
int find_exception_entry();
void apply_exception_table();

}  // namespace micr
