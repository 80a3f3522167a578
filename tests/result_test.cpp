// The result record: display names, start state, reading order of texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "parser_internal.h"
#include "test_support.h"

namespace {

TEST(StatusNames, EveryCodeHasItsSevenCharacterName) {
    const struct {
        int code;
        const char* name;
    } rows[] = {{ST_OK, "OK     "},      {ST_INVALID, "INVALID"}, {ST_MISSING, "MISSING"},
                {ST_TOOLONG, "TOOLONG"}, {ST_UNRECOG, "UNRECOG"}, {ST_NOTERM, "NOTERM "},
                {6, "???????"},          {7, "???????"},          {127, "???????"},
                {-1, "???????"},         {-128, "???????"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_STREQ(micr_status_name(row.code), row.name);
        EXPECT_EQ(std::strlen(micr_status_name(row.code)), 7u);
    }
}

TEST(ExceptionStateNames, EveryStateHasItsName) {
    EXPECT_STREQ(micr_exception_state_name(EX_NORMAL), "EX_NORMAL");
    EXPECT_STREQ(micr_exception_state_name(EX_USED), "EX_USED");
    EXPECT_STREQ(micr_exception_state_name(EX_OPEN_ERR), "EX_OPEN_ERR");
    EXPECT_STREQ(micr_exception_state_name(EX_INVALID), "EX_INVALID");
}

TEST(ResetResult, EveryFieldMissingAndEmptyWithOnlyTheFirstByteCleared) {
    micr_result& r = micr::parse_result;
    std::memset(&r, 'x', sizeof r);
    micr::reset_result();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.exception_state, EX_NORMAL);
    EXPECT_EQ(r.unrecognized_symbols, 0);
    const signed char* statuses[] = {&r.amount_status, &r.account_status, &r.tpc_status, &r.csn_status,
                                     &r.transit_status, &r.epc_status, &r.onus_status, &r.auxonus_status};
    const char* texts[] = {r.amount, r.account, r.tpc, r.csn, r.transit, r.epc, r.onus, r.auxonus};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(*statuses[i], ST_MISSING);
        EXPECT_EQ(texts[i][0], '\0');
        EXPECT_EQ(texts[i][1], 'x');
    }
}

TEST(RestoreFieldOrder, ReversesAllEightTextsAndNoStatus) {
    micr_result& r = micr::parse_result;
    micr::reset_result();
    std::strcpy(r.amount, "0052100000");
    std::strcpy(r.account, "87654321");
    std::strcpy(r.tpc, "12");
    std::strcpy(r.csn, "1010");
    std::strcpy(r.transit, "087654321");
    std::strcpy(r.epc, "5");
    std::strcpy(r.onus, "1010 o87654321");
    std::strcpy(r.auxonus, "");
    r.amount_status = ST_OK;
    micr::restore_field_order();
    EXPECT_STREQ(r.amount, "0000012500");
    EXPECT_STREQ(r.account, "12345678");
    EXPECT_STREQ(r.tpc, "21");
    EXPECT_STREQ(r.csn, "0101");
    EXPECT_STREQ(r.transit, "123456780");
    EXPECT_STREQ(r.epc, "5");
    EXPECT_STREQ(r.onus, "12345678o 0101");
    EXPECT_STREQ(r.auxonus, "");
    EXPECT_EQ(r.amount_status, ST_OK);
    EXPECT_EQ(r.account_status, ST_MISSING);
}

TEST(ParseMicrLine, ASecondParseLeavesNothingOfTheFirst) {
    micr_test::temp_dir dir;
    micr_test::write_file("PARSE.DAT", "");
    micr_test::parse_reading_order("o001234o 5 t123456780t 1234567890123o 99 a0000012345a");
    const micr_result r = micr_test::parse_reading_order("a0000000001a");
    EXPECT_EQ(r.status, 1);
    EXPECT_STREQ(r.amount, "0000000001");
    for (const char* text : {r.account, r.tpc, r.csn, r.transit, r.epc, r.onus, r.auxonus}) EXPECT_STREQ(text, "");
    for (signed char s : {r.account_status, r.tpc_status, r.csn_status, r.transit_status, r.epc_status,
                          r.onus_status, r.auxonus_status})
        EXPECT_EQ(s, ST_MISSING);
}

}  // namespace
