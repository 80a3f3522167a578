// The result record: display names, start state, reading order of texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "parse_steps.h"
#include "test_support.h"

namespace {

TEST(StatusNames, EveryCodeHasItsSevenCharacterName) {
    const struct {
        int code;
        const char* name;
    } rows[] = {{ST_OK, "OK     "},      {ST_INVALID, "INVALID"}, {ST_MISSING, "MISSING"}, {ST_TOOLONG, "TOOLONG"},
                {ST_UNRECOG, "UNRECOG"}, {ST_NOTERM, "NOTERM "},  {6, "???????"},          {7, "???????"},
                {127, "???????"},        {-1, "???????"},         {-128, "???????"}};
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

TEST(ClearResult, EveryFieldMissingAndEmptyAndNoByteLeftOver) {
    micr_result r;
    std::memset(&r, 'x', sizeof r);
    micr::clear_result(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.exception_state, EX_NORMAL);
    EXPECT_EQ(r.unrecognized_symbols, 0);
    for (const micr::field_index f : micr::all_fields) {
        SCOPED_TRACE(micr::fields[f].name);
        EXPECT_EQ(micr::status_of(r, f), ST_MISSING);
        for (std::size_t i = 0; i < micr::fields[f].width; ++i) EXPECT_EQ(micr::text_of(r, f)[i], '\0');
    }
}

TEST(ParseMicrLine, ASecondParseLeavesNothingOfTheFirst) {
    micr_test::temp_dir dir;
    micr_test::write_file("PARSE.DAT", "");
    micr_test::parse_reading_order("o001234o 5 t123456780t 1234567890123o 99 a0000012345a");
    const micr_result r = micr_test::parse_reading_order("a0000000001a");
    EXPECT_EQ(r.status, 1);
    EXPECT_STREQ(r.amount, "0000000001");
    for (const micr::field_index f : micr::all_fields) {
        if (f == micr::amount_field) continue;
        SCOPED_TRACE(micr::fields[f].name);
        EXPECT_STREQ(micr::text_of(r, f), "");
        EXPECT_EQ(micr::status_of(r, f), ST_MISSING);
    }
}

}  // namespace
