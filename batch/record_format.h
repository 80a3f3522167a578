// micrparse's output records: one per input line, as a JSON Lines object or a
// CSV row.  Both formats carry the same names in the same order, from the one
// column list of record_columns.h:
//   file, line, micr, status, exception_state, unrecognized_symbols,
//   then text and status name of amount, account, tpc, csn, transit, epc,
//   onus and auxonus ("amount", "amount_status", ...), for CSV an "error"
//   column, then what the line tells beyond its fields: amount_cents,
//   transit_form, routing_repair, eft_routing, and as record_options asks,
//   split_by, bank and x9 (in CSV a column per member: split_table_line,
//   ..., bank_name, ..., x9_auxiliary_on_us, ...).
// A line the parser cannot take gives a record of file, line and error alone
// (in CSV the other columns stay empty).
//
// The records are written by hand rather than built as JSON objects and
// serialised by a library: building an object per record was measured to
// make micrparse many times slower.
#pragma once

#include <string>
#include <string_view>

#include "line_facts.h"
#include "micr.h"

namespace micr::batch {

enum class output_format { json_lines, csv };

// How the line itself and the file name are written: each byte as the code
// point of its value (latin1, lossless for any bytes), or as the UTF-8 text
// they are (utf8; the line must then be valid UTF-8).  Field texts are
// always written as latin1.
enum class text_encoding { latin1, utf8 };

// A JSON string of valid UTF-8 text, quoted and escaped as JSON libraries
// write it by default: a quote and a backslash after a backslash, \b \f \n
// \r \t, \u00xx (lowercase) for the other bytes below 0x20, every other
// byte as it is.
std::string json_string(std::string_view utf8);

// A CSV field, quoted when it holds a comma, a double quote, a carriage
// return or a line feed; quotes inside are doubled.
std::string csv_field(std::string_view text);

// The CSV header row of records that carry what `options` asks for, line
// feed included.
std::string csv_header(const record_options& options = {});

// Writes records into a caller's buffer.  The fixed keys and separators are
// constant bytes; a value is checked eight bytes at a time and copied as it
// is unless it needs quoting or escaping.
class record_writer {
public:
    explicit record_writer(output_format format, text_encoding encoding = text_encoding::latin1,
                           const record_options& options = {})
        : format_(format), encoding_(encoding), options_(options) {}

    // Parses a line for its record: see parse_for_record.
    int parse(const micr_table* table, std::string_view text, unsigned flags, parsed_line& out) const {
        return parse_for_record(table, text, flags, options_, out);
    }

    // The file name that every following record carries ("-" for standard input).
    void set_file(std::string_view name);

    // The most bytes a record of a line of `line_length` bytes, or an error
    // record with a reason that long, can take.
    std::size_t record_bound(std::size_t line_length) const;

    // Write the record of a parsed line (`micr` in reading order, as read;
    // `parsed` as parse gave it), or of a line that could not be parsed, at
    // `out`, which has room for record_bound(the line's length) bytes;
    // return the end of what they wrote.
    char* write_record(char* out, long line, std::string_view micr, const parsed_line& parsed) const;
    char* write_error(char* out, long line, std::string_view reason) const;

    // The same, appended to a string.
    void append_record(std::string& out, long line, std::string_view micr, const parsed_line& parsed) const;
    void append_error(std::string& out, long line, std::string_view reason) const;

private:
    output_format format_;
    text_encoding encoding_;
    record_options options_;
    std::string file_;  // the file name as it stands in a record, quoted or escaped
};

}  // namespace micr::batch
