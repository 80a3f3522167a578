// The exception table PARSE.DAT: per routing number, a fixed layout of the
// on-us field that replaces the default split for that bank's cheques.
//
// Each line is an entry of seven blank-separated tokens:
//   type(B/P) routing blanks(A/D) section serial_offset serial_length side(R/L)
// The table is read afresh on every parse that reaches it, so an edited table
// takes effect at once.
#include <cstring>

#include "parser_internal.h"
#include "line_reader.h"

namespace micr {
namespace {

constexpr char table_name[] = "PARSE.DAT";
constexpr std::size_t table_line_size = 256;  // 255 characters and the terminator
constexpr int entry_token_count = 7;
constexpr std::size_t routing_number_length = 9;
constexpr char section_delimiters[] = {onus_symbol, '\0'};

struct exception_entry {
    char entry_type;
    char routing_number[routing_number_length + 1];
    signed char section_number;
    char blank_mode;
    signed char serial_offset;
    signed char serial_length;
    char account_side;
};

exception_entry current_entry;
char working_copy[onus_text_room];

// Entries may be written in either case; only the letters a-z fold.
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// One blank-separated token of a table line.  Only the blank separates: a
// tab is part of a token.
struct token {
    const char* text;
    std::size_t length;
};

// Finds the first `most` tokens of `line`; returns how many it found.
int find_tokens(const char* line, token* tokens, int most) {
    int found = 0;
    const char* p = line;
    while (found < most) {
        while (*p == blank) ++p;
        if (*p == '\0') break;
        const char* const start = p;
        while (*p != blank && *p != '\0') ++p;
        tokens[found++] = {start, static_cast<std::size_t>(p - start)};
    }
    return found;
}

bool well_formed(const token* t, int count) {
    if (count < entry_token_count || t[1].length != routing_number_length) return false;
    const char type = upper(t[0].text[0]), blanks = upper(t[2].text[0]), side = upper(t[6].text[0]);
    return (type == 'B' || type == 'P') && (blanks == 'A' || blanks == 'D') && (side == 'R' || side == 'L');
}

// The routing number against the transit number in reading order.
bool routing_matches(const token& routing, const char* transit, std::size_t transit_length) {
    if (transit_length != routing.length) return false;
    for (std::size_t i = 0; i < transit_length; ++i)
        if (upper(routing.text[i]) != transit[i]) return false;
    return true;
}

void read_entry(const token* t) {
    exception_entry& e = current_entry;
    e.entry_type = upper(t[0].text[0]);
    for (std::size_t i = 0; i < routing_number_length; ++i) e.routing_number[i] = upper(t[1].text[i]);
    e.routing_number[routing_number_length] = '\0';
    e.blank_mode = upper(t[2].text[0]);
    e.section_number = decimal_low_byte(t[3].text);
    e.serial_offset = decimal_low_byte(t[4].text);
    e.serial_length = decimal_low_byte(t[5].text);
    e.account_side = upper(t[6].text[0]);
}

// Copies `count` characters of `from` into a result field: an empty part
// leaves the field missing, one longer than the field is cut and marked.
void put_part(const char* from, std::size_t count, char* field, std::size_t field_size,
              signed char* status) {
    if (count == 0) return;
    if (count > field_size - 1) {
        count = field_size - 1;
        *status = ST_TOOLONG;
    } else {
        *status = ST_OK;
    }
    std::memcpy(field, from, count);
    field[count] = '\0';
}

void remove_blanks(char* text) {
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in)
        if (*in != blank) *out++ = *in;
    *out = '\0';
}

}  // namespace

int find_exception_entry() {
    char read_buffer[table_read_size];
    text_source table;
    if (!open_text_source(table, table_name, read_buffer, sizeof read_buffer)) return EX_OPEN_ERR;

    // The transit text is still in scan order; entries spell it in reading order.
    char transit[sizeof parse_result.transit];
    std::strcpy(transit, parse_result.transit);
    reverse_text(transit);
    const std::size_t transit_length = std::strlen(transit);

    int state = EX_NORMAL;
    char line[table_line_size];
    text_line info;
    while (read_text_line(table, line, sizeof line, info)) {
        // A line that had to be cut, or that hides a NUL, cannot be trusted as an entry.
        if (info.too_long || info.has_nul) {
            state = EX_INVALID;
            break;
        }
        token tokens[entry_token_count];
        const int count = find_tokens(line, tokens, entry_token_count);
        if (count == 0 || tokens[0].text[0] == '#') continue;  // blank line or comment
        if (!well_formed(tokens, count)) {
            state = EX_INVALID;
            break;
        }
        if (routing_matches(tokens[1], transit, transit_length)) {
            read_entry(tokens);
            state = EX_USED;
            break;
        }
    }
    close_text_source(table);
    return state;
}

void apply_exception_table() {
    micr_result& r = parse_result;
    r.exception_state = static_cast<signed char>(find_exception_entry());
    if (r.exception_state != EX_USED) return;
    const exception_entry& e = current_entry;

    std::strcpy(working_copy, r.onus);
    trim_blanks(working_copy);

    // Sections are numbered from the right-hand end of the field as printed;
    // a field ending with an on-us symbol has an empty section 0.
    char empty[1] = {'\0'};
    char* section0 = empty;
    char* selected = e.section_number == 0 ? section0 : nullptr;
    int number = working_copy[0] == onus_symbol ? 1 : 0;
    char* position = nullptr;
    for (char* piece = next_token(working_copy, section_delimiters, &position);
         piece != nullptr && number <= e.section_number;
         piece = next_token(nullptr, section_delimiters, &position), ++number) {
        if (number == 0) section0 = piece;
        if (number == e.section_number) selected = piece;
    }

    if (e.section_number >= 1) put_part(section0, std::strlen(section0), r.tpc, sizeof r.tpc, &r.tpc_status);
    if (selected == nullptr) return;  // the entry names a section this field lacks

    if (e.blank_mode == 'D') remove_blanks(selected);
    const std::size_t n = std::strlen(selected);
    const std::size_t k = e.serial_offset < 0 || static_cast<std::size_t>(e.serial_offset) > n
                              ? n
                              : static_cast<std::size_t>(e.serial_offset);
    std::size_t serial = n - k;
    if (e.serial_length >= 0 && static_cast<std::size_t>(e.serial_length) < serial)
        serial = static_cast<std::size_t>(e.serial_length);

    put_part(selected + k, serial, r.csn, sizeof r.csn, &r.csn_status);
    if (e.account_side == 'R')
        put_part(selected, k, r.account, sizeof r.account, &r.account_status);
    else
        put_part(selected + k + serial, n - k - serial, r.account, sizeof r.account, &r.account_status);
}

}  // namespace micr
