// The steps of one parse, in the order they run: the fields are scanned
// (parse.cpp), the transit number tested (transit.cpp), the exception table
// consulted (exception_table.cpp), the on-us field split by the default
// rules where no entry applies (onus_split.cpp).  Not installed: callers use
// micr.h.
#pragma once

#include <cstring>
#include <string_view>

#include "micr.h"
#include "scan.h"
#include "table.h"

namespace micr {

// The record every parse starts from: each field MISSING and empty, status
// 0, MICR_EX_NORMAL, no unreadable mark.
inline constexpr micr_result cleared_result = [] {
    micr_result r{};
    r.amount_status = r.account_status = r.tpc_status = r.csn_status = MICR_ST_MISSING;
    r.transit_status = r.epc_status = r.onus_status = r.auxonus_status = MICR_ST_MISSING;
    return r;
}();

// Sets every byte of the record to cleared_result's, with one fixed-size
// move: less than clearing the texts and setting the statuses one by one.
inline void clear_result(micr_result& r) { std::memcpy(&r, &cleared_result, sizeof r); }

// The rules of the default split, by what each recognises (the table at the
// top of onus_split.cpp says what each one fills).
enum class split_rule : unsigned char {
    none,
    right_code_and_serial,
    right_lone_code,
    right_lone_serial,
    auxiliary_serial,
    middle_lone_account,
    middle_serial_then_account,
    middle_leftmost_serial,
    middle_rightmost_serial,
    middle_account,
    left_account,
    shorter_group_serial,
    middle_serial_left_account,
    left_serial_middle_account,
    middle_account_both_grouped,
    account_after_serial,
};
// The rule's short, stable name; null for none.
const char* split_rule_name(split_rule rule);

// Where a scanned field stands in the line as given: its characters, without
// its symbols.  Length 0: the field was not scanned or is empty.
struct text_span {
    std::size_t start = 0;
    std::size_t length = 0;
};

// What a parse can tell beyond its record: where each field stands, and what
// split the on-us field.
struct parse_notes {
    text_span amount, on_us, transit, epc, auxiliary_on_us;
    long table_line = 0;  // of the table entry that split the on-us field; 0 when none
    split_rule account_rule = split_rule::none, csn_rule = split_rule::none, tpc_rule = split_rule::none;
};

// Scans the line from the cursor, tests the transit number, consults
// `table` and splits the on-us field; fills `r`, which must be clear, and
// returns its status.  Fills `notes`, unless null.
int scan_and_split(scan_cursor cursor, const exception_table& table, unsigned flags, micr_result& r,
                   parse_notes* notes = nullptr);
int scan_and_split(masked_cursor cursor, const exception_table& table, unsigned flags, micr_result& r,
                   parse_notes* notes = nullptr);

// micr_parse with the look-up of `table`, filling `notes` unless null.
int parse_as_printed(const exception_table& table, const char* text, std::size_t length, unsigned flags,
                     micr_result* result, parse_notes* notes);

// The line as printed, every byte of it part of the code line (a blank at
// its right-hand end too): the rules of parse_micr_line on text as printed,
// for micrtest.  `r` is filled in whole, and `notes` unless null.
int parse_printed_line(std::string_view line, const exception_table& table, micr_result& r,
                       parse_notes* notes = nullptr);

// Tests the transit number of `r` (status OK) by its dash rule or its check
// digit; a failure makes it INVALID.
void check_transit(micr_result& r);
// The same on `transit`, the record's transit text or its source, with at
// least 8 bytes readable from its start.
void check_transit(micr_result& r, std::string_view transit);

// Looks the transit number up in `table` and, on a match, splits the on-us
// field, as `layout` cuts it, by the entry; sets exception_state.  Notes the entry's line.
void apply_exception_table(micr_result& r, const onus_sections& layout, const exception_table& table,
                           parse_notes* notes);

// Splits the on-us field, as `layout` cuts it, by the default rules into
// account, serial number and processing code.  Notes the rule that filled
// each field.
void split_onus_default(micr_result& r, const onus_sections& layout, parse_notes* notes);

}  // namespace micr
