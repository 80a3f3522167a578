#include "case_file.h"

#include <cstring>

#include "parse_steps.h"
#include "report.h"

namespace micr {
namespace {

constexpr std::size_t line_buffer_size = 512;  // 511 characters and the terminator
constexpr int column_count = 20;               // 19 commas
constexpr int first_expected_column = 4;       // columns 1-3 are label, MICR line, description

char* text_column(char* const columns[], int i) { return columns[first_expected_column + 2 * i]; }
char* status_column(char* const columns[], int i) { return columns[first_expected_column + 2 * i + 1]; }

// A status written as one character reads like a decimal number: a digit
// gives its value, anything else 0.
signed char single_status(const char* text) { return static_cast<signed char>(is_digit(text[0]) ? text[0] - '0' : 0); }

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The last status is read as a number; whatever follows it is ignored.
signed char trailing_status(const char* text) {
    while (is_space(*text)) ++text;
    return decimal_low_byte(text);
}

// Cuts the line at its first 19 commas into `columns`; returns why the line
// cannot be a test case, or nullptr.  Nothing is written outside the line
// unless the whole line is well-formed.
const char* cut_test_case(char* line, char* columns[column_count], char* message, std::size_t size) {
    int commas = 0;
    for (const char* p = line; *p != '\0' && commas < column_count - 1; ++p)
        if (*p == ',') ++commas;
    if (commas < column_count - 1) return "fewer than 19 commas";

    columns[0] = line;
    for (int i = 1; i < column_count; ++i) {
        char* comma = std::strchr(columns[i - 1], ',');
        *comma = '\0';
        columns[i] = comma + 1;
    }
    if (std::strlen(columns[3]) != 1) return "overall status is not a single character";
    for (int i = 0; i < field_count; ++i) {
        const field_def& f = fields[case_file_order[i]];
        if (std::strlen(text_column(columns, i)) > f.width - 1) {
            std::snprintf(message, size, "expected %s longer than %zu characters", f.name, f.width - 1);
            return message;
        }
        const bool last = i == field_count - 1;
        if (!last && std::strlen(status_column(columns, i)) != 1) {
            std::snprintf(message, size, "%s status is not a single character", f.name);
            return message;
        }
    }
    return nullptr;
}

void fill_expected(char* const columns[column_count], micr_result& expected) {
    expected.status = single_status(columns[3]);
    for (int i = 0; i < field_count; ++i) {
        const field_id f = case_file_order[i];
        std::strcpy(text_of(expected, f), text_column(columns, i));
        const bool last = i == field_count - 1;
        status_of(expected, f) =
            last ? trailing_status(status_column(columns, i)) : single_status(status_column(columns, i));
    }
}

}  // namespace

void table_file_parser::parse(std::string_view micr_text, micr_result& result, parse_notes* notes) {
    parse_printed_line(micr_text, table_, result, notes);
}

run_summary run_test_cases(text_source& input, std::FILE* out, case_parser& parser, run_listener* listener) {
    char line_buffer[line_buffer_size];
    // Each case writes every member of the expected record that is compared.
    micr_result expected{};
    micr_result parsed;
    parse_notes notes;
    std::string block;
    run_summary summary;
    text_line info;
    long line_number = 0;
    bool last_terminated = true;
    char message[96];
    while (!summary.write_failed && read_text_line(input, line_buffer, sizeof line_buffer, info)) {
        ++line_number;
        last_terminated = info.terminated;
        const char* reason = nullptr;
        char* columns[column_count];
        if (info.too_long) {
            reason = "line longer than 511 characters";
        } else if (info.has_nul) {
            reason = "line holds a NUL byte";
        } else if (line_buffer[0] == '\0' || line_buffer[0] == '#') {
            continue;  // empty line or comment
        } else {
            reason = cut_test_case(line_buffer, columns, message, sizeof message);
        }
        if (reason != nullptr) {
            std::fprintf(out, "Skipping malformed test case on line %ld: %s\n", line_number, reason);
            ++summary.skipped;
            if (listener != nullptr) listener->skipped(line_number, reason);
        } else {
            fill_expected(columns, expected);
            const std::string_view micr_text = columns[1];
            parser.parse(micr_text, parsed, &notes);
            ++summary.cases;
            const unsigned differing = report_block(block, columns[0], columns[2], micr_text, parsed, expected);
            std::fwrite(block.data(), 1, block.size(), out);
            if (differing != 0) ++summary.marked_cases;
            if (listener != nullptr)
                listener->test_case(
                    {line_number, columns[0], micr_text, columns[2], parsed, expected, notes, block, differing});
        }
        // A report that cannot be written is not worth producing.
        summary.write_failed = std::ferror(out) != 0;
    }
    summary.read_error = input.error;
    // The Ctrl-Z stands on the line after the last complete one.
    if (input.stopped_at_ctrl_z && bytes_follow_ctrl_z(input))
        summary.ctrl_z_line = last_terminated ? line_number + 1 : line_number;
    return summary;
}

int run_exit_status(const run_summary& summary) { return summary.marked_cases == 0 && summary.skipped == 0 ? 0 : 2; }

}  // namespace micr
