#include "case_file.h"

#include <cstring>

#include "parse_steps.h"
#include "report.h"

namespace micr {
namespace {

constexpr std::size_t line_buffer_size = 512;  // 511 characters and the terminator
constexpr int column_count = 20;               // 19 commas
constexpr int first_expected_column = 4;       // columns 1-3 are label, MICR line, description

// The columns of a test-case line, each ended in place, with their lengths.
struct case_columns {
    char* text[column_count];
    std::size_t length[column_count];
    std::string_view view(int i) const { return {text[i], length[i]}; }
    int expected_text(int field) const { return first_expected_column + 2 * field; }
    int expected_status(int field) const { return first_expected_column + 2 * field + 1; }
};

// A status written as one character reads like a decimal number: a digit
// gives its value, anything else 0.
signed char single_status(const char* text) { return static_cast<signed char>(is_digit(text[0]) ? text[0] - '0' : 0); }

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The last status is read as a number; whatever follows it is ignored.
signed char trailing_status(const char* text) {
    while (is_space(*text)) ++text;
    return decimal_low_byte(text);
}

// Cuts the line of `length` characters at its first 19 commas into
// `columns`, in one pass; returns why the line cannot be a test case, or
// nullptr.
const char* cut_test_case(char* line, std::size_t length, case_columns& columns, char* message, std::size_t size) {
    char* const end = line + length;
    char* start = line;
    for (int i = 0; i < column_count - 1; ++i) {
        auto* comma = static_cast<char*>(std::memchr(start, ',', static_cast<std::size_t>(end - start)));
        if (comma == nullptr) return "fewer than 19 commas";
        *comma = '\0';
        columns.text[i] = start;
        columns.length[i] = static_cast<std::size_t>(comma - start);
        start = comma + 1;
    }
    columns.text[column_count - 1] = start;
    columns.length[column_count - 1] = static_cast<std::size_t>(end - start);

    if (columns.length[3] != 1) return "overall status is not a single character";
    for (int i = 0; i < field_count; ++i) {
        const field_def& f = fields[case_file_order[i]];
        if (columns.length[columns.expected_text(i)] > f.width - 1) {
            std::snprintf(message, size, "expected %s longer than %zu characters", f.name, f.width - 1);
            return message;
        }
        const bool last = i == field_count - 1;
        if (!last && columns.length[columns.expected_status(i)] != 1) {
            std::snprintf(message, size, "%s status is not a single character", f.name);
            return message;
        }
    }
    return nullptr;
}

void fill_expected(const case_columns& columns, micr_result& expected) {
    expected.status = single_status(columns.text[3]);
    for (int i = 0; i < field_count; ++i) {
        const field_index f = case_file_order[i];
        const std::string_view text = columns.view(columns.expected_text(i));
        std::memcpy(text_of(expected, f), text.data(), text.size());
        text_of(expected, f)[text.size()] = '\0';
        const char* status = columns.text[columns.expected_status(i)];
        const bool last = i == field_count - 1;
        status_of(expected, f) = last ? trailing_status(status) : single_status(status);
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
    // A block holds the label, MICR line and description of one line of the
    // file, and what every block holds besides.
    char block[line_buffer_size + block_room_besides_texts];
    run_summary summary;
    text_line info;
    long line_number = 0;
    bool last_terminated = true;
    char message[96];
    while (!summary.write_failed && read_text_line(input, line_buffer, sizeof line_buffer, info)) {
        ++line_number;
        last_terminated = info.terminated;
        const char* reason = nullptr;
        case_columns columns;
        if (info.too_long) {
            reason = "line longer than 511 characters";
        } else if (info.has_nul) {
            reason = "line holds a NUL byte";
        } else if (line_buffer[0] == '\0' || line_buffer[0] == '#') {
            continue;  // empty line or comment
        } else {
            reason = cut_test_case(line_buffer, info.length, columns, message, sizeof message);
        }
        if (reason != nullptr) {
            std::fprintf(out, "Skipping malformed test case on line %ld: %s\n", line_number, reason);
            ++summary.skipped;
            if (listener != nullptr) listener->skipped(line_number, reason);
        } else {
            fill_expected(columns, expected);
            const std::string_view label = columns.view(0), micr_text = columns.view(1), description = columns.view(2);
            parser.parse(micr_text, parsed, &notes);
            ++summary.cases;
            unsigned differing;
            const char* const end = report_block(block, label, description, micr_text, parsed, expected, differing);
            const std::string_view written(block, static_cast<std::size_t>(end - block));
            std::fwrite(written.data(), 1, written.size(), out);
            if (differing != 0) ++summary.marked_cases;
            if (listener != nullptr)
                listener->test_case(
                    {line_number, label, micr_text, description, parsed, expected, notes, written, differing});
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
