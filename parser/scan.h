// The scan cursor and the small text helpers of the parser.  Not installed:
// callers use micr.h.
//
// Every text the parser hands out is in reading order, as printed.  Only the
// cursor knows that the line is walked from its right-hand end.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fields.h"

namespace micr {

// Texts are read and written a word at a time, first character in the lowest byte.
static_assert(std::endian::native == std::endian::little, "a word's first byte is its lowest");

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
    bool at_end() const { return position_ == length_; }
    // Characters not yet passed.
    std::size_t left() const { return length_ - position_; }
    // The character at the cursor; only when not at_end().
    char current() const { return text_[index(position_)]; }
    void advance() { ++position_; }
    void advance(std::size_t count) { position_ += count; }
    bool printed() const { return step_ < 0; }
    std::size_t passed() const { return position_; }
    bool holds_unreadable_mark() const {
        return length_ > 0 && std::memchr(text_, unreadable_mark, length_) != nullptr;
    }
    void skip_blanks() {
        while (!at_end() && current() == blank) advance();
    }
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

// A code line of at most 64 bytes as bit masks, bit i standing for byte i,
// so that the scanner finds a field's end, its first character outside the
// field's set and the next non-blank with a few word operations rather than a
// test per character.  Nearly every code line is that short; a longer one is
// walked by scan_cursor.
inline constexpr std::size_t masked_line_limit = 64;

struct line_masks {
    std::uint64_t amount_symbol = 0, transit_symbol = 0, onus_symbol = 0, dash_symbol = 0;
    std::uint64_t digit = 0, blank = 0, unreadable_mark = 0, nul = 0;

    constexpr std::uint64_t symbol(char s) const {
        return s == micr::amount_symbol ? amount_symbol : s == micr::transit_symbol ? transit_symbol : onus_symbol;
    }
    // The characters the scanned field `F` may hold.
    template <field_index F>
    std::uint64_t allowed() const;
};

// The scanned fields' sets are made of these classes of characters: all ten
// digits or none, and the dash, on-us and blank symbols, each in or out.
enum character_class : unsigned { digits_class = 1, dash_class = 2, onus_class = 4, blank_class = 8 };

constexpr unsigned classes_of(const char* set) {
    unsigned classes = 0;
    for (; set != nullptr && *set != '\0'; ++set)
        classes |= is_digit(*set)              ? digits_class
                   : *set == dash_symbol       ? dash_class
                   : *set == micr::onus_symbol ? onus_class
                   : *set == blank             ? blank_class
                                               : 0x100u;  // none of them
    return classes;
}

constexpr bool made_of_classes(field_index f) {
    const char* set = fields[f].allowed;
    const unsigned classes = classes_of(set);
    int digits = 0;
    for (const char* c = set; c != nullptr && *c != '\0'; ++c) digits += is_digit(*c) ? 1 : 0;
    return classes < 0x100u && (digits == 0 || digits == 10);
}
static_assert(made_of_classes(amount_field) && made_of_classes(transit_field) && made_of_classes(onus_field) &&
              made_of_classes(auxonus_field));

inline constexpr std::array<unsigned, field_count> field_classes = [] {
    std::array<unsigned, field_count> classes{};
    for (const field_index f : all_fields) classes[f] = classes_of(fields[f].allowed);
    return classes;
}();

// What put_text may read from where a text starts: more than the widest
// text of the record.  A buffer that texts are put from has this much room
// behind each character.
inline constexpr std::size_t text_slack = 32;

// 0xFF for the first `count` bytes of the text_slack at keep_bytes + text_slack - count.
inline constexpr std::array<unsigned char, 2 * text_slack> keep_bytes = [] {
    std::array<unsigned char, 2 * text_slack> bytes{};
    for (std::size_t i = 0; i < text_slack; ++i) bytes[i] = 0xFF;
    return bytes;
}();

// Puts the `count` bytes at `from` and zeros up to `width` into `to`, a text
// buffer of the record at least 8 bytes wide: fixed-size moves, whatever the
// count, and no byte read at or after `from + text_slack` or written at or
// after `to + width`.
// Each word goes straight from the source to the record, through no buffer
// that a wider or narrower load would read back at once.
inline void put_text(char* to, std::size_t width, const char* from, std::size_t count) {
    const unsigned char* const keep = keep_bytes.data() + text_slack - count;
    // Moves of 16 bytes (the compiler's vectors, whatever the processor)
    // where the buffer is that wide, of 8 otherwise: two overlapping moves
    // cover any width from 8 to 32.
    const auto move = [&]<class Piece>(Piece, std::size_t at) {
        Piece piece, kept;
        std::memcpy(&piece, from + at, sizeof piece);
        std::memcpy(&kept, keep + at, sizeof kept);
        piece &= kept;
        std::memcpy(to + at, &piece, sizeof piece);
    };
    using sixteen = std::uint64_t __attribute__((vector_size(16)));
    if (width >= 16) {
        move(sixteen{}, 0);
        move(sixteen{}, width - 16);
    } else {
        move(std::uint64_t{}, 0);
        move(std::uint64_t{}, width - 8);
    }
}

template <field_index F>
std::uint64_t line_masks::allowed() const {
    constexpr unsigned classes = field_classes[F];
    return ((classes & digits_class) != 0 ? digit : 0) | ((classes & dash_class) != 0 ? dash_symbol : 0) |
           ((classes & onus_class) != 0 ? onus_symbol : 0) | ((classes & blank_class) != 0 ? blank : 0);
}

// The masks of `text`, `length` <= masked_line_limit bytes, a byte at a
// time: where no vector instructions are at hand, and the tests' reference.
line_masks line_masks_by_byte(const char* text, std::size_t length);

// The bits of the first `count` bytes.
constexpr std::uint64_t first_bits(std::size_t count) {
    // Without a branch: count is at most 64, and 64 sets every bit.
    return ((std::uint64_t{1} << (count & 63)) - 1) | (std::uint64_t{0} - (count >> 6));
}
// The index of the highest bit set; `bits` is not 0.
inline std::size_t highest_bit(std::uint64_t bits) { return 63 - static_cast<std::size_t>(std::countl_zero(bits)); }

// A line of at most masked_line_limit bytes, copied with room behind it for
// the widest field, so that a field's text is moved into the record with
// fixed-size moves, and its masks.
struct masked_line {
    alignas(16) char bytes[masked_line_limit + text_slack];
    std::size_t length;
    line_masks masks;

