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
    micr_result r;
    std::memset(&r, 'x', sizeof r);
    micr::reset_result(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.exception_state, EX_NORMAL);
    EXPECT_EQ(r.unrecognized_symbols, 0);
    for (const micr::field_id f : micr::all_fields) {
        SCOPED_TRACE(micr::fields[f].name);
        EXPECT_EQ(micr::status_of(r, f), ST_MISSING);
        EXPECT_EQ(micr::text_of(r, f)[0], '\0');
        EXPECT_EQ(micr::text_of(r, f)[1], 'x');
    }
}

TEST(RestoreFieldOrder, ReversesAllEightTextsAndNoStatus) {
    micr_result r;
    micr::reset_result(r);
    std::strcpy(r.amount, "0052100000");
    std::strcpy(r.account, "87654321");
    std::strcpy(r.tpc, "12");
    std::strcpy(r.csn, "1010");
    std::strcpy(r.transit, "087654321");
    std::strcpy(r.epc, "5");
    std::strcpy(r.onus, "1010 o87654321");
    std::strcpy(r.auxonus, "");
    r.amount_status = ST_OK;
    micr::restore_field_order(r);
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
    for (const micr::field_id f : micr::all_fields) {
        if (f == micr::amount_field) continue;
        SCOPED_TRACE(micr::fields[f].name);
        EXPECT_STREQ(micr::text_of(r, f), "");
        EXPECT_EQ(micr::status_of(r, f), ST_MISSING);
    }
}

}  // namespace
