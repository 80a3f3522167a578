// Field scanning and the text helpers that the line parser, the on-us split
// and the exception table share.
#include "scan.h"

namespace micr {
namespace {

// Counts the characters from `first`, `Step` bytes apart, up to `terminator`
// and at most `reach` of them.  `bad` becomes the first of them that is the
// unreadable mark or outside the allowed set (1 for a NUL byte), or stays 0.
template <std::ptrdiff_t Step>
std::size_t measure_field(const char* first, std::size_t reach, char terminator, field_id allowed, char& bad) {
    std::size_t taken = 0;
    for (; taken < reach; ++taken) {
        const char c = first[Step * static_cast<std::ptrdiff_t>(taken)];
        if (c == terminator) break;
        if (!allowed_in(allowed, c) && bad == '\0') bad = c == '\0' ? '\x01' : c;
    }
    return taken;
}

}  // namespace

void scan_cursor::copy_ahead(std::size_t count, char* destination) const {
    if (count > 0) {
        const char* const at = here();
        if (printed()) {
            std::memcpy(destination, at - (count - 1), count);  // already in reading order
        } else {
            for (std::size_t i = 0; i < count; ++i) destination[count - 1 - i] = at[i];
        }
    }
    destination[count] = '\0';
}

signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_id allowed,
                       signed char limit, char terminator) {
    const std::size_t left = cursor.left();
    // Each character is tested for the end of the text, then the terminator,
    // then the limit: at most limit + 1 characters are taken, the last of
    // them only to find the field too long.
    const std::size_t most = static_cast<std::size_t>(limit) + 1;
    const std::size_t reach = left < most ? left : most;
    // The first character, in scan order, that is the unreadable mark or
    // outside the allowed set decides a field that ends well.
    char bad = '\0';
    std::size_t taken = 0;
    if (reach > 0)
        taken = cursor.printed() ? measure_field<-1>(cursor.here(), reach, terminator, allowed, bad)
                                 : measure_field<1>(cursor.here(), reach, terminator, allowed, bad);
    const std::size_t room = destination_size - 1;
    cursor.copy_ahead(taken < room ? taken : room, destination);
    cursor.advance(taken);
    if (taken == 0) return MICR_ST_MISSING;
    if (taken == most) return MICR_ST_TOOLONG;  // not examined
    if (taken == left) return MICR_ST_NOTERM;   // the text ended inside the field; not examined
    if (bad == '\0') return MICR_ST_OK;
    return bad == unreadable_mark ? MICR_ST_UNRECOG : MICR_ST_INVALID;
}

void trim_blanks(char* text, std::size_t n) {
    while (n > 0 && text[n - 1] == blank) --n;
    std::size_t lead = 0;
    while (lead < n && text[lead] == blank) ++lead;
    if (lead > 0) std::memmove(text, text + lead, n - lead);
    text[n - lead] = '\0';
}

int count_digits(std::string_view text) {
    int digits = 0;
    for (const char c : text)
        if (is_digit(c)) ++digits;
    return digits;
}

void set_subfield(std::string_view source, micr_result& r, field_id field) {
    char* const destination = text_of(r, field);
    const std::size_t room = fields[field].width - 1;
    // A line without the unreadable mark cannot hand one on: no need to look.
    const bool marked = r.unrecognized_symbols != 0 && source.find(unreadable_mark) != std::string_view::npos;
    status_of(r, field) = source.size() > room ? MICR_ST_TOOLONG : marked ? MICR_ST_UNRECOG : MICR_ST_OK;
    if (source.size() > room) source.remove_prefix(source.size() - room);
    if (!source.empty()) std::memcpy(destination, source.data(), source.size());
    destination[source.size()] = '\0';
}

int cut_onus_sections(std::string_view field, std::string_view sections[], int count) {
    for (int i = 0; i < count; ++i) sections[i] = {};
    int found = 0;
    if (!field.empty() && field.back() == onus_symbol && found < count) ++found;  // the empty section 0
    // Runs of characters other than the on-us symbol, from the right.
    std::size_t end = field.size();
    while (found < count) {
        while (end > 0 && field[end - 1] == onus_symbol) --end;
        if (end == 0) break;
        std::size_t start = end;
        while (start > 0 && field[start - 1] != onus_symbol) --start;
        sections[found++] = field.substr(start, end - start);
        end = start;
    }
    return found;
}

signed char decimal_low_byte(const char* text) {
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    // Arithmetic modulo 256 keeps exactly the low-order byte, however many digits follow.
    unsigned value = 0;
    for (; is_digit(*text); ++text) value = (value * 10u + unsigned(*text - '0')) & 0xffu;
    if (negative) value = (0u - value) & 0xffu;
    return static_cast<signed char>(value);
}

}  // namespace micr