    masked_line(const char* text, std::size_t length);
};

// The cursor over a masked line as printed, walked from its right-hand end.
// Offers what scan_cursor offers.
class masked_cursor {
public:
    explicit masked_cursor(const masked_line& line, std::size_t length) : line_(line), length_(length), left_(length) {}

    const char* text() const { return line_.bytes; }
    const masked_line& line() const { return line_; }
    const line_masks& masks() const { return line_.masks; }
    bool at_end() const { return left_ == 0; }
    std::size_t left() const { return left_; }
    char current() const { return line_.bytes[left_ - 1]; }
    void advance() { --left_; }
    void advance(std::size_t count) { left_ -= count; }
    std::size_t passed() const { return length_ - left_; }
    std::size_t start_of_ahead(std::size_t count) const { return left_ - count; }
    bool holds_unreadable_mark() const { return (line_.masks.unreadable_mark & first_bits(length_)) != 0; }
    void skip_blanks() {
        const std::uint64_t others = ~line_.masks.blank & first_bits(left_);
        left_ = others == 0 ? 0 : highest_bit(others) + 1;
    }

private:
    const masked_line& line_;
    std::size_t length_;
    std::size_t left_;  // characters not yet passed: the one at the cursor is text()[left_ - 1]
};

// Scans from the cursor up to `terminator` into `destination`, at most
// `limit` characters from the allowed set of field `allowed`, and returns the
// field status.  The text is written in reading order.  A too-long field keeps
// the characters met first, its right-hand end, as far as `destination_size`
// holds them.
signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_index allowed,
                       signed char limit, char terminator);

