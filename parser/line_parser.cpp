// The line parser: scans the code line field by field, from the amount field
// at its right-hand end to the auxiliary on-us field at its left, tests the
// transit number and has the on-us field split.
#include <cstring>

#include "parser_internal.h"

namespace micr {
namespace {

// Flags that micr_parse knows; any other bit refuses the call.
constexpr unsigned defined_flags = 0;

void skip_blanks(scan_cursor& cursor) {
    while (!cursor.at_end() && cursor.current() == blank) cursor.advance();
}

// Scans one of the four scanned fields into its own text, by its own limit and set.
signed char scan(scan_cursor& cursor, micr_result& r, field_id field, char terminator) {
    return scan_field(cursor, text_of(r, field), fields[field].width, field, fields[field].limit, terminator);
}

bool at(const scan_cursor& cursor, char symbol) { return !cursor.at_end() && cursor.current() == symbol; }

// The parse ends here when a field could not be scanned: nothing is split,
// the on-us text is left as scanned.
int stop_early(micr_result& r) {
    r.status = MICR_PARSE_STOPPED;
    restore_field_order(r);
    return r.status;
}

int finish(micr_result& r, const table_source& table) {
    apply_exception_table(r, table);
    if (r.exception_state == EX_NORMAL) split_onus_default(r);
    // The closing on-us symbol of the field belongs to the layout, not the data.
    if (r.onus[0] == onus_symbol) std::memmove(r.onus, r.onus + 1, std::strlen(r.onus));
    trim_blanks(r.onus);
    r.status = MICR_PARSE_COMPLETE;
    restore_field_order(r);
    return r.status;
}

}  // namespace

void check_transit(micr_result& r) {
    const char* t = r.transit;
    const std::size_t length = std::strlen(t);
    int dashes = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (t[i] == dash_symbol) ++dashes;

    if (dashes > 1) {
        r.transit_status = ST_INVALID;
    } else if (dashes == 1) {
        // Canadian transit: branch and institution, the dash fourth or fifth
        // from the right-hand end.
        const bool placed = (length > 3 && t[3] == dash_symbol) || (length > 4 && t[4] == dash_symbol);
        if (!placed) r.transit_status = ST_INVALID;
    } else if (length != 9) {
        // A routing number has nine digits; a shorter one cannot carry a check digit.
        r.transit_status = ST_INVALID;
    } else {
        static constexpr int weights[9] = {1, 7, 3, 1, 7, 3, 1, 7, 3};
        int sum = 0;
        for (std::size_t i = 0; i < 9; ++i) sum += weights[i] * (t[i] - '0');
        if (sum % 10 != 0) r.transit_status = ST_INVALID;
    }
}

int parse_code_line(scan_cursor cursor, micr_result& r, table_source table, unsigned /*flags*/) {
    // The whole line counts, also what the scan never reaches; the order of
    // the bytes does not matter here.
    if (cursor.length > 0 && std::memchr(cursor.text, unreadable_mark, cursor.length) != nullptr)
        r.unrecognized_symbols = 1;

    if (at(cursor, amount_symbol)) {
        cursor.advance();
        r.amount_status = scan(cursor, r, amount_field, amount_symbol);
        if (r.amount_status != ST_OK) return stop_early(r);
        cursor.advance();
    }

    skip_blanks(cursor);
    if (cursor.at_end()) return stop_early(r);
    r.onus_status = scan(cursor, r, onus_field, transit_symbol);
    if (r.onus_status != ST_OK) return stop_early(r);
    cursor.advance();

    r.transit_status = scan(cursor, r, transit_field, transit_symbol);
    if (r.transit_status != ST_OK) return stop_early(r);
    check_transit(r);
    cursor.advance();

    skip_blanks(cursor);
    if (cursor.at_end()) return finish(r, table);
    if (is_digit(cursor.current())) {
        r.epc_status = ST_OK;
        r.epc[0] = cursor.current();
        r.epc[1] = '\0';
        cursor.advance();
    }

    skip_blanks(cursor);
    if (cursor.at_end()) return finish(r, table);
    if (cursor.current() != onus_symbol) {
        r.auxonus_status = ST_INVALID;
        return stop_early(r);
    }
    cursor.advance();
    r.auxonus_status = scan(cursor, r, auxonus_field, onus_symbol);
    if (r.auxonus_status != ST_OK) return stop_early(r);
    return finish(r, table);
}

}  // namespace micr

int micr_parse(const micr_table* table, const char* text, size_t length, unsigned flags, micr_result* result) {
    using namespace micr;
    if (result == nullptr) return MICR_PARSE_REFUSED;
    // The caller's record is written whole: no byte of it is left as it was.
    std::memset(result, 0, sizeof *result);
    for (const field_id f : all_fields) status_of(*result, f) = ST_MISSING;
    if ((text == nullptr && length > 0) || (flags & ~defined_flags) != 0 ||
        (length > 0 && std::memchr(text, '\0', length) != nullptr)) {
        result->status = MICR_PARSE_STOPPED;
        return MICR_PARSE_REFUSED;
    }
    // A reader pads its fixed-width records with blanks on the right.
    while (length > 0 && text[length - 1] == blank) --length;
    table_source source;
    if (table != nullptr) source = {table_source::loaded, table};
    return parse_code_line(printed_text_cursor(text, length), *result, source, flags);
}

const micr_result* parse_micr_line(const char* reversed_text) {
    using namespace micr;
    // The one record of this entry point: valid until the next call.
    static micr_result record;
    reset_result(record);
    parse_code_line(reversed_text_cursor(reversed_text, std::strlen(reversed_text)), record,
                    table_source{table_source::parse_dat, nullptr}, 0);
    return &record;
}
