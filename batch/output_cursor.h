// What micrparse's two record writers share: a cursor that writes into a
// buffer known to be large enough, constant texts copied with one fixed-size
// move, and the test of eight bytes at a time that lets a value that needs no
// quoting or escaping (nearly every value) be copied as it is.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

#include "utf8.h"

namespace micr::batch {

// Eight bytes at a time: whether some byte of a word is below n (n <= 128),
// above n (n < 128), or equal to b.  Exact about whether there is one.
inline constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
constexpr bool has_below(std::uint64_t x, unsigned n) { return ((x - ones * n) & ~x & highs) != 0; }
constexpr bool has_above(std::uint64_t x, unsigned n) { return (((x + ones * (127 - n)) | x) & highs) != 0; }
constexpr bool has_byte(std::uint64_t x, unsigned char b) { return has_below(x ^ (ones * b), 1); }

// A short constant text in a fixed-size array: copied with one fixed-size
// move, longer than the text, then the cursor moves on by the text's length.
struct piece {
    static constexpr std::size_t room = 32;
    char text[room] = {};
    std::size_t length = 0;
};

inline piece make_piece(std::initializer_list<std::string_view> parts) {
    piece p;
    for (const std::string_view part : parts) {
        if (part.size() > piece::room - p.length) throw std::length_error("record text longer than a piece");
        part.copy(p.text + p.length, part.size());
        p.length += part.size();
    }
    return p;
}

// A cursor into a buffer that has room for everything written through it,
// and for piece::room bytes more.
//
// A value goes through text<Rule>: `Rule` says which bytes stand in it as
// they are (Rule::byte for one, Rule::word for eight), what encloses it
// (Rule::quote, '\0' for nothing), and how a value with any other byte is
// written (Rule::quoted, given the value as UTF-8 text).
class cursor {
public:
    explicit cursor(char* at) : at_(at) {}
    template <std::size_t N>
    void put(const char (&text)[N]) {
        std::memcpy(at_, text, N - 1);
        at_ += N - 1;
    }
    void put(std::string_view text) {
        if (text.empty()) return;  // an empty view may have no data to copy from
        std::memcpy(at_, text.data(), text.size());
        at_ += text.size();
    }
    void put(const piece& p) {
        std::memcpy(at_, p.text, piece::room);
        at_ += p.length;
    }
    void put(char c) { *at_++ = c; }
    // Takes back the last `count` bytes written.
    void back(std::size_t count) { at_ -= count; }
    void number(long value) { at_ = std::to_chars(at_, at_ + 24, value).ptr; }

    // `bytes` as a value; `utf8`: they are valid UTF-8 text, else each byte
    // is the character of its value.
    template <class Rule>
    void text(std::string_view bytes, bool utf8 = false) {
        if (plain_bytes<Rule>(bytes)) return;
        if (utf8)
            put(Rule::quoted(bytes));
        else
            put(Rule::quoted(latin1_to_utf8(bytes)));
    }
    // The same for a NUL-terminated text inside a buffer of `width` bytes.
    template <class Rule>
    void text(const char* text, std::size_t width) {
        if (!plain_text<Rule>(text, width))
            put(Rule::quoted(latin1_to_utf8(std::string_view(text, strnlen(text, width)))));
    }
    char* end() const { return at_; }

private:
    // Copies `bytes`, between the rule's quotes, if every byte of it is plain
    // by `Rule`; returns false, having moved nothing, if one is not.
    template <class Rule>
    bool plain_bytes(std::string_view bytes) {
        char* to = at_;
        if (Rule::quote != '\0') *to++ = Rule::quote;
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8, to += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if (!Rule::word(word)) return false;
            std::memcpy(to, &word, 8);
        }
        for (; i < bytes.size(); ++i) {
            if (!Rule::byte[static_cast<unsigned char>(bytes[i])]) return false;
            *to++ = bytes[i];
        }
        if (Rule::quote != '\0') *to++ = Rule::quote;
        at_ = to;
        return true;
    }
    template <class Rule>
    bool plain_text(const char* text, std::size_t width) {
        char* to = at_;
        if (Rule::quote != '\0') *to++ = Rule::quote;
        std::size_t i = 0;
        // Whole words up to the one that holds the terminator.
        for (; i + 8 <= width; i += 8, to += 8) {
            std::uint64_t word;
            std::memcpy(&word, text + i, 8);
            if (has_below(word, 1) || !Rule::word(word)) break;
            std::memcpy(to, &word, 8);
        }
        for (; i < width && text[i] != '\0'; ++i) {
            if (!Rule::byte[static_cast<unsigned char>(text[i])]) return false;
            *to++ = text[i];
        }
        if (Rule::quote != '\0') *to++ = Rule::quote;
        at_ = to;
        return true;
    }

    char* at_;
};

}  // namespace micr::batch