// The same for field `F` on a masked line: the field ends at the terminator,
// at the limit plus one or at the end of the text, whichever the scan meets
// first, and the right-most character outside the set decides its status.
template <field_index F, char Terminator>
[[gnu::always_inline]] inline signed char scan_field(masked_cursor& cursor, char* destination) {
    constexpr std::size_t most = static_cast<std::size_t>(fields[F].limit) + 1, room = fields[F].width - 1;
    const std::size_t left = cursor.left();
    const std::size_t reach = left < most ? left : most;
    const line_masks& m = cursor.masks();
    const std::uint64_t ends = m.symbol(Terminator) & first_bits(left) & ~first_bits(left - reach);
    const std::size_t taken = ends == 0 ? reach : left - 1 - highest_bit(ends);
    const std::uint64_t bad = first_bits(left) & ~first_bits(left - taken) & ~m.allowed<F>();
    const std::size_t copied = taken < room ? taken : room;
    put_text(destination, fields[F].width, cursor.text() + left - copied, copied);
    cursor.advance(taken);
    if (taken == 0) return MICR_ST_MISSING;
    if (taken == most) return MICR_ST_TOOLONG;
    if (taken == left) return MICR_ST_NOTERM;
    if (bad == 0) return MICR_ST_OK;
    return cursor.text()[highest_bit(bad)] == unreadable_mark ? MICR_ST_UNRECOG : MICR_ST_INVALID;
}
template <field_index F, char Terminator>
signed char scan_field(scan_cursor& cursor, char* destination) {
    return scan_field(cursor, destination, fields[F].width, F, fields[F].limit, Terminator);
}

// The same on a view: no byte moves.
inline std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(blank);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blank) - first + 1);
}

int count_digits(std::string_view text);

// What a split field (account, tpc, csn) of `room` characters keeps of
// `source`, and its status: a source longer than the field keeps its
// right-hand end and is TOOLONG, rather than pass a shortened number off as
// valid; otherwise UNRECOG when it holds '?', OK when not.
inline signed char keep_right_end(std::string_view& source, std::size_t room, const micr_result& r) {
    if (source.size() > room) {
        source.remove_prefix(source.size() - room);
        return MICR_ST_TOOLONG;
    }
    // A line without the unreadable mark cannot hand one on: no need to look.
    const bool marked = r.unrecognized_symbols != 0 && source.find(unreadable_mark) != std::string_view::npos;
    return marked ? MICR_ST_UNRECOG : MICR_ST_OK;
}

// Puts what a split field keeps of `source` into it, and sets its status.
void set_subfield(std::string_view source, micr_result& r, field_index field);

// The same for a source with text_slack bytes of room behind each of its
// characters (a masked line, the text of onus_sections), with fixed-size
// moves.  With `trim`, the blanks at both ends of what the field keeps are
// dropped; the status is the untrimmed source's.
template <field_index F>
void put_subfield(std::string_view source, micr_result& r, bool trim = false) {
    status_of(r, F) = keep_right_end(source, fields[F].width - 1, r);
    if (trim) source = trimmed(source);
    static constexpr char nothing[text_slack] = {};  // an empty view may point nowhere
    put_text(text_of(r, F), fields[F].width, source.empty() ? nothing : source.data(), source.size());
}

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
inline std::string_view field_text(const micr_result& r, field_index f) {
    const char* text = text_of(r, f);
    return {text, text_length(text, fields[f].width)};
}

// The digit groups of one section that the split rules name, by their place
// from the section's right-hand end.  Groups are separated by blanks and dash
// symbols.
struct section_groups {
    std::string_view rightmost;
    std::string_view second;    // from the right
    std::string_view leftmost;  // only with three or more groups
    int count = 0;              // 0, 1, 2, or 3 for three or more
};

// The on-us field without its outer blanks, divided at on-us symbols into
// sections numbered from its right-hand end: section 0 is what stands right
// of the right-most on-us symbol (empty when the field ends with one),
// sections 1, 2, ... follow leftwards, and adjacent on-us symbols separate
// like one.  A section is a set of bits, bit i for character i of the
// on-us text, found with word operations on the field's masks.  Its texts
// have text_slack bytes of room behind them, for put_subfield.
class onus_sections {
public:
    // The record's on-us text, copied.
    explicit onus_sections(const micr_result& r);
    // The on-us field as it stands in a masked line: `count` characters from
    // bytes[first], exactly the record's on-us text after the scan.
    onus_sections(const masked_line& line, std::size_t first, std::size_t count);
    // Its texts may point into itself.
    onus_sections(const onus_sections&) = delete;
    onus_sections& operator=(const onus_sections&) = delete;

    // Fills sections[0 .. count-1], 0 for a section the field lacks;
    // returns how many sections the field has, at most `count`.
    int cut(std::uint64_t sections[], int count) const;
    std::uint64_t without_outer_blanks(std::uint64_t section) const;
    std::string_view text(std::uint64_t bits) const;
    section_groups groups(std::uint64_t section) const;
    // Puts the on-us text as the record keeps it once split: without its
    // closing on-us symbol and the blanks around the rest.
    void put_kept_text(micr_result& r) const;

private:
    const char* text_;
    std::size_t length_;
    std::uint64_t field_;  // the field without its outer blanks
    line_masks masks_;
    char copy_[MICR_ONUS_SIZE + text_slack];  // the record's text, when made from it
};

