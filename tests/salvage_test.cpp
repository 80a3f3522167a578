// Salvage parse (MICR_SALVAGE) against hand-worked lines, and the repair
// hint for a routing number with one unreadable digit.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "fields.h"
#include "test_support.h"

namespace {

using micr_test::expected_field;
using micr_test::missing;
using micr_test::ok;

constexpr expected_field unrecog(const char* text) { return {text, ST_UNRECOG}; }
constexpr expected_field invalid(const char* text) { return {text, ST_INVALID}; }
constexpr expected_field noterm(const char* text) { return {text, ST_NOTERM}; }

struct salvage_row {
    const char* why;
    std::string line;  // as printed
    std::string table;
    int status;
    int exception_state;
    // In record order: amount, account, tpc, csn, transit, epc, onus, auxonus.
    std::array<expected_field, micr::field_count> salvaged;
};

void check(const salvage_row& row) {
    SCOPED_TRACE(std::string(row.why) + ": " + row.line);
    micr_table* table = micr_table_from_text(row.table.data(), row.table.size());
    micr_result plain, salvaged;
    micr_parse(table, row.line.data(), row.line.size(), 0, &plain);
    EXPECT_EQ(micr_parse(table, row.line.data(), row.line.size(), MICR_SALVAGE, &salvaged), row.status);
    micr_table_free(table);
    // The flag never hides a failure.
    EXPECT_EQ(salvaged.status, plain.status);
    EXPECT_EQ(salvaged.exception_state, row.exception_state);
    for (const micr::field_index f : micr::all_fields)
        micr_test::expect_field(micr::fields[f].name, micr::text_of(salvaged, f), micr::status_of(salvaged, f),
                                row.salvaged[f]);
}

TEST(Salvage, HandWorkedLines) {
    const std::string entry = "B 123456780 A 1 0 4 L\n";
    const salvage_row rows[] = {
        {"an unreadable mark in the on-us field: the transit field is read and the field split by default",
         "t123456780t 1234?678o 0101 a0000012500a",
         "",
         1,
         EX_NORMAL,
         {ok("0000012500"), unrecog("1234?678"), missing, ok("0101"), ok("123456780"), missing,
          unrecog("1234?678o 0101"), missing}},
        {"the same with a table entry for the routing number: the part with the mark is UNRECOG",
         "t123456780t 1234?678o 0101 a0000012500a",
         entry,
         1,
         EX_USED,
         {ok("0000012500"), ok("1234"), ok(" 0101"), unrecog("?678"), ok("123456780"), missing,
          unrecog("1234?678o 0101"), missing}},
        {"an invalid amount: the rest of the line is read as usual",
         "t123456780t 12345678o 0101 a00000x2500a",
         "",
         1,
         EX_NORMAL,
         {invalid("00000x2500"), ok("12345678"), missing, ok("0101"), ok("123456780"), missing, ok("12345678o 0101"),
          missing}},
        {"an invalid auxiliary on-us field: the on-us field is split all the same",
         "o12x4o t123456780t 12345678o a0000012500a",
         "",
         1,
         EX_NORMAL,
         {ok("0000012500"), ok("12345678"), missing, missing, ok("123456780"), missing, ok("12345678"),
          invalid("12x4")}},
        {"no opening symbol of the auxiliary on-us field: split all the same",
         "x t123456780t 12345678o 0101 a0000012500a",
         "",
         1,
         EX_NORMAL,
         {ok("0000012500"), ok("12345678"), missing, ok("0101"), ok("123456780"), missing, ok("12345678o 0101"),
          invalid("")}},
        {"a transit field with a mark: no look-up by a number not read whole",
         "t12345?780t 12345678o 0101 a0000012500a",
         entry,
         1,
         EX_NORMAL,
         {ok("0000012500"), ok("12345678"), missing, ok("0101"), unrecog("12345?780"), missing, ok("12345678o 0101"),
          missing}},
        {"an on-us field that ran into the end of the line ends the scan, nothing is split",
         "12345678o 0101 a0000012500a",
         "",
         1,
         EX_NORMAL,
         {ok("0000012500"), missing, missing, missing, missing, missing, noterm("12345678o 0101"), missing}},
        {"a too-long amount with more behind it ends the scan",
         "t123456780t 1o a12345678901234567890a",
         "",
         1,
         EX_NORMAL,
         {micr_test::too_long("5678901234567890"), missing, missing, missing, missing, missing, missing, missing}},
        {"a complete line is parsed exactly as without the flag",
         "o004567o 5 t123456780t 12345678o a0000012345a",
         entry,
         0,
         EX_USED,
         {ok("0000012345"), ok("1234"), missing, ok("5678"), ok("123456780"), ok("5"), ok("12345678"), ok("004567")}},
    };
    for (const salvage_row& row : rows) check(row);
}

TEST(RepairRouting, EachPositionOfTheMark) {
    const std::string number = "123456780";  // its ABA check digit holds
    for (std::size_t at = 0; at < number.size(); ++at) {
        SCOPED_TRACE(at + 1);
        std::string misread = number;
        misread[at] = '?';
        char out[10] = "unchanged";
        const bool dash_place = at == 4 || at == 5;
        EXPECT_EQ(micr_repair_routing(misread.c_str(), out), dash_place ? 0 : 1);
        EXPECT_STREQ(out, dash_place ? "unchanged" : number.c_str());
    }
    const struct {
        const char* why;
        const char* transit;
    } refused[] = {
        {"no mark", "123456780"},         {"two marks", "1?345?780"},     {"eight characters", "1?345678"},
        {"ten characters", "1?34567801"}, {"a dash symbol", "1?345d780"}, {"a letter", "1?3456x80"},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.why);
        char out[10] = "unchanged";
        EXPECT_EQ(micr_repair_routing(row.transit, out), 0);
        EXPECT_STREQ(out, "unchanged");
    }
    // The weights 3, 7 and 1 are prime to 10: every digit in every repairable
    // place is found again.
    for (int digit = 0; digit < 10; ++digit)
        for (const std::size_t at : {0u, 1u, 2u, 3u, 6u, 7u, 8u}) {
            SCOPED_TRACE("digit " + std::to_string(digit) + " in place " + std::to_string(at + 1));
            std::string valid = "021000021";
            valid[at] = static_cast<char>('0' + digit);
            // Another place takes the digit that makes the check digit hold.
            const std::size_t other = at == 8 ? 0 : 8;
            std::string probe = valid;
            probe[other] = '?';
            char fixed[10];
            ASSERT_EQ(micr_repair_routing(probe.c_str(), fixed), 1);
            valid = fixed;
            std::string misread = valid;
            misread[at] = '?';
            char out[10];
            ASSERT_EQ(micr_repair_routing(misread.c_str(), out), 1);
            EXPECT_EQ(std::string(out), valid);
        }
}

}  // namespace
