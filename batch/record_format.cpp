#include "record_format.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "fields.h"

namespace micr::batch {
namespace {

// Columns before the fields and after them; the CSV header and every record
// follow this one list, then the fields of the record in record order.
constexpr const char* leading_columns[] = {"file", "line", "micr", "status", "exception_state",
                                           "unrecognized_symbols"};
constexpr const char* error_column = "error";

// The display name without the blanks that pad it to seven characters.
std::string_view status_name(signed char status) {
    const std::string_view name = micr_status_name(status);
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

void append_number(std::string& out, long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

// Printable ASCII without a quote or a backslash: JSON holds it as it is.
bool plain_json(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') return false;
    return true;
}

void append_json_text(std::string& out, std::string_view bytes) {
    if (plain_json(bytes)) {
        out += '"';
        out += bytes;
        out += '"';
    } else {
        out += nlohmann::json(latin1_to_utf8(bytes)).dump();
    }
}

// ASCII without a separator, a quote or a line end: CSV holds it as it is.
bool plain_csv(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n') return false;
    return true;
}

void append_csv_text(std::string& out, std::string_view bytes) {
    if (plain_csv(bytes))
        out += bytes;
    else
        out += csv_field(latin1_to_utf8(bytes));
}

// A text buffer of the record, up to its terminator and never past its end.
std::string_view text_view(const micr_result& r, field_id f) {
    const char* text = text_of(r, f);
    return std::string_view(text, strnlen(text, fields[f].width));
}

}  // namespace

std::string latin1_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string csv_header() {
    std::string row;
    for (const char* name : leading_columns) row.append(name).append(",");
    for (const field_id f : all_fields) row.append(fields[f].name).append(",").append(fields[f].name).append("_status,");
    row.append(error_column).append("\n");
    return row;
}

void record_writer::set_file(std::string_view name) {
    file_.clear();
    if (format_ == output_format::csv)
        append_csv_text(file_, name);
    else
        append_json_text(file_, name);
}

void record_writer::append_record(std::string& out, long line, std::string_view micr,
                                  const micr_result& result) const {
    if (format_ == output_format::csv) {
        out += file_;
        out += ',';
        append_number(out, line);
        out += ',';
        append_csv_text(out, micr);
        out += ',';
        append_number(out, result.status);
        out += ',';
        out += micr_exception_state_name(result.exception_state);
        out += ',';
        append_number(out, result.unrecognized_symbols);
        for (const field_id f : all_fields) {
            out += ',';
            append_csv_text(out, text_view(result, f));
            out += ',';
            out += status_name(status_of(result, f));
        }
        out += ",\n";  // no error
        return;
    }
    out += "{\"file\":";
    out += file_;
    out += ",\"line\":";
    append_number(out, line);
    out += ",\"micr\":";
    append_json_text(out, micr);
    out += ",\"status\":";
    append_number(out, result.status);
    out += ",\"exception_state\":\"";
    out += micr_exception_state_name(result.exception_state);
    out += "\",\"unrecognized_symbols\":";
    append_number(out, result.unrecognized_symbols);
    for (const field_id f : all_fields) {
        out += ",\"";
        out += fields[f].name;
        out += "\":";
        append_json_text(out, text_view(result, f));
        out += ",\"";
        out += fields[f].name;
        out += "_status\":\"";
        out += status_name(status_of(result, f));
        out += '"';
    }
    out += "}\n";
}

void record_writer::append_error(std::string& out, long line, std::string_view reason) const {
    if (format_ == output_format::csv) {
        out += file_;
        out += ',';
        append_number(out, line);
        // micr, the three record values and two columns per field stay empty.
        out.append(std::size(leading_columns) - 2 + 2 * field_count, ',');
        out += ',';
        append_csv_text(out, reason);
        out += '\n';
        return;
    }
    out += "{\"file\":";
    out += file_;
    out += ",\"line\":";
    append_number(out, line);
    out += ",\"error\":";
    append_json_text(out, reason);
    out += "}\n";
}

}  // namespace micr::batch
