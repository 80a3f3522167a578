// What micrparse's two record writers share: a cursor that writes into a
// buffer known to be large enough, constant texts copied with one fixed-size
// move, and the test of sixteen or eight bytes at a time that lets a value
// that needs no quoting or escaping (nearly every value) be copied as it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "byte_words.h"
#include "utf8.h"

namespace micr::batch {

// A short constant text in a fixed-size array: copied with one fixed-size
// move, longer than the text, then the cursor moves on by the text's length.
// Keys are pieces; names, never longer than 15 bytes, take half the move.
template <std::size_t Room>
struct fixed_text {
    static constexpr std::size_t room = Room;
    char text[room] = {};
    std::size_t length = 0;
};
using piece = fixed_text<32>;
using name_piece = fixed_text<16>;

template <class Text = piece>
constexpr Text make_piece(std::initializer_list<std::string_view> parts) {
    Text p;
    for (const std::string_view part : parts) {
        if (part.size() > Text::room - p.length) throw std::length_error("record text longer than a piece");
        part.copy(p.text + p.length, part.size());
        p.length += part.size();
    }
    return p;
}

// A cursor into a buffer that has room for everything written through it,
// and for piece::room bytes more: a value is moved a block or a word at a
// time, its last one whole, and the cursor then moves on by the value's
// length.
//
// A value goes through text<Rule>: `Rule` says which bytes stand in it as
// they are (Rule::byte), what encloses it (Rule::quote, '\0' for nothing),
// and how a value with any other byte is written (Rule::quoted, given the
// value as UTF-8 text).  Rule::flagged takes a word or a block: it marks
// each byte that is NUL or not plain (in a word its high bit, in a block its
// lane), and may mark plain bytes too (those are then looked at one by one).
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
    template <std::size_t Room>
    void put(const fixed_text<Room>& p) {
        std::memcpy(at_, p.text, Room);
        at_ += p.length;
    }
    void put(char c) { *at_++ = c; }
    // Takes back the last `count` bytes written.
    void back(std::size_t count) { at_ -= count; }

    // A whole number in decimal.  Written two digits at a time from the
    // right into scratch room, then moved with one fixed-size copy.
    void number(long value) {
        if (static_cast<unsigned long>(value) < 10) {  // a status or a flag
            *at_++ = static_cast<char>('0' + value);
            return;
        }
        static_assert(longest_number <= piece::room);
        char digits[2 * longest_number] = {};
        char* first = digits + longest_number;
        unsigned long rest = value < 0 ? 0 - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        for (; rest >= 100; rest /= 100) {
            first -= 2;
            std::memcpy(first, digit_pairs + 2 * (rest % 100), 2);
        }
        if (rest >= 10) {
            first -= 2;
            std::memcpy(first, digit_pairs + 2 * rest, 2);
        } else {
            *--first = static_cast<char>('0' + rest);
        }
        if (value < 0) *--first = '-';
        std::memcpy(at_, first, longest_number);
        at_ += digits + longest_number - first;
    }

    // `bytes` as a value; `utf8`: they are valid UTF-8 text, else each byte
    // is the character of its value.
    //
    // The plain case is written in place, where the texts' widths are
    // known; the quoted one is a call.
    template <class Rule>
    [[gnu::always_inline]] void text(std::string_view bytes, bool utf8 = false) {
        if (!plain_bytes<Rule>(bytes)) at_ = quoted<Rule>(at_, bytes, utf8);
    }
    // The same for a NUL-terminated text inside a buffer of `width` bytes.
    template <class Rule>
    [[gnu::always_inline]] void text(const char* text, std::size_t width) {
        if (!plain_text<Rule>(text, width))
            at_ = quoted<Rule>(at_, std::string_view(text, strnlen(text, width)), false);
    }
    // A NUL-terminated text inside a buffer of `width` bytes, every byte of
    // which stands as it is.
    [[gnu::always_inline]] void bare(const char* text, std::size_t width) { plain_text<bare_rule>(text, width); }
    char* end() const { return at_; }

private:
    // "-9223372036854775808"
    static constexpr std::size_t longest_number = 20;
    static constexpr char digit_pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    // Every byte is plain.
    struct bare_rule {
        static constexpr std::array<bool, 256> byte = [] {
            std::array<bool, 256> all{};
            all.fill(true);
            return all;
        }();
        static constexpr std::uint64_t flagged(std::uint64_t x) { return zero_bytes(x); }
        static byte_block flagged(byte_block x) { return x == 0; }
        static constexpr char quote = '\0';
    };

