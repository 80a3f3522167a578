// The MICR fields of an image-exchange Check Detail Record: the parsed line in
// the record's fixed-width form, with a mark for each field that could not be
// filled, so that a capture system knows what to key by hand.
#include "parse_steps.h"

namespace micr {
namespace {

constexpr char x9_dash = '-', x9_on_us = '/', x9_not_micr = '*';
constexpr std::size_t x9_amount_digits = sizeof(micr_x9_fields::amount) - 1;

// A character of the line as the record writes it.
char x9_character(char c, bool on_us_field) {
    if (is_digit(c) || c == blank) return c;
    if (c == dash_symbol) return x9_dash;
    if (c == onus_symbol && on_us_field) return x9_on_us;
    return x9_not_micr;  // the unreadable mark, and any stray byte behind it
}

template <std::size_t N>
void blanks(char (&field)[N]) {
    std::memset(field, blank, N - 1);
    field[N - 1] = '\0';
}

// `text` without outer blanks, mapped and right-justified; false when it is
// too long for the field, which is then left blank.
template <std::size_t N>
bool right_justified(char (&field)[N], std::string_view text, bool on_us_field) {
    text = trimmed(text);
    blanks(field);
    if (text.size() > N - 1) return false;
    char* to = field + (N - 1 - text.size());
    for (const char c : text) *to++ = x9_character(c, on_us_field);
    return true;
}

bool ok_or_unreadable(signed char status) { return status == MICR_ST_OK || status == MICR_ST_UNRECOG; }

std::string_view spanned(const char* text, const text_span& span) { return {text + span.start, span.length}; }

}  // namespace

}  // namespace micr

int micr_x9_fields_of(const char* text, size_t length, unsigned flags, micr_x9_fields* out) {
    using namespace micr;
    if (out == nullptr) return -1;
    constexpr unsigned every_field = MICR_X9_AUXILIARY_ON_US | MICR_X9_ROUTING | MICR_X9_ON_US | MICR_X9_AMOUNT;
    blanks(out->auxiliary_on_us);
    blanks(out->epc);
    blanks(out->routing);
    blanks(out->check_digit);
    blanks(out->on_us);
    blanks(out->amount);
    out->micr_valid = blank;
    out->unusable = every_field;

    micr_result r;
    parse_notes notes;
    if (parse_as_printed(no_table(), text, length, flags, &r, &notes) == MICR_PARSE_REFUSED) return -1;
    unsigned unusable = 0;

    // A completed parse that met no auxiliary on-us field leaves nothing
    // out; one that stopped may have missed it (often the business serial).
    if (ok_or_unreadable(r.auxonus_status)) {
        if (!right_justified(out->auxiliary_on_us, field_text(r, auxonus_field), false))
            unusable |= MICR_X9_AUXILIARY_ON_US;
    } else if (!(r.auxonus_status == MICR_ST_MISSING && r.status == MICR_PARSE_COMPLETE)) {
        unusable |= MICR_X9_AUXILIARY_ON_US;
    }

    if (r.epc_status == MICR_ST_OK) out->epc[0] = r.epc[0];

    // Only a nine-digit number is a US routing number.
    const std::string_view transit = field_text(r, transit_field);
    std::uint32_t key;
    if (r.transit_status == MICR_ST_OK && routing_key(transit, key)) {
        std::memcpy(out->routing, transit.data(), routing_number_length - 1);
        out->check_digit[0] = transit.back();
    } else {
        unusable |= MICR_X9_ROUTING;
    }

    // The field as scanned, so that its closing on-us symbol, which the
    // parse drops from `onus`, is kept.
    if (!ok_or_unreadable(r.onus_status) || !right_justified(out->on_us, spanned(text, notes.on_us), true))
        unusable |= MICR_X9_ON_US;

    std::string_view amount = field_text(r, amount_field);
    while (amount.size() > x9_amount_digits && amount.front() == '0') amount.remove_prefix(1);
    if (r.amount_status == MICR_ST_OK && amount.size() <= x9_amount_digits) {
        std::memset(out->amount, '0', x9_amount_digits - amount.size());
        std::memcpy(out->amount + (x9_amount_digits - amount.size()), amount.data(), amount.size());
    } else {
        unusable |= MICR_X9_AMOUNT;
    }

    const bool read_error = r.unrecognized_symbols != 0;
    const bool field_missing = r.status != MICR_PARSE_COMPLETE || r.transit_status == MICR_ST_MISSING ||
                               r.onus_status == MICR_ST_MISSING || r.amount_status == MICR_ST_MISSING;
    out->micr_valid = read_error ? (field_missing ? '4' : '3') : (field_missing ? '2' : '1');
    out->unusable = unusable;
    return static_cast<int>(unusable);
}
