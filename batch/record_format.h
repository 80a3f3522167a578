// micrparse's output records: one per input line, as a JSON Lines object or a
// CSV row.  Both formats carry the same names in the same order:
//   file, line, micr, status, exception_state, unrecognized_symbols,
//   then text and status name of amount, account, tpc, csn, transit, epc,
//   onus and auxonus ("amount", "amount_status", ...), and for CSV an
//   "error" column.
// A line the parser cannot take gives a record of file, line and error alone.
#pragma once

#include <string>
#include <string_view>

#include "micr.h"

namespace micr::batch {

enum class output_format { json_lines, csv };

// Where an input line came from: the file name as given ("-" for standard
// input) and its line number, counted from 1 in that file.
struct line_origin {
    std::string_view file;
    long line = 0;
};

// Each byte as the Unicode code point of the same value, encoded as UTF-8: a
// reader's 8-bit text comes out as valid UTF-8 and nothing is lost.
std::string latin1_to_utf8(std::string_view bytes);

// A CSV field, quoted when it holds a comma, a double quote, a carriage
// return or a line feed; quotes inside are doubled.
std::string csv_field(std::string_view text);

// The CSV header row, line feed included.  JSON Lines has none.
std::string csv_header();

// One record, line feed included, for a parsed line (`micr_text` in reading
// order, as read) and for a line that could not be parsed (`reason`).
std::string format_record(output_format format, const line_origin& origin, std::string_view micr_text,
                          const micr_result& result);
std::string format_error(output_format format, const line_origin& origin, std::string_view reason);

}  // namespace micr::batch
