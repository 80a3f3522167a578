#include "case_file.h"

#include <cstring>

#include "parser_internal.h"
#include "report.h"

namespace micr {
namespace {

constexpr std::size_t line_buffer_size = 512;  // 511 characters and the terminator
constexpr int field_count = 20;                // 19 commas

// The line buffer and the expected record live for the whole run.
char line_buffer[line_buffer_size];
micr_result expected;

// One expected field as it stands in the file: its text, then its status.
struct expected_field {
    const char* name;
    char* text;
    std::size_t size;
    signed char* status;
};

// In file order, which is neither the record's nor the report's.
const expected_field expected_fields[] = {
    {"amount", expected.amount, sizeof expected.amount, &expected.amount_status},
    {"tpc", expected.tpc, sizeof expected.tpc, &expected.tpc_status},
    {"csn", expected.csn, sizeof expected.csn, &expected.csn_status},
    {"account", expected.account, sizeof expected.account, &expected.account_status},
    {"epc", expected.epc, sizeof expected.epc, &expected.epc_status},
    {"onus", expected.onus, sizeof expected.onus, &expected.onus_status},
    {"auxonus", expected.auxonus, sizeof expected.auxonus, &expected.auxonus_status},
    {"transit", expected.transit, sizeof expected.transit, &expected.transit_status},
};
constexpr int first_expected_field = 4;  // fields 1-3 are label, MICR line, description

// A status written as one character reads like a decimal number: a digit
// gives its value, anything else 0.
signed char single_status(const char* text) {
    return static_cast<signed char>(text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : 0);
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The last status is read as a number; whatever follows it is ignored.
signed char trailing_status(const char* text) {
    while (is_space(*text)) ++text;
    return decimal_low_byte(text);
}

// Cuts the line at its first 19 commas into `fields`; returns why the line
// cannot be a test case, or nullptr.  Nothing is written outside the line
// unless the whole line is well-formed.
const char* cut_test_case(char* line, char* fields[field_count], char* message, std::size_t size) {
    int commas = 0;
    for (const char* p = line; *p != '\0' && commas < field_count - 1; ++p)
        if (*p == ',') ++commas;
    if (commas < field_count - 1) return "fewer than 19 commas";

    fields[0] = line;
    for (int i = 1; i < field_count; ++i) {
        char* comma = std::strchr(fields[i - 1], ',');
        *comma = '\0';
        fields[i] = comma + 1;
    }
    if (std::strlen(fields[3]) != 1) return "overall status is not a single character";
    for (int i = 0; i < 8; ++i) {
        const expected_field& f = expected_fields[i];
        const char* text = fields[first_expected_field + 2 * i];
        if (std::strlen(text) > f.size - 1) {
            std::snprintf(message, size, "expected %s longer than %zu characters", f.name, f.size - 1);
            return message;
        }
        if (i < 7 && std::strlen(fields[first_expected_field + 2 * i + 1]) != 1) {
            std::snprintf(message, size, "%s status is not a single character", f.name);
            return message;
        }
    }
    return nullptr;
}

void fill_expected(char* const fields[field_count]) {
    expected.status = single_status(fields[3]);
    for (int i = 0; i < 8; ++i) {
        const expected_field& f = expected_fields[i];
        std::strcpy(f.text, fields[first_expected_field + 2 * i]);
        const char* status = fields[first_expected_field + 2 * i + 1];
        *f.status = i < 7 ? single_status(status) : trailing_status(status);
    }
}

}  // namespace

run_summary run_test_cases(text_source& input, std::FILE* out) {
    run_summary summary;
    text_line info;
    long line_number = 0;
    char message[96];
    while (read_text_line(input, line_buffer, sizeof line_buffer, info)) {
        ++line_number;
        const char* reason = nullptr;
        char* fields[field_count];
        if (info.too_long) {
            reason = "line longer than 511 characters";
        } else if (info.has_nul) {
            reason = "line holds a NUL byte";
        } else if (line_buffer[0] == '\0' || line_buffer[0] == '#') {
            continue;  // empty line or comment
        } else {
            reason = cut_test_case(line_buffer, fields, message, sizeof message);
        }
        if (reason != nullptr) {
            std::fprintf(out, "Skipping malformed test case on line %ld: %s\n", line_number, reason);
            ++summary.skipped;
            continue;
        }

        fill_expected(fields);
        // The parser reads the line from its right-hand end.
        char* micr_text = fields[1];
        reverse_text(micr_text);
        const micr_result* parsed = parse_micr_line(micr_text);
        reverse_text(micr_text);
        ++summary.cases;
        if (report_case(out, fields[0], fields[2], micr_text, *parsed, expected) > 0) ++summary.marked_cases;
    }
    return summary;
}

int run_exit_status(const run_summary& summary) {
    return summary.marked_cases == 0 && summary.skipped == 0 ? 0 : 2;
}

}  // namespace micr
