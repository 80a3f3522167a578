// The steps of one parse, in the order they run: the fields are scanned
// (parse.cpp), the transit number tested (transit.cpp), the exception table
// consulted (exception_table.cpp), the on-us field split by the default
// rules where no entry applies (onus_split.cpp).  Not installed: callers use
// micr.h.
#pragma once

#include <string_view>

#include "micr.h"
#include "scan.h"
#include "table.h"

namespace micr {

// Every byte of the record set: each field MISSING and empty, status 0,
// MICR_EX_NORMAL, no unreadable mark.
void clear_result(micr_result& r);

// Where each scanned field stands in the line as given: its characters,
// without its symbols.  Length 0: the field was not scanned or is empty.
struct text_span {
    std::size_t start = 0;
    std::size_t length = 0;
};
struct field_spans {
    text_span amount, on_us, transit, epc, auxiliary_on_us;
};

// Scans the line from the cursor, tests the transit number, consults
// `table` and splits the on-us field; fills `r`, which must be clear, and
// returns its status.  Notes where each field stands in `spans`, unless null.
int scan_and_split(scan_cursor cursor, const exception_table& table, unsigned flags, micr_result& r,
                   field_spans* spans = nullptr);

// micr_parse with the look-up of `table`, noting the fields' places in
// `spans` unless null.
int parse_as_printed(const exception_table& table, const char* text, std::size_t length, unsigned flags,
                     micr_result* result, field_spans* spans);

// The line as printed, every byte of it part of the code line (a blank at
// its right-hand end too): the rules of parse_micr_line on text as printed,
// for micrtest.  `r` is filled in whole.
int parse_printed_line(std::string_view line, const exception_table& table, micr_result& r);

// Tests the transit number of `r` (status OK) by its dash rule or its check
// digit; a failure makes it INVALID.
void check_transit(micr_result& r);

// Looks the transit number up in `table` and, on a match, splits the on-us
// field by the entry; sets exception_state.
void apply_exception_table(micr_result& r, const exception_table& table);

// Splits the on-us field by the default rules into account, serial number
// and processing code, and trims the on-us text.
void split_onus_default(micr_result& r);

}  // namespace micr
