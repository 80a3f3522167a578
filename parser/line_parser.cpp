// The line parser: scans the reversed code line field by field, from the
// amount field at the right-hand end to the auxiliary on-us field at the left.
#include <cstring>

#include "parser_internal.h"

namespace micr {
namespace {

void skip_blanks() {
    while (*scan_cursor == blank) ++scan_cursor;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The parse ends here when a field could not be scanned: nothing is split,
// the on-us text is left as scanned.
const micr_result* stop_early() {
    parse_result.status = 1;
    restore_field_order();
    return &parse_result;
}

const micr_result* finish() {
    micr_result& r = parse_result;
    apply_exception_table();
    if (r.exception_state == EX_NORMAL) split_onus_default();
    // The closing on-us symbol of the field belongs to the layout, not the data.
    if (r.onus[0] == onus_symbol) std::memmove(r.onus, r.onus + 1, std::strlen(r.onus));
    trim_blanks(r.onus);
    r.status = 0;
    restore_field_order();
    return &r;
}

}  // namespace

void check_transit() {
    micr_result& r = parse_result;
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

}  // namespace micr

const micr_result* parse_micr_line(const char* reversed_text) {
    using namespace micr;
    micr_result& r = parse_result;
    reset_result();
    scan_cursor = reversed_text;
    if (std::strchr(reversed_text, unreadable_mark) != nullptr) r.unrecognized_symbols = 1;

    if (*scan_cursor == amount_symbol) {
        ++scan_cursor;
        r.amount_status = scan_field(r.amount, sizeof r.amount, amount_chars, amount_limit, amount_symbol);
        if (r.amount_status != ST_OK) return stop_early();
        ++scan_cursor;
    }

    skip_blanks();
    if (*scan_cursor == '\0') return stop_early();
    r.onus_status = scan_field(r.onus, sizeof r.onus, onus_chars, onus_limit, transit_symbol);
    if (r.onus_status != ST_OK) return stop_early();
    ++scan_cursor;

    r.transit_status = scan_field(r.transit, sizeof r.transit, transit_chars, transit_limit, transit_symbol);
    if (r.transit_status != ST_OK) return stop_early();
    check_transit();
    ++scan_cursor;

    skip_blanks();
    if (*scan_cursor == '\0') return finish();
    if (is_digit(*scan_cursor)) {
        r.epc_status = ST_OK;
        r.epc[0] = *scan_cursor;
        r.epc[1] = '\0';
        ++scan_cursor;
    }

    skip_blanks();
    if (*scan_cursor == '\0') return finish();
    if (*scan_cursor != onus_symbol) {
        r.auxonus_status = ST_INVALID;
        return stop_early();
    }
    ++scan_cursor;
    r.auxonus_status = scan_field(r.auxonus, sizeof r.auxonus, auxonus_chars, auxonus_limit, onus_symbol);
    if (r.auxonus_status != ST_OK) return stop_early();
    return finish();
}