    // A value that needs quoting or escaping, written at `at`; returns its
    // end.  Takes no cursor, whose address would then be handed out.
    template <class Rule>
    [[gnu::noinline]] static char* quoted(char* at, std::string_view bytes, bool utf8) {
        const std::string value = utf8 ? Rule::quoted(bytes) : Rule::quoted(latin1_to_utf8(bytes));
        std::memcpy(at, value.data(), value.size());
        return at + value.size();
    }

    // Moves `size` bytes, at least 16, from `from` to `to` a block at a time,
    // the last block overlapping the one before, up to the first byte that
    // `Rule` flags; returns its index, or `size` when no byte is flagged.
    template <class Rule>
    [[gnu::always_inline]] static std::size_t move_blocks(const char* from, char* to, std::size_t size) {
        std::size_t i = 0;
        for (;;) {
            const std::size_t at = i + 16 <= size ? i : size - 16;
            const byte_block block = load_block(from + at);
            store_block(to + at, block);
            // Bytes before i, looked at already, are not flagged.
            const unsigned first = first_set(Rule::flagged(block));
            i = at + first;
            if (first < 16 || i == size) return i;
        }
    }

    // Copies `bytes`, between the rule's quotes, if every byte of it is plain
    // by `Rule`; returns false, having moved nothing, if one is not.  Moved a
    // block or a word at a time up to the first flagged byte, the last block
    // or word overlapping the one before; from that byte on, one by one.
    template <class Rule>
    [[gnu::always_inline]] bool plain_bytes(std::string_view bytes) {
        char* to = at_;
        if (Rule::quote != '\0') *to++ = Rule::quote;
        const char* const from = bytes.data();
        const std::size_t size = bytes.size();
        std::size_t i = 0;
        if (size >= 16) {
            i = move_blocks<Rule>(from, to, size);
        } else if (size >= 8) {
            for (; i + 8 <= size; i += 8) {
                const std::uint64_t word = load_word(from + i);
                if (Rule::flagged(word) != 0) break;
                std::memcpy(to + i, &word, 8);
            }
            if (i + 8 > size && i < size) {
                const std::uint64_t word = load_word(from + size - 8);
                if (Rule::flagged(word) == 0) {
                    std::memcpy(to + size - 8, &word, 8);
                    i = size;
                }
            }
        }
        to += i;
        for (; i < size; ++i) {
            if (!Rule::byte[static_cast<unsigned char>(from[i])]) return false;
            *to++ = from[i];
        }
        if (Rule::quote != '\0') *to++ = Rule::quote;
        at_ = to;
        return true;
    }
    // The same for a text that ends at its terminator or at the end of its
    // buffer: when the first flagged byte is the terminator, the text is done.
    template <class Rule>
    [[gnu::always_inline]] bool plain_text(const char* text, std::size_t width) {
        char* to = at_;
        if (Rule::quote != '\0') *to++ = Rule::quote;
        std::size_t i = 0;
        bool done = false;
        if (width >= 16) {
            i = move_blocks<Rule>(text, to, width);
            done = i == width || text[i] == '\0';
            to += i;
        } else if (width >= 8) {
            // Moves `word` and the cursor past its bytes before the first
            // flagged one; true when the text is done.
            const auto word_done = [&](std::uint64_t word, std::uint64_t flags) {
                std::memcpy(to, &word, 8);
                const unsigned plain = flags == 0 ? 8 : bytes_before(flags);
                to += plain;
                i += plain;
                return flags != 0 && (word >> (8 * plain) & 0xff) == 0;
            };
            std::uint64_t flags = 0;
            for (; !done && flags == 0 && i + 8 <= width;) {
                const std::uint64_t word = load_word(text + i);
                flags = Rule::flagged(word);
                done = word_done(word, flags);
            }
            if (!done && flags == 0 && i < width) {
                // Fewer than eight bytes left: they come first, zeros after them.
                const std::uint64_t word = last_bytes(text, width, i);
                done = word_done(word, Rule::flagged(word));
            }
        }
        if (done) i = width;
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
