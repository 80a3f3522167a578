// Text primitives: the field scanner and the small helpers on NUL-terminated
// texts that the line parser, the on-us split and the exception table share.
#include <cstring>

#include "parser_internal.h"

namespace micr {

scan_cursor reversed_text_cursor(const char* reversed, std::size_t length) {
    return scan_cursor{reversed, 0, 1, length, 0};
}

scan_cursor printed_text_cursor(const char* printed, std::size_t length) {
    // The right-hand end comes first; for an empty text `first` is never used.
    return scan_cursor{printed, static_cast<std::ptrdiff_t>(length) - 1, -1, length, 0};
}

namespace {

// Takes up to `reach` characters from `first`, `Step` bytes apart, into
// `destination` (at most `room` of them), up to `terminator`.  Returns how
// many were taken; `bad` becomes the first of them that is the unreadable
// mark or outside the allowed set (1 for a NUL byte), or stays 0.
template <std::ptrdiff_t Step>
std::size_t take_characters(const char* first, std::size_t reach, char terminator, char* destination, std::size_t room,
                            field_id allowed, char& bad) {
    std::size_t taken = 0;
    for (; taken < reach; ++taken) {
        const char c = first[Step * static_cast<std::ptrdiff_t>(taken)];
        if (c == terminator) break;
        if (taken < room) destination[taken] = c;
        if (!allowed_in(allowed, c) && bad == '\0') bad = c == '\0' ? '\x01' : c;
    }
    return taken;
}

}  // namespace

signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_id allowed,
                       signed char limit, char terminator) {
    const std::size_t left = cursor.length - cursor.position;
    const std::size_t room = destination_size - 1;
    // Each character is tested for the end of the text, then the terminator,
    // then the limit: at most limit + 1 characters are taken, the last of
    // them only to find the field too long.
    const std::size_t most = static_cast<std::size_t>(limit) + 1;
    const std::size_t reach = left < most ? left : most;
    // The first character, in scan order, that is the unreadable mark or
    // outside the allowed set decides a field that ends well; it is noted on
    // the way rather than looked for afterwards.
    char bad = '\0';
    std::size_t taken = 0;
    if (reach > 0) {
        const char* const first =
            cursor.text + cursor.first + cursor.step * static_cast<std::ptrdiff_t>(cursor.position);
        taken = cursor.step > 0 ? take_characters<1>(first, reach, terminator, destination, room, allowed, bad)
                                : take_characters<-1>(first, reach, terminator, destination, room, allowed, bad);
    }
    destination[taken < room ? taken : room] = '\0';
    cursor.position += taken;
    if (taken == 0) return ST_MISSING;
    if (taken == most) return ST_TOOLONG;  // not examined
    if (taken == left) return ST_NOTERM;   // the text ended inside the field; not examined
    if (bad == '\0') return ST_OK;
    return bad == unreadable_mark ? ST_UNRECOG : ST_INVALID;
}

void reverse_text(char* text) { reverse_text(text, std::strlen(text)); }

void reverse_text(char* text, std::size_t n) {
    for (std::size_t i = 0; i + 1 < n; ++i, --n) {
        const char c = text[i];
        text[i] = text[n - 1];
        text[n - 1] = c;
    }
}

void trim_blanks(char* text) { trim_blanks(text, std::strlen(text)); }

void trim_blanks(char* text, std::size_t n) {
    while (n > 0 && text[n - 1] == blank) --n;
    std::size_t lead = 0;
    while (lead < n && text[lead] == blank) ++lead;
    if (lead > 0) std::memmove(text, text + lead, n - lead);
    text[n - lead] = '\0';
}

int count_digits(const char* text) {
    int digits = 0;
    for (; *text != '\0'; ++text)
        if (is_digit(*text)) ++digits;
    return digits;
}

void set_subfield(const char* source, micr_result& r, field_id field) {
    set_subfield(source, std::strlen(source), r, field);
}

void set_subfield(const char* source, std::size_t length, micr_result& r, field_id field) {
    char* const destination = text_of(r, field);
    const std::size_t room = fields[field].width - 1;
    // A line without the unreadable mark cannot hand one on: no need to look.
    const bool marked = r.unrecognized_symbols != 0 && std::memchr(source, unreadable_mark, length) != nullptr;
    // More than the field holds keeps the first characters in scan order and
    // says so, rather than pass a shortened number off as valid.
    status_of(r, field) = length > room ? ST_TOOLONG : marked ? ST_UNRECOG : ST_OK;
    if (length > room) length = room;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

char* next_token(char* text, const char* delimiters, char** position) {
    char* p = text != nullptr ? text : *position;
    if (p == nullptr) return nullptr;
    p += std::strspn(p, delimiters);
    if (*p == '\0') {
        *position = p;
        return nullptr;
    }
    char* const token = p;
    p += std::strcspn(p, delimiters);
    if (*p != '\0') *p++ = '\0';
    *position = p;
    return token;
}

int cut_onus_sections(char* text, char* sections[], int count) {
    // Sections the field lacks point at the text's own terminator: an empty
    // text that may be trimmed in place like any other section.
    char* const end = text + std::strlen(text);
    for (int i = 0; i < count; ++i) sections[i] = end;
    int found = 0;
    if (text[0] == onus_symbol && found < count) ++found;  // the empty section 0
    // Runs of characters other than the on-us symbol, each ended in place.
    char* p = text;
    while (found < count) {
        while (*p == onus_symbol) ++p;
        if (*p == '\0') break;
        sections[found++] = p;
        while (*p != onus_symbol && *p != '\0') ++p;
        if (*p == '\0') break;
        *p++ = '\0';
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
