// The columns of micrparse's records, in order, written once: the JSON keys,
// the CSV header and both writers follow this list.  Each column has a name
// and a value of one of the kinds in `cell`, which says how each format
// writes it.  A new column is one line in line_columns (and, for a new fact
// of the line, a member of line_facts).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "fields.h"
#include "line_facts.h"
#include "micr.h"
#include "output_cursor.h"

namespace micr::batch {

// A column's name, its JSON key and CSV header cell.  A field's status
// column is the field's name and "_status".
struct column_name {
    const char* stem;
    const char* suffix = "";
};

// The kinds of value; besides these, a whole number is a long, and a number
// that may be missing a std::optional<long>.
namespace cell {
struct written {  // already in the format's own form: the file name
    std::string_view bytes;
};
struct text {  // any bytes: each the character of its value, or valid UTF-8 text
    std::string_view bytes;
    bool utf8 = false;
};
struct field {  // a field's text buffer, up to its terminator
    const char* text;
    std::size_t width;
};
struct name {  // a name of the parser's: letters that never need quoting
    const piece& text;
};
struct optional_text {  // plain text, or none when empty
    std::string_view bytes;
};
struct error {  // why the line could not be parsed; empty when it was parsed
    std::string_view reason;
};
}  // namespace cell

// The parser's names of the codes of a field status or of an exception
// state, without the blanks that pad them: by code as far as the parser has
// names, then its name for any other code.
class name_table {
public:
    explicit name_table(const char* (*name_of)(int));
    const piece& operator[](signed char code) const {
        return names_[code >= 0 && static_cast<std::size_t>(code) < other_ ? static_cast<std::size_t>(code) : other_];
    }

private:
    std::vector<piece> names_;
    std::size_t other_;  // the index of the name for any other code
};

extern const name_table status_names;
extern const name_table state_names;

// The record of a line that could not be parsed has a result of nothing.
inline constexpr micr_result no_result{};

// What a record is written from.
struct record_values {
    std::string_view file;  // the file name as the format writes it
    long line = 0;
    std::string_view micr;   // the line as read
    bool micr_utf8 = false;  // `micr` is valid UTF-8 text, else bytes
    const micr_result& result = no_result;
    line_facts facts;
    std::string_view error;  // in the record of a line that could not be parsed
};

// The columns that every record starts with, that of a line that could not
// be parsed too: where the line is.
template <class Out>
void place_columns(Out& out, const record_values& r) {
    out.column({"file"}, cell::written{r.file});
    out.column({"line"}, r.line);
}

// The other columns, in order.
template <class Out>
void line_columns(Out& out, const record_values& r) {
    out.column({"micr"}, cell::text{r.micr, r.micr_utf8});
    out.column({"status"}, long{r.result.status});
    out.column({"exception_state"}, cell::name{state_names[r.result.exception_state]});
    out.column({"unrecognized_symbols"}, long{r.result.unrecognized_symbols});
    for (const field_id f : all_fields) {
        out.column({fields[f].name}, cell::field{text_of(r.result, f), fields[f].width});
        out.column({fields[f].name, "_status"}, cell::name{status_names[status_of(r.result, f)]});
    }
    out.column({"error"}, cell::error{r.error});
    out.column({"amount_cents"}, r.facts.amount_cents);
    out.column({"transit_form"}, cell::optional_text{r.facts.transit_form});
    out.column({"routing_repair"}, cell::optional_text{r.facts.routing_repair});
    out.column({"eft_routing"}, cell::optional_text{r.facts.eft_routing});
}

template <class Out>
void all_columns(Out& out, const record_values& r) {
    place_columns(out, r);
    line_columns(out, r);
}

// One output format (json_record.cpp, csv_record.cpp).  Each writes at a
// buffer with room for record_writer::record_bound and returns the end of
// what it wrote.
struct format_writer {
    void (*value)(cursor& out, std::string_view bytes, bool utf8);  // one value alone: the file name
    char* (*record)(char* at, const record_values& r);
    char* (*error_record)(char* at, const record_values& r);  // only file, line and error are set
};

extern const format_writer json_writer;
extern const format_writer csv_writer;

}  // namespace micr::batch
