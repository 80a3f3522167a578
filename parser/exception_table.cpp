// The exception table: per routing number, a fixed layout of the on-us field
// that replaces the default split for that bank's cheques.
//
// Each line is an entry of seven blank-separated tokens:
//   type(B/P) routing blanks(A/D) section serial_offset serial_length side(R/L)
// parse_micr_line reads PARSE.DAT afresh on every parse that reaches this
// step, so an edited table takes effect at once; micr_parse consults a table
// loaded once (loaded_table.cpp), judged line by line by the same rules.
#include <cstdio>
#include <cstring>

#include "line_reader.h"
#include "parser_internal.h"

namespace micr {
namespace {

constexpr char table_name[] = "PARSE.DAT";

// Indexed by table_problem.
constexpr const char* problem_messages[] = {
    "",
    "line longer than 255 characters",
    "line holds a NUL byte",
    "fewer than 7 tokens",
    "routing number has %zu characters, needs 9",
    "type must be B or P",
    "blank mode must be A or D",
    "side must be R or L",
};

// Entries may be written in either case; only the letters a-z fold.
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Finds the first `most` blank-separated tokens of `line`; returns how many
// it found.  Only the blank separates: a tab is part of a token.
int find_tokens(const char* line, table_token* tokens, int most) {
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

table_problem first_failed_check(const table_token* t, int count) {
    if (count < entry_token_count) return table_problem::few_tokens;
    if (t[1].length != routing_number_length) return table_problem::routing_length;
    const char type = upper(t[0].text[0]), blanks = upper(t[2].text[0]), side = upper(t[6].text[0]);
    if (type != 'B' && type != 'P') return table_problem::entry_type;
    if (blanks != 'A' && blanks != 'D') return table_problem::blank_mode;
    if (side != 'R' && side != 'L') return table_problem::account_side;
    return table_problem::none;
}

// The routing number against the transit number in reading order.
bool routing_matches(const table_token& routing, const char* transit, std::size_t transit_length) {
    if (transit_length != routing.length) return false;
    for (std::size_t i = 0; i < transit_length; ++i)
        if (upper(routing.text[i]) != transit[i]) return false;
    return true;
}

// Copies `count` characters of `from` into a split field as the default
// split does; an empty part leaves the field missing.
void put_part(const char* from, std::size_t count, micr_result& r, field_id field) {
    if (count > 0) set_subfield(from, count, r, field);
}

void remove_blanks(char* text) {
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in)
        if (*in != blank) *out++ = *in;
    *out = '\0';
}

// The search of one parse through PARSE.DAT in the current directory.
micr_exception_state find_exception_entry(const char* transit, exception_entry& entry) {
    char read_buffer[table_read_size];
    text_source table;
    if (!open_text_source(table, table_name, read_buffer, sizeof read_buffer, open_mode::regular_only))
        return EX_OPEN_ERR;
    const micr_exception_state state = search_table(table, transit, entry);
    close_text_source(table);
    return state;
}

// Cuts the on-us field by a matching entry into account, serial number and
// processing code.
void apply_entry(micr_result& r, const exception_entry& e) {
    char working_copy[onus_text_room];
    const std::size_t onus_length = text_length(r.onus, sizeof r.onus);
    std::memcpy(working_copy, r.onus, onus_length + 1);
    trim_blanks(working_copy, onus_length);
    if (e.section_number < 0) return;  // names no section

    constexpr int most_sections = 128;  // section_number is at most 127
    char* sections[most_sections];
    const int wanted = e.section_number + 1;
    const int found = cut_onus_sections(working_copy, sections, wanted);
    if (e.section_number >= 1) put_part(sections[0], std::strlen(sections[0]), r, tpc_field);
    if (found < wanted) return;  // the entry names a section this field lacks

    char* const selected = sections[e.section_number];
    if (e.blank_mode == 'D') remove_blanks(selected);
    const std::size_t n = std::strlen(selected);
    const std::size_t k = e.serial_offset < 0 || static_cast<std::size_t>(e.serial_offset) > n
                              ? n
                              : static_cast<std::size_t>(e.serial_offset);
    std::size_t serial = n - k;
    if (e.serial_length >= 0 && static_cast<std::size_t>(e.serial_length) < serial)
        serial = static_cast<std::size_t>(e.serial_length);

    put_part(selected + k, serial, r, csn_field);
    if (e.account_side == 'R')
        put_part(selected, k, r, account_field);
    else
        put_part(selected + k + serial, n - k - serial, r, account_field);
}

}  // namespace

table_line judge_table_line(const char* line, const text_line& info) {
    table_line judged;
    // A line that had to be cut, or that hides a NUL, cannot be trusted as an entry.
    if (info.too_long || info.has_nul) {
        judged.kind = table_line_kind::malformed;
        judged.problem = info.too_long ? table_problem::too_long : table_problem::holds_nul;
        return judged;
    }
    const int count = find_tokens(line, judged.tokens, entry_token_count);
    if (count == 0 || judged.tokens[0].text[0] == '#') return judged;  // blank line or comment
    judged.problem = first_failed_check(judged.tokens, count);
    judged.kind = judged.problem == table_problem::none ? table_line_kind::entry : table_line_kind::malformed;
    return judged;
}

void describe_table_problem(const table_line& line, char* message, std::size_t size) {
    const char* format = problem_messages[static_cast<int>(line.problem)];
    if (line.problem == table_problem::routing_length)
        std::snprintf(message, size, format, line.tokens[1].length);
    else
        std::snprintf(message, size, "%s", format);
}

void read_entry(const table_line& line, exception_entry& e) {
    const table_token* t = line.tokens;
    e.entry_type = upper(t[0].text[0]);
    for (std::size_t i = 0; i < routing_number_length; ++i) e.routing_number[i] = upper(t[1].text[i]);
    e.routing_number[routing_number_length] = '\0';
    e.blank_mode = upper(t[2].text[0]);
    e.section_number = decimal_low_byte(t[3].text);
    e.serial_offset = decimal_low_byte(t[4].text);
    e.serial_length = decimal_low_byte(t[5].text);
    e.account_side = upper(t[6].text[0]);
}

micr_exception_state search_table(text_source& table, const char* transit, exception_entry& entry) {
    const std::size_t transit_length = std::strlen(transit);
    char line[table_line_size];
    text_line info;
    // An over-long line settles the search: nothing past it is read.
    while (read_text_line(table, line, sizeof line, info, long_lines::stop)) {
        const table_line judged = judge_table_line(line, info);
        if (judged.kind == table_line_kind::malformed) return EX_INVALID;
        if (judged.kind == table_line_kind::entry && routing_matches(judged.tokens[1], transit, transit_length)) {
            read_entry(judged, entry);
            return EX_USED;
        }
    }
    // A table cut short by a read error cannot be trusted to have no match.
    return table.error != 0 ? EX_OPEN_ERR : EX_NORMAL;
}

void apply_exception_table(micr_result& r, const table_source& table) {
    if (table.kind == table_source::none) {
        r.exception_state = EX_NORMAL;
        return;
    }
    // The transit text is still in scan order; entries spell it in reading order.
    char transit[MICR_TRANSIT_SIZE];
    const std::size_t length = text_length(r.transit, sizeof r.transit);
    for (std::size_t i = 0; i < length; ++i) transit[i] = r.transit[length - 1 - i];
    transit[length] = '\0';
    exception_entry entry{};
    r.exception_state =
        static_cast<signed char>(table.kind == table_source::parse_dat ? find_exception_entry(transit, entry)
                                                                       : lookup_table(*table.table, transit, entry));
    if (r.exception_state == EX_USED) apply_entry(r, entry);
}

}  // namespace micr
