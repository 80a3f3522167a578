#include "record_format.h"

#include <array>
#include <cstring>

#include <nlohmann/json.hpp>

namespace micr::batch {
namespace {

// A field of the record as written: its name, text and status.
struct field_view {
    const char* name;
    const char* status_name;  // the same name with "_status"
    std::string_view text;
    signed char status;
};

constexpr std::size_t field_count = 8;

// A text buffer of the record, up to its terminator and never past its end.
template <std::size_t N>
std::string_view text_of(const char (&buffer)[N]) {
    return std::string_view(buffer, strnlen(buffer, N));
}

// The eight fields in the order of the record.
std::array<field_view, field_count> fields_of(const micr_result& r) {
    return {{
        {"amount", "amount_status", text_of(r.amount), r.amount_status},
        {"account", "account_status", text_of(r.account), r.account_status},
        {"tpc", "tpc_status", text_of(r.tpc), r.tpc_status},
        {"csn", "csn_status", text_of(r.csn), r.csn_status},
        {"transit", "transit_status", text_of(r.transit), r.transit_status},
        {"epc", "epc_status", text_of(r.epc), r.epc_status},
        {"onus", "onus_status", text_of(r.onus), r.onus_status},
        {"auxonus", "auxonus_status", text_of(r.auxonus), r.auxonus_status},
    }};
}

// The display name without the blanks that pad it to seven characters.
std::string status_name(signed char status) {
    std::string name = micr_status_name(status);
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

// Columns before the fields and after them; the CSV header and every CSV row
// follow this one list.
constexpr const char* leading_columns[] = {"file", "line", "micr", "status", "exception_state",
                                           "unrecognized_symbols"};
constexpr const char* error_column = "error";

void append_csv(std::string& row, std::string_view field, bool first = false) {
    if (!first) row += ',';
    row += field;
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
    bool first = true;
    for (const char* name : leading_columns) {
        append_csv(row, name, first);
        first = false;
    }
    for (const field_view& f : fields_of(micr_result{})) {
        append_csv(row, f.name);
        append_csv(row, f.status_name);
    }
    append_csv(row, error_column);
    row += '\n';
    return row;
}

std::string format_record(output_format format, const line_origin& origin, std::string_view micr_text,
                          const micr_result& result) {
    const auto fields = fields_of(result);
    if (format == output_format::csv) {
        std::string row = csv_field(latin1_to_utf8(origin.file));
        append_csv(row, std::to_string(origin.line));
        append_csv(row, csv_field(latin1_to_utf8(micr_text)));
        append_csv(row, std::to_string(result.status));
        append_csv(row, micr_exception_state_name(result.exception_state));
        append_csv(row, std::to_string(result.unrecognized_symbols));
        for (const field_view& f : fields) {
            append_csv(row, csv_field(latin1_to_utf8(f.text)));
            append_csv(row, status_name(f.status));
        }
        append_csv(row, "");  // no error
        row += '\n';
        return row;
    }
    // ordered_json keeps the keys in the order written here.
    nlohmann::ordered_json record;
    record["file"] = latin1_to_utf8(origin.file);
    record["line"] = origin.line;
    record["micr"] = latin1_to_utf8(micr_text);
    record["status"] = static_cast<int>(result.status);
    record["exception_state"] = micr_exception_state_name(result.exception_state);
    record["unrecognized_symbols"] = static_cast<int>(result.unrecognized_symbols);
    for (const field_view& f : fields) {
        record[f.name] = latin1_to_utf8(f.text);
        record[f.status_name] = status_name(f.status);
    }
    return record.dump() + '\n';
}

std::string format_error(output_format format, const line_origin& origin, std::string_view reason) {
    if (format == output_format::csv) {
        std::string row = csv_field(latin1_to_utf8(origin.file));
        append_csv(row, std::to_string(origin.line));
        // micr, the three record values and two columns per field stay empty.
        const std::size_t empty_columns = std::size(leading_columns) - 2 + 2 * field_count;
        row.append(empty_columns, ',');
        append_csv(row, csv_field(reason));
        row += '\n';
        return row;
    }
    nlohmann::ordered_json record;
    record["file"] = latin1_to_utf8(origin.file);
    record["line"] = origin.line;
    record["error"] = std::string(reason);
    return record.dump() + '\n';
}

}  // namespace micr::batch
