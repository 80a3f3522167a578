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

signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_id allowed,
                       signed char limit, char terminator) {
    signed char status = ST_OK;
    int count = 0;
    std::size_t taken = 0;
    for (;;) {
        if (cursor.at_end()) {
            status = ST_NOTERM;
            break;
        }
        const char c = cursor.current();
        if (c == terminator) break;
        // A too-long field keeps what fits in its buffer; the rest is passed over.
        if (taken < destination_size - 1) destination[taken++] = c;
        cursor.advance();
        if (count == limit) {
            status = ST_TOOLONG;
            break;
        }
        ++count;
    }
    destination[taken] = '\0';
    if (count == 0) return ST_MISSING;
    if (status != ST_OK) return status;
    for (const char* p = destination; *p != '\0'; ++p) {
        if (*p == unreadable_mark) return ST_UNRECOG;
        if (!allowed_in(allowed, *p)) return ST_INVALID;
    }
    return ST_OK;
}

void reverse_text(char* text) {
    std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i + 1 < n; ++i, --n) {
        const char c = text[i];
        text[i] = text[n - 1];
        text[n - 1] = c;
    }
}

void trim_blanks(char* text) {
    std::size_t n = std::strlen(text);
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
    char* const destination = text_of(r, field);
    const std::size_t size = fields[field].width;
    const std::size_t length = std::strlen(source);
    if (length >= size) {
        // More than the field holds: keep the first characters in scan order
        // and say so, rather than pass a shortened number off as valid.
        std::memcpy(destination, source, size - 1);
        destination[size - 1] = '\0';
        status_of(r, field) = ST_TOOLONG;
        return;
    }
    std::memcpy(destination, source, length + 1);
    status_of(r, field) = std::strchr(source, unreadable_mark) != nullptr ? ST_UNRECOG : ST_OK;
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
    static constexpr char section_delimiters[] = {onus_symbol, '\0'};
    // Sections the field lacks point at the text's own terminator: an empty
    // text that may be trimmed in place like any other section.
    char* const end = text + std::strlen(text);
    for (int i = 0; i < count; ++i) sections[i] = end;
    int found = 0;
    if (text[0] == onus_symbol && found < count) ++found;  // the empty section 0
    char* position = nullptr;
    for (char* piece = next_token(text, section_delimiters, &position); piece != nullptr && found < count;
         piece = next_token(nullptr, section_delimiters, &position))
        sections[found++] = piece;
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
