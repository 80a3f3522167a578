#include "record_format.h"

#include "record_columns.h"
#include "utf8.h"

namespace micr::batch {
namespace {

// A value escapes to at most six bytes per byte (a control byte as \u00xx);
// everything around the values fits in this.
constexpr std::size_t fixed_record_room = 4096;
constexpr std::size_t widest_escape = 6;

const format_writer& writer_of(output_format format) { return format == output_format::csv ? csv_writer : json_writer; }

}  // namespace

void record_writer::set_file(std::string_view name) {
    file_.assign(record_bound(name.size()), '\0');
    cursor out(file_.data());
    // A name that is no UTF-8 is written byte by byte, whatever the encoding.
    writer_of(format_).value(out, name, encoding_ == text_encoding::utf8 && valid_utf8(name));
    file_.resize(static_cast<std::size_t>(out.end() - file_.data()));
}

std::size_t record_writer::record_bound(std::size_t line_length) const {
    std::size_t texts = sizeof(micr_bank) + sizeof(micr_x9_fields);
    for (const field_index f : all_fields) texts += fields[f].width;
    return fixed_record_room + file_.size() + widest_escape * (line_length + texts);
}

char* record_writer::write_record(char* at, long line, std::string_view micr, const parsed_line& parsed) const {
    return writer_of(format_).record(at, record_values{.file = file_,
                                                       .line = line,
                                                       .micr = micr,
                                                       .micr_utf8 = encoding_ == text_encoding::utf8,
                                                       .result = parsed.result,
                                                       .facts = facts_of(parsed.result),
                                                       .error = {},
                                                       .groups = groups_of(options_),
                                                       .parsed = &parsed,
                                                       .directory = options_.directory});
}

char* record_writer::write_error(char* at, long line, std::string_view reason) const {
    record_values values;
    values.file = file_;
    values.line = line;
    values.error = reason;
    values.groups = groups_of(options_);
    return writer_of(format_).error_record(at, values);
}

void record_writer::append_record(std::string& out, long line, std::string_view micr, const parsed_line& parsed) const {
    const std::size_t used = out.size();
    out.resize(used + record_bound(micr.size()));
    out.resize(static_cast<std::size_t>(write_record(out.data() + used, line, micr, parsed) - out.data()));
}

void record_writer::append_error(std::string& out, long line, std::string_view reason) const {
    const std::size_t used = out.size();
    out.resize(used + record_bound(reason.size()));
    out.resize(static_cast<std::size_t>(write_error(out.data() + used, line, reason) - out.data()));
}

}  // namespace micr::batch
