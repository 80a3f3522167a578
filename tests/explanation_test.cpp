// Why a split came out as it did: the rule or table line that filled each
// field, and where each scanned field stands in the line.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "micr.h"

namespace {

struct table_deleter {
    void operator()(micr_table* t) const { micr_table_free(t); }
};
using table_ptr = std::unique_ptr<micr_table, table_deleter>;

std::string str(const char* name) { return name != nullptr ? name : "(none)"; }

TEST(Explanation, EachRuleAndEachTableOutcomeNamesWhatFilledEachField) {
    const std::string table_text = "# layouts\nB 026009593 D 1 7 6 R\nP 123456780 A 1 0 4 L\nB 98765432 A 1 0 4 L\n";
    const table_ptr table(micr_table_from_text(table_text.data(), table_text.size()));
    const struct {
        const char* onus;  // as printed
        const char* aux;   // nullptr: none
        const char* transit;
        bool with_table;
        int state;
        long table_line;
        const char* account;
        const char* csn;
        const char* tpc;
    } rows[] = {
        {"123456789o 1234", nullptr, "011000015", false, EX_NORMAL, 0, "account-after-serial", "right-lone-serial",
         nullptr},
        {"123456789o 12 3456", nullptr, "011000015", false, EX_NORMAL, 0, "account-after-serial",
         "right-code-and-serial", "right-code-and-serial"},
        {"1234567o 001", nullptr, "011000015", false, EX_NORMAL, 0, "middle-lone-account", nullptr, "right-lone-code"},
        {"12345678o", "001234", "011000015", false, EX_NORMAL, 0, "account-after-serial", "auxiliary-serial", nullptr},
        {"1234 567890123o", nullptr, "011000015", false, EX_NORMAL, 0, "middle-serial-then-account",
         "middle-serial-then-account", nullptr},
        {"123 45678 90123o", nullptr, "011000015", false, EX_NORMAL, 0, "middle-leftmost-serial",
         "middle-leftmost-serial", nullptr},
        {"567890123 1234o", nullptr, "011000015", false, EX_NORMAL, 0, "middle-rightmost-serial",
         "middle-rightmost-serial", nullptr},
        {"1234 56o", nullptr, "011000015", false, EX_NORMAL, 0, "middle-account", nullptr, nullptr},
        {"12345o o", nullptr, "011000015", false, EX_NORMAL, 0, "left-account", nullptr, nullptr},
        {"1234567o 89012o", nullptr, "011000015", false, EX_NORMAL, 0, "shorter-group-serial", "shorter-group-serial",
         nullptr},
        {"12 345o 6789o", nullptr, "011000015", false, EX_NORMAL, 0, "middle-serial-left-account",
         "middle-serial-left-account", nullptr},
        {"6789o 12 345o", nullptr, "011000015", false, EX_NORMAL, 0, "left-serial-middle-account",
         "left-serial-middle-account", nullptr},
        {"12 34o 56 78o", nullptr, "011000015", false, EX_NORMAL, 0, "middle-account-both-grouped", nullptr, nullptr},
        {"123456789o 12 34", nullptr, "011000015", false, EX_NORMAL, 0, "middle-lone-account", nullptr, nullptr},
        // Table outcomes: an entry names its line; no rule runs after an entry or a malformed table.
        {"001234 5678901o", nullptr, "026009593", true, EX_USED, 2, nullptr, nullptr, nullptr},
        {"1234567890o 0101", nullptr, "123456780", true, EX_USED, 3, nullptr, nullptr, nullptr},
        {"1234567o 001", nullptr, "011000015", true, EX_INVALID, 0, nullptr, nullptr, nullptr},
    };
    for (const auto& row : rows) {
        std::string line;
        if (row.aux != nullptr) line = std::string("o") + row.aux + "o ";
        line += std::string("t") + row.transit + "t " + row.onus + " a0000012345a";
        SCOPED_TRACE(line);
        micr_result r;
        micr_explanation why;
        std::memset(&why, 0x5a, sizeof why);
        ASSERT_EQ(micr_parse_explained(row.with_table ? table.get() : nullptr, line.data(), line.size(), 0, &r, &why),
                  MICR_PARSE_COMPLETE);
        micr_result plain;
        micr_parse(row.with_table ? table.get() : nullptr, line.data(), line.size(), 0, &plain);
        EXPECT_EQ(std::memcmp(&r, &plain, sizeof r), 0) << "the explained parse differs from micr_parse";
        EXPECT_EQ(r.exception_state, row.state);
        EXPECT_EQ(why.table_line, row.table_line);
        EXPECT_EQ(str(why.account_rule), str(row.account));
        EXPECT_EQ(str(why.csn_rule), str(row.csn));
        EXPECT_EQ(str(why.tpc_rule), str(row.tpc));
    }
}

TEST(Explanation, SpansCoverEachFieldWithoutItsSymbols) {
    const std::string line = "o001234o 5 t123456780t 1211d1234d56789o a0000012345a   ";
    micr_result r;
    micr_explanation why;
    micr_parse_explained(nullptr, line.data(), line.size(), 0, &r, &why);
    const auto text = [&](const micr_span& s) { return line.substr(s.start, s.length); };
    EXPECT_EQ(text(why.amount), "0000012345");
    EXPECT_EQ(text(why.on_us), " 1211d1234d56789o") << "the blank after the transit symbol belongs to the on-us scan";
    EXPECT_EQ(text(why.transit), "123456780");
    EXPECT_EQ(text(why.epc), "5");
    EXPECT_EQ(text(why.auxiliary_on_us), "001234");

    // A field the parse never reached has no span; a refused call explains nothing.
    micr_parse_explained(nullptr, "a0000012345a", 12, 0, &r, &why);
    EXPECT_EQ(why.transit.length, 0u);
    EXPECT_EQ(why.on_us.length, 0u);
    EXPECT_EQ(micr_parse_explained(nullptr, "t1\0t", 4, 0, &r, &why), MICR_PARSE_REFUSED);
    EXPECT_EQ(why.amount.length, 0u);
    EXPECT_EQ(why.account_rule, nullptr);
    EXPECT_EQ(micr_parse_explained(nullptr, "t1t", 3, 0, &r, nullptr), MICR_PARSE_STOPPED);
}

}  // namespace
