// Reader conventions: micr_translate rewrites a code line written with
// another reader's symbols into this library's letters.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"

namespace {

std::string translate(const char* symbols, const std::string& text) {
    std::string out(text.size() + 1, '#');
    const long n = micr_translate(symbols, text.data(), text.size(), out.data(), out.size());
    EXPECT_GE(n, 0) << text;
    if (n < 0) return "(refused)";
    EXPECT_EQ(out[static_cast<std::size_t>(n)], '\0');
    return out.substr(0, static_cast<std::size_t>(n));
}

const std::string cheque = "t123456780t 12345678o 0101 a0000012500a";

TEST(Translate, EachConventionGivesTheLibrarysLetters) {
    const struct {
        const char* why;
        const char* symbols;
        std::string text;
        std::string letters;
    } rows[] = {
        {"the library's own, given as NULL", nullptr, cheque + " ?", cheque + " ?"},
        {"the library's own, spelled out", "toad? ", cheque, cheque},
        {"TOAD: capitals, ! for an unreadable mark", "TOAD! ", "T123456780T 1234!678O 0101 A0000012500A",
         "t123456780t 1234?678o 0101 a0000012500a"},
        {"TOAD: a lower-case letter of the library is no symbol", "TOAD! ", "T123456780T 12345678o a12A",
         "t123456780t 12345678x x12a"},
        {"TOAD: '?' is no unreadable mark there", "TOAD! ", "A1?A", "a1xa"},
        {"bcd: d transit, c on-us, b amount, - dash", "dcb-! ", "d12345-678d 1234567c 001 b0000001000b",
         "t12345d678t 1234567o 001 a0000001000a"},
        {"bcd: the library's a, t, o, ? are stray letters", "dcb-! ", "atoa?!", "xxxxx?"},
        {"six characters of one's own; a literal blank stays a blank", "TOAD?_", "T123456780T_1234 5678O",
         "t123456780t 1234 5678o"},
        {"Unicode symbols, in every convention", "TOAD! ",
         "\u2446123456780\u2446 12345678\u2448 0101 \u24470000012500\u2447", cheque},
        {"the Unicode trap: U+2448 is the on-us symbol, U+2449 the dash", nullptr, "\u244812345\u244967\u2448",
         "o12345d67o"},
        {"a Unicode character other than the four passes as bytes", nullptr, "1\u244a2", "1\u244a2"},
        {"a truncated sequence passes as bytes", nullptr, "12\xe2\x91", "12\xe2\x91"},
        {"a lead byte followed by something else passes as bytes", nullptr, "\xe2\x91t", "\xe2\x91t"},
        {"a NUL byte passes (micr_parse refuses it)", nullptr,
         std::string("1\0"
                     "2",
                     3),
         std::string("1\0"
                     "2",
                     3)},
        {"bytes above 127 and other letters pass", "TOAD! ", "\xe9xyz", "\xe9xyz"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(translate(row.symbols, row.text), row.letters);
    }
}

TEST(Translate, TranslatedLinesParseLikeTheLibrarysOwn) {
    const std::string toad = "O004567O 5 T123456780T 12345678O A0000012345A";
    const std::string own = "o004567o 5 t123456780t 12345678o a0000012345a";
    micr_result from_toad, from_own;
    const std::string letters = translate("TOAD! ", toad);
    micr_parse(nullptr, letters.data(), letters.size(), 0, &from_toad);
    micr_parse(nullptr, own.data(), own.size(), 0, &from_own);
    EXPECT_TRUE(micr_test::same_result(from_toad, from_own));
    EXPECT_EQ(from_own.status, 0);
}

TEST(Translate, RefusesABadConventionAndAShortBuffer) {
    char out[8];
    const struct {
        const char* why;
        const char* symbols;
    } conventions[] = {
        {"a digit", "TOAD1 "},
        {"a repeated byte", "TOAT! "},
        {"a byte above 127", "TOA\xe9! "},
        {"a NUL byte", "TOA\0! "},
        {"a space in another role than the blank", " OAD!_"},
    };
    for (const auto& c : conventions) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(micr_translate(c.symbols, "T1T", 3, out, sizeof out), -1);
    }
    // The text needs length + 1 bytes; one fewer is refused, and nothing is
    // written past the room given.
    const std::string text = "t12345t";
    for (std::size_t room = 0; room <= text.size() + 1; ++room) {
        SCOPED_TRACE(room);
        std::string buffer(text.size() + 4, '#');
        const long n = micr_translate(nullptr, text.data(), text.size(), buffer.data(), room);
        EXPECT_EQ(n, room > text.size() ? static_cast<long>(text.size()) : -1);
        EXPECT_EQ(buffer.substr(room), std::string(buffer.size() - room, '#'));
    }
}

}  // namespace
