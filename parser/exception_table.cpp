// The exception table PARSE.DAT: per routing number, a fixed layout of the
// on-us field that replaces the default split for that bank's cheques.
//
// Each line is an entry of seven blank-separated tokens:
//   type(B/P) routing blanks(A/D) section serial_offset serial_length side(R/L)
// The table is read afresh on every parse that reaches it, so an edited table
// takes effect at once.
#include <cstring>

#include "parser_internal.h"
#include "text_file.h"

namespace micr {
namespace {

constexpr char table_name[] = "PARSE.DAT";
constexpr std::size_t table_line_size = 256;  // 255 characters and the terminator
constexpr std::size_t table_read_size = 4096;
constexpr int entry_token_count = 7;
constexpr std::size_t routing_number_length = 9;
constexpr char token_delimiters[] = {blank, '\0'};
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

void upper_case(char* text) {
    for (; *text != '\0'; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

// Reads one table line into the current entry; true when it is well-formed.
bool read_entry(char* line) {
    exception_entry& e = current_entry;
    std::size_t routing_length = 0;
    int stored = 0;
    char* position = nullptr;
    for (char* token = next_token(line, token_delimiters, &position);
         token != nullptr && stored < entry_token_count;
         token = next_token(nullptr, token_delimiters, &position)) {
        switch (stored++) {
            case 0: e.entry_type = token[0]; break;
            case 1:
                routing_length = std::strlen(token);
                std::strncpy(e.routing_number, token, routing_number_length);
                e.routing_number[routing_number_length] = '\0';
                break;
            case 2: e.blank_mode = token[0]; break;
            case 3: e.section_number = decimal_low_byte(token); break;
            case 4: e.serial_offset = decimal_low_byte(token); break;
            case 5: e.serial_length = decimal_low_byte(token); break;
            default: e.account_side = token[0]; break;
        }
    }
    return stored == entry_token_count && routing_length == routing_number_length &&
           (e.entry_type == 'B' || e.entry_type == 'P') &&
           (e.blank_mode == 'A' || e.blank_mode == 'D') &&
           (e.account_side == 'R' || e.account_side == 'L');
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

    int state = EX_NORMAL;
    char line[table_line_size];
    text_line info;
    while (read_text_line(table, line, sizeof line, info)) {
        // A line that had to be cut, or that hides a NUL, cannot be trusted as an entry.
        if (info.too_long || info.has_nul) {
            state = EX_INVALID;
            break;
        }
        trim_blanks(line);
        if (line[0] == '\0' || line[0] == '#') continue;
        upper_case(line);
        if (!read_entry(line)) {
            state = EX_INVALID;
            break;
        }
        // The transit text is still in scan order: compare it with the routing number reversed.
        reverse_text(current_entry.routing_number);
        if (std::strcmp(current_entry.routing_number, parse_result.transit) == 0) {
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