// Small and on every parse's path: inline, so that a split keeps its masks
// and sections in registers.

inline std::uint64_t onus_sections::without_outer_blanks(std::uint64_t bits) const {
    const std::uint64_t others = bits & ~masks_.blank;
    if (others == 0) return 0;
    return first_bits(highest_bit(others) + 1) & ~first_bits(static_cast<std::size_t>(std::countr_zero(others)));
}

inline int onus_sections::cut(std::uint64_t sections[], int count) const {
    for (int i = 0; i < count; ++i) sections[i] = 0;
    const std::uint64_t symbols = masks_.onus_symbol & field_;
    std::uint64_t runs = field_ & ~symbols;  // what is left of the field to cut, from the right
    int found = 0;
    if (field_ != 0 && (symbols >> highest_bit(field_) & 1) != 0 && found < count) ++found;  // the empty section 0
    for (; found < count && runs != 0; ++found) {
        const std::size_t end = highest_bit(runs);
        const std::uint64_t below = symbols & first_bits(end);
        const std::uint64_t run = first_bits(end + 1) & ~(below == 0 ? 0 : first_bits(highest_bit(below) + 1));
        sections[found] = run & runs;
        runs &= ~run;
    }
    return found;
}

inline std::string_view onus_sections::text(std::uint64_t bits) const {
    // Sections are as often empty as not: no branch on it.
    const std::size_t first = bits == 0 ? 0 : static_cast<std::size_t>(std::countr_zero(bits));
    const std::size_t end = bits == 0 ? 0 : highest_bit(bits) + 1;
    return {text_ + first, end - first};
}

inline section_groups onus_sections::groups(std::uint64_t section) const {
    // Without a branch on how many groups there are: the split rules turn on
    // it, and it changes from one cheque to the next.
    const std::uint64_t digits = section & ~(masks_.blank | masks_.dash_symbol);
    const std::uint64_t starts = digits & ~(digits << 1), ends = digits & ~(digits >> 1);
    const auto group = [this](std::uint64_t group_starts, std::uint64_t group_ends, bool highest) {
        const std::size_t start = group_starts == 0 ? 0
                                  : highest         ? highest_bit(group_starts)
                                                    : static_cast<std::size_t>(std::countr_zero(group_starts));
        const std::size_t end = group_ends == 0 ? 0
                                : highest       ? highest_bit(group_ends) + 1
                                                : static_cast<std::size_t>(std::countr_zero(group_ends)) + 1;
        return std::string_view(text_ + start, end - start);
    };
    section_groups g;
    g.rightmost = group(starts, ends, true);
    const std::uint64_t below = first_bits(static_cast<std::size_t>(g.rightmost.data() - text_));
    const std::uint64_t starts_left = starts & below, ends_left = ends & below;
    g.second = group(starts_left, ends_left, true);
    const std::uint64_t further = starts_left & first_bits(static_cast<std::size_t>(g.second.data() - text_));
    g.leftmost = further == 0 ? std::string_view(text_, 0) : group(starts, ends, false);
    g.count = (starts != 0 ? 1 : 0) + (starts_left != 0 ? 1 : 0) + (further != 0 ? 1 : 0);
    return g;
}

inline onus_sections::onus_sections(const masked_line& line, std::size_t first, std::size_t count)
    : text_(line.bytes + first), length_(count) {
    const std::uint64_t inside = first_bits(count);
    masks_.blank = line.masks.blank >> first & inside;
    masks_.dash_symbol = line.masks.dash_symbol >> first & inside;
    masks_.onus_symbol = line.masks.onus_symbol >> first & inside;
    field_ = without_outer_blanks(inside);
}

inline void onus_sections::put_kept_text(micr_result& r) const {
    // The scan leaves no blank at the field's right-hand end.
    const std::uint64_t last = first_bits(length_) & ~first_bits(length_ - (length_ > 0 ? 1 : 0));
    const std::uint64_t kept = first_bits(length_) & ~(last & masks_.onus_symbol);
    const std::string_view text = this->text(without_outer_blanks(kept));
    put_text(r.onus, sizeof r.onus, text.data(), text.size());
}

}  // namespace micr
