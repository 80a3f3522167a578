// The scan cursor and the small text helpers of the parser.  Not installed:
// callers use micr.h.
//
// Every text the parser hands out is in reading order, as printed.  Only the
// cursor knows that the line is walked from its right-hand end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fields.h"

namespace micr {

// The code line, walked from its right-hand end (the amount field) leftwards,
// because that is where the line's layout is anchored.  The text is either as
// printed (micr_parse) or reversed already (parse_micr_line, whose callers
// hand it over last character first).
class scan_cursor {
public:
    static scan_cursor over_printed(const char* text, std::size_t length) {
        // The right-hand end comes first; for an empty text `first_` is never used.
        return scan_cursor(text, static_cast<std::ptrdiff_t>(length) - 1, -1, length);
    }
    static scan_cursor over_reversed(const char* text, std::size_t length) { return scan_cursor(text, 0, 1, length); }

    const char* text() const { return text_; }
    std::size_t length() const { return length_; }
    bool at_end() const { return position_ == length_; }
    // Characters not yet passed.
    std::size_t left() const { return length_ - position_; }
    // The character at the cursor; only when not at_end().
    char current() const { return text_[index(position_)]; }
    void advance() { ++position_; }
    void advance(std::size_t count) { position_ += count; }
    bool printed() const { return step_ < 0; }
    std::size_t passed() const { return position_; }
    // Where the character at the cursor stands in `text()`.
    const char* here() const { return text_ + index(position_); }
    // Where in `text()` the `count` characters from the cursor on begin:
    // the lowest index among them.
    std::size_t start_of_ahead(std::size_t count) const {
        return static_cast<std::size_t>(printed() ? index(position_) - static_cast<std::ptrdiff_t>(count) + 1
                                                  : index(position_));
    }
    // Copies the `count` characters from the cursor on into `destination`,
    // in reading order, and terminates them.
    void copy_ahead(std::size_t count, char* destination) const;

private:
    scan_cursor(const char* text, std::ptrdiff_t first, std::ptrdiff_t step, std::size_t length)
        : text_(text), first_(first), step_(step), length_(length) {}
    std::ptrdiff_t index(std::size_t position) const { return first_ + step_ * static_cast<std::ptrdiff_t>(position); }

    const char* text_;
    std::ptrdiff_t first_;  // index in `text_` of the character scanned first
    std::ptrdiff_t step_;   // -1 over text as printed, +1 over reversed text
    std::size_t length_;
    std::size_t position_ = 0;  // characters passed so far
};

// Scans from the cursor up to `terminator` into `destination`, at most
// `limit` characters from the allowed set of field `allowed`, and returns the
// field status.  The text is written in reading order.  A too-long field keeps
// the characters met first, its right-hand end, as far as `destination_size`
// holds them.
signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_id allowed,
                       signed char limit, char terminator);

// Removes the blanks at both ends of a text of `length` characters, in place.
void trim_blanks(char* text, std::size_t length);
inline void trim_blanks(char* text) { trim_blanks(text, std::strlen(text)); }

// The same on a view: no byte moves.
inline std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(blank);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blank) - first + 1);
}

int count_digits(std::string_view text);

// Puts `source` into a split field (account, tpc, csn) and sets its status:
// UNRECOG when it holds '?', OK otherwise.  A source longer than the field
// keeps its right-hand end and is TOOLONG, rather than pass a shortened number
// off as valid.
void set_subfield(std::string_view source, micr_result& r, field_id field);

// Reads an optional sign and the digits after it, up to the first other
// character, and returns the low-order 8 bits of that number (0 without digits).
signed char decimal_low_byte(const char* text);

// The length of a text in a buffer of `width` bytes that holds its
// terminator, eight bytes at a time and without a call: the record's texts
// are short, and a call of the C library's strlen costs more than they take.
inline std::size_t text_length(const char* text, std::size_t width) {
    constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= width; i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        // The lowest byte flagged is the first zero byte (little-endian).
        const std::uint64_t zero = (word - ones) & ~word & highs;
        if (zero != 0) return i + static_cast<std::size_t>(std::countr_zero(zero)) / 8;
    }
    while (i < width && text[i] != '\0') ++i;
    return i;
}

// A field's text as a view, up to its terminator.
inline std::string_view field_text(const micr_result& r, field_id f) {
    const char* text = text_of(r, f);
    return {text, text_length(text, fields[f].width)};
}

// The on-us field is divided at on-us symbols into sections, numbered from
// its right-hand end: section 0 is what stands right of the right-most on-us
// symbol (empty when the field ends with one), sections 1, 2, ... follow
// leftwards, and adjacent on-us symbols separate like one.  Fills
// sections[0 .. count-1] with views into `field`; a section the field lacks
// is empty.  Returns how many sections the field has, at most `count`.
int cut_onus_sections(std::string_view field, std::string_view sections[], int count);

}  // namespace micr
