// The line parser: scans the code line field by field, from the amount field
// at its right-hand end to the auxiliary on-us field at its left, tests the
// transit number and has the on-us field split.
#include <cstring>

#include "parser_internal.h"

namespace micr {
namespace {

// ABA check-digit weights by position in scan order: the routing number's
// right-hand digit first.
constexpr int aba_weights[9] = {1, 7, 3, 1, 7, 3, 1, 7, 3};
constexpr std::size_t routing_length = 9;

// Flags that micr_parse knows; any other bit refuses the call.
constexpr unsigned defined_flags = MICR_SALVAGE;

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

// The on-us field is split, by the table's entry or by the default rules, and
// loses its closing on-us symbol and its outer blanks.
int finish(micr_result& r, const table_source& table, signed char status) {
    apply_exception_table(r, table);
    if (r.exception_state == EX_NORMAL) split_onus_default(r);
    // The closing on-us symbol of the field belongs to the layout, not the data.
    std::size_t onus_length = text_length(r.onus, sizeof r.onus);
    if (r.onus[0] == onus_symbol) std::memmove(r.onus, r.onus + 1, onus_length--);
    trim_blanks(r.onus, onus_length);
    r.status = status;
    restore_field_order(r);
    return r.status;
}

// One parse of one code line: the cursor, the record, and what the end of the
// scan needs to know.
class line_parse {
public:
    line_parse(scan_cursor cursor, micr_result& r, table_source table, unsigned flags)
        : cursor_(cursor), r_(r), table_(table), salvage_((flags & MICR_SALVAGE) != 0) {}

    int run();

private:
    // After a field's scan: whether the scan of the line goes on.  A field
    // that is not OK stops a plain parse; a salvage parse goes on when the
    // scan stopped on the field's own closing symbol.
    bool goes_on(signed char status, char closing) {
        if (status == ST_OK) return true;
        stopped_ = true;
        return salvage_ && at(cursor_, closing);
    }
    int end_of_scan();

    scan_cursor cursor_;
    micr_result& r_;
    table_source table_;
    bool salvage_;
    bool stopped_ = false;          // where a plain parse stops: status 1
    bool onus_splittable_ = false;  // the on-us field reached its closing symbol, OK or UNRECOG
    bool transit_scanned_ = false;  // the transit field scanned OK (and was tested)
};

int line_parse::run() {
    micr_result& r = r_;
    scan_cursor& cursor = cursor_;
    // The whole line counts, also what the scan never reaches; the order of
    // the bytes does not matter here.
    if (cursor.length > 0 && std::memchr(cursor.text, unreadable_mark, cursor.length) != nullptr)
        r.unrecognized_symbols = 1;

    if (at(cursor, amount_symbol)) {
        cursor.advance();
        r.amount_status = scan(cursor, r, amount_field, amount_symbol);
        if (!goes_on(r.amount_status, amount_symbol)) return end_of_scan();
        cursor.advance();
    }

    skip_blanks(cursor);
    if (cursor.at_end()) {
        stopped_ = true;  // no on-us field
        return end_of_scan();
    }
    r.onus_status = scan(cursor, r, onus_field, transit_symbol);
    if (!goes_on(r.onus_status, transit_symbol)) return end_of_scan();
    onus_splittable_ = r.onus_status == ST_OK || r.onus_status == ST_UNRECOG;
    cursor.advance();

    r.transit_status = scan(cursor, r, transit_field, transit_symbol);
    transit_scanned_ = r.transit_status == ST_OK;
    if (!goes_on(r.transit_status, transit_symbol)) return end_of_scan();
    if (transit_scanned_) check_transit(r);
    cursor.advance();

    skip_blanks(cursor);
    if (cursor.at_end()) return end_of_scan();
    if (is_digit(cursor.current())) {
        r.epc_status = ST_OK;
        r.epc[0] = cursor.current();
        r.epc[1] = '\0';
        cursor.advance();
    }

    skip_blanks(cursor);
    if (cursor.at_end()) return end_of_scan();
    if (cursor.current() != onus_symbol) {
        r.auxonus_status = ST_INVALID;
        stopped_ = true;
        return end_of_scan();
    }
    cursor.advance();
    r.auxonus_status = scan(cursor, r, auxonus_field, onus_symbol);
    goes_on(r.auxonus_status, onus_symbol);  // whatever follows is not examined
    return end_of_scan();
}

int line_parse::end_of_scan() {
    if (!stopped_) return finish(r_, table_, MICR_PARSE_COMPLETE);
    if (!salvage_ || !onus_splittable_) return stop_early(r_);
    // A layout is never chosen by a routing number that was not read whole.
    return finish(r_, transit_scanned_ ? table_ : table_source{}, MICR_PARSE_STOPPED);
}

}  // namespace

void check_transit(micr_result& r) {
    const char* t = r.transit;
    const std::size_t length = text_length(t, sizeof r.transit);
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
    } else if (length != routing_length) {
        // A routing number has nine digits; a shorter one cannot carry a check digit.
        r.transit_status = ST_INVALID;
    } else {
        int sum = 0;
        for (std::size_t i = 0; i < routing_length; ++i) sum += aba_weights[i] * (t[i] - '0');
        if (sum % 10 != 0) r.transit_status = ST_INVALID;
    }
}

int parse_code_line(scan_cursor cursor, micr_result& r, table_source table, unsigned flags) {
    return line_parse(cursor, r, table, flags).run();
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

int micr_repair_routing(const char* transit, char* out) {
    using namespace micr;
    if (transit == nullptr || out == nullptr || std::strlen(transit) != routing_length) return 0;
    std::size_t unread = routing_length;
    int sum = 0;
    for (std::size_t i = 0; i < routing_length; ++i) {
        const int weight = aba_weights[routing_length - 1 - i];  // `transit` is in reading order
        if (transit[i] == unreadable_mark && unread == routing_length)
            unread = i;
        else if (is_digit(transit[i]))
            sum += weight * (transit[i] - '0');
        else
            return 0;  // a second '?', or anything but a digit
    }
    // Fifth and sixth are where a Canadian transit has its dash: a misread
    // dash must not become a US routing number.
    if (unread == routing_length || unread == 4 || unread == 5) return 0;
    // The weights 1, 3 and 7 are prime to 10, so exactly one digit fits:
    // weight * digit = -sum (mod 10), and 3 and 7 are each other's inverse.
    const int weight = aba_weights[routing_length - 1 - unread];
    const int inverse = weight == 1 ? 1 : 10 - weight;
    const int digit = ((10 - sum % 10) % 10) * inverse % 10;
    std::memcpy(out, transit, routing_length);
    out[unread] = static_cast<char>('0' + digit);
    out[routing_length] = '\0';
    return 1;
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
