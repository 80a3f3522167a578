// The Check Detail Record's MICR fields and the EFT routing number: worked
// lines, every rule of each field, and generated lines whose fields must hold
// only what the record allows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "line_generator.h"
#include "micr.h"

namespace {

struct x9_row {
    const char* why;
    std::string line;
    unsigned flags;
    const char* auxiliary_on_us;  // as the record holds them, padding kept
    const char* epc;
    const char* routing;
    const char* check_digit;
    const char* on_us;
    const char* amount;
    char micr_valid;
    unsigned unusable;
};

constexpr unsigned aux = MICR_X9_AUXILIARY_ON_US, routing = MICR_X9_ROUTING, on_us = MICR_X9_ON_US,
                   amount = MICR_X9_AMOUNT;
const char* const blank15 = "               ";
const char* const blank20 = "                    ";
const char* const blank10 = "          ";

const x9_row x9_rows[] = {
    // The three lines that show the record's rules at work.
    {"business cheque", "o001234o 5 t123456780t 1211d1234d56789o a0000012345a", 0, "         001234", "5", "12345678",
     "0", "    1211-1234-56789/", "0000012345", '1', 0},
    {"Canadian transit is no US routing number", "t12345d678t 1234567o 001 a0000001000a", 0, blank15, " ", "        ",
     " ", "        1234567/ 001", "0000001000", '1', routing},
    {"unreadable marks: the parse stops at the on-us field", "t1234567?0t 1234?678o 0101 a0000012500a", 0, blank15, " ",
     "        ", " ", "      1234*678/ 0101", "0000012500", '4', aux | routing},
    // Closing on-us symbol, blanks at the ends of the fields.
    {"on-us field ending with its symbol", "t123456780t 12345678o", 0, blank15, " ", "12345678", "0",
     "           12345678/", blank10, '2', amount},
    {"auxiliary field's outer blanks dropped", "o  12 34  o t123456780t 12345678o a0000000001a", 0, "          12 34",
     " ", "12345678", "0", "           12345678/", "0000000001", '1', 0},
    // Amounts of 9, 10, 11 and 16 digits.
    {"9 digits are zero-filled", "t123456780t 1o a000000001a", 0, blank15, " ", "12345678", "0", "                  1/",
     "0000000001", '1', 0},
    {"11 digits with a leading zero", "t123456780t 1o a00000000123a", 0, blank15, " ", "12345678", "0",
     "                  1/", "0000000123", '1', 0},
    {"11 digits without", "t123456780t 1o a10000000123a", 0, blank15, " ", "12345678", "0", "                  1/",
     blank10, '1', amount},
    {"16 digits, six leading zeros", "t123456780t 1o a0000001234567890a", 0, blank15, " ", "12345678", "0",
     "                  1/", "1234567890", '1', 0},
    {"an amount not yet encoded", "t123456780t 1o", 0, blank15, " ", "12345678", "0", "                  1/", blank10,
     '2', amount},
    // Transit statuses.
    {"check digit fails: INVALID", "t123456789t 1o a0000000001a", 0, blank15, " ", "        ", " ",
     "                  1/", "0000000001", '1', routing},
    {"transit never terminated: the on-us field is all that was read", "123456780t 1o a0000000001a", 0, blank15, " ",
     "        ", " ", "                  1/", "0000000001", '2', aux | routing},
    // On-us statuses.
    {"on-us field too long", "t123456780t 12345678901234567890123456o a0000000001a", 0, blank15, " ", "        ", " ",
     blank20, "0000000001", '2', aux | routing | on_us},
    {"21 characters fit no on-us field of the record", "t123456780t 1234567890o1234567890 a0000000001a", 0, blank15,
     " ", "12345678", "0", blank20, "0000000001", '1', on_us},
    {"no on-us field at all", "a0000000001a", 0, blank15, " ", "        ", " ", blank20, "0000000001", '2',
     aux | routing | on_us},
    {"stray byte after the unreadable mark in the auxiliary field", "o12a?4o t123456780t 1o a0000000001a", 0,
     "          12**4", " ", "12345678", "0", "                  1/", "0000000001", '4', 0},
    // Auxiliary on-us statuses.
    {"auxiliary field without its left symbol", "12 t123456780t 1o a0000000001a", 0, blank15, "2", "12345678", "0",
     "                  1/", "0000000001", '2', aux},
    {"auxiliary field longer than 15 characters", "o1234567890123456o t123456780t 1o a0000000001a", 0, blank15, " ",
     "12345678", "0", "                  1/", "0000000001", '1', aux},
    // Salvage reads on past the unreadable on-us field; status and the
    // indicator keep the plain parse's verdict.
    {"salvage reads the transit", "t123456780t 1234?678o 0101 a0000012500a", MICR_SALVAGE, blank15, " ", "12345678",
     "0", "      1234*678/ 0101", "0000012500", '4', aux},
};

TEST(X9Fields, EveryFieldRule) {
    for (const x9_row& row : x9_rows) {
        SCOPED_TRACE(std::string(row.why) + ": " + row.line);
        micr_x9_fields x;
        std::memset(&x, 'z', sizeof x);
        EXPECT_EQ(micr_x9_fields_of(row.line.data(), row.line.size(), row.flags, &x), static_cast<int>(row.unusable));
        EXPECT_STREQ(x.auxiliary_on_us, row.auxiliary_on_us);
        EXPECT_STREQ(x.epc, row.epc);
        EXPECT_STREQ(x.routing, row.routing);
        EXPECT_STREQ(x.check_digit, row.check_digit);
        EXPECT_STREQ(x.on_us, row.on_us);
        EXPECT_STREQ(x.amount, row.amount);
        EXPECT_EQ(x.micr_valid, row.micr_valid);
        EXPECT_EQ(x.unusable, row.unusable);
    }
}

TEST(X9Fields, RefusedLinesLeaveEveryFieldBlank) {
    const std::string with_nul("t123456780t\0 1o", 15);
    micr_x9_fields x;
    EXPECT_EQ(micr_x9_fields_of(with_nul.data(), with_nul.size(), 0, &x), -1);
    EXPECT_STREQ(x.on_us, blank20);
    EXPECT_STREQ(x.amount, blank10);
    EXPECT_EQ(x.micr_valid, ' ');
    EXPECT_EQ(x.unusable, aux | routing | on_us | amount);
    EXPECT_EQ(micr_x9_fields_of("t1t", 3, 0x80, &x), -1) << "an unknown flag";
    EXPECT_EQ(micr_x9_fields_of("t1t", 3, 0, nullptr), -1);
}

bool only(const char* text, const char* allowed) { return std::strspn(text, allowed) == std::strlen(text); }

// Over generated lines: each text exactly its width, of the record's
// characters, blank exactly when its bit says so, and beside the parse.
TEST(X9Fields, GeneratedLinesGiveRecordFields) {
    micr_test::generator g(17);
    for (int i = 0; i < 20000; ++i) {
        const std::string line = g.line();
        SCOPED_TRACE(line);
        micr_x9_fields x;
        const unsigned flags = g.chance(50) ? MICR_SALVAGE : 0;
        const int unusable = micr_x9_fields_of(line.data(), line.size(), flags, &x);
        ASSERT_GE(unusable, 0);
        EXPECT_EQ(std::strlen(x.auxiliary_on_us), 15u);
        EXPECT_EQ(std::strlen(x.on_us), 20u);
        EXPECT_EQ(std::strlen(x.amount), 10u);
        EXPECT_EQ(std::strlen(x.routing), 8u);
        EXPECT_TRUE(only(x.auxiliary_on_us, "0123456789 -*"));
        EXPECT_TRUE(only(x.on_us, "0123456789 -*/"));
        const bool routing_usable = (x.unusable & routing) == 0;
        EXPECT_TRUE(only(x.routing, routing_usable ? "0123456789" : " "));
        EXPECT_TRUE(only(x.check_digit, routing_usable ? "0123456789" : " "));
        EXPECT_TRUE(only(x.amount, (x.unusable & amount) == 0 ? "0123456789" : " "));
        if (x.unusable & on_us) {
            EXPECT_TRUE(only(x.on_us, " "));
        }
        if (x.unusable & aux) {
            EXPECT_TRUE(only(x.auxiliary_on_us, " "));
        }
        micr_result r;
        micr_parse(nullptr, line.data(), line.size(), flags, &r);
        EXPECT_EQ(routing_usable, r.transit_status == ST_OK && std::strchr(r.transit, 'd') == nullptr);
        EXPECT_EQ(x.micr_valid == '3' || x.micr_valid == '4', r.unrecognized_symbols == 1);
        EXPECT_EQ((x.unusable & amount) == 0 && std::strcmp(x.amount, "0000000000") != 0,
                  r.amount_status == ST_OK && std::strspn(r.amount, "0") != std::strlen(r.amount) &&
                      std::strlen(r.amount) - std::strspn(r.amount, "0") <= 10);
    }
}

TEST(EftRouting, NineDigitsAndCanadianTransits) {
    const struct {
        const char* transit;
        const char* eft;  // nullptr: refused
    } rows[] = {
        {"123456780", "123456780"}, {"123456789", "123456789"},  // the check digit is not the function's business
        {"12345d678", "067812345"}, {"00011d001", "000100011"},
        {"1234d5678", nullptr},     {"d123", nullptr},
        {"1d345", nullptr},         {"12345d67", nullptr},
        {"12345678", nullptr},      {"1234567890", nullptr},
        {"12345d6?8", nullptr},     {"", nullptr},
        {"12345-678", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.transit);
        char out[10] = "untouched";
        EXPECT_EQ(micr_eft_routing(row.transit, out), row.eft != nullptr ? 1 : 0);
        EXPECT_STREQ(out, row.eft != nullptr ? row.eft : "untouched");
    }
}

}  // namespace
