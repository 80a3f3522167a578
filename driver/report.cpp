#include "report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "fields.h"

namespace micr {
namespace {

constexpr char dash_line[] = "---------------------------------------------------------\n";
constexpr int label_width = 10;
constexpr int text_width = 25;
constexpr int case_label_width = 3;

// Writes a block through a plain cursor: the caller has made room for it.
class block_writer {
public:
    explicit block_writer(char* at) : at_(at) {}

    void put(std::string_view text) {
        if (!text.empty()) std::memcpy(at_, text.data(), text.size());
        at_ += text.size();
    }
    void put(char c) { *at_++ = c; }
    void pad(std::size_t count) {
        std::memset(at_, ' ', count);
        at_ += count;
    }
    // Left-justified in exactly `width` columns: padded, or cut after `width` characters.
    void column(const char* text, std::size_t width) {
        const std::size_t length = strnlen(text, width);
        put(std::string_view(text, length));
        pad(width - length);
    }
    void number(int value) { at_ = std::to_chars(at_, at_ + 8, value).ptr; }
    char* end() const { return at_; }

private:
    char* at_;
};

// The seven-character status names, and the field labels right-justified in
// their ten columns, as written.
const std::array<std::string_view, 8> status_names = [] {
    std::array<std::string_view, 8> names;
    for (int code = 0; code < 8; ++code) names[static_cast<std::size_t>(code)] = micr_status_name(code);
    return names;
}();
std::string_view status_name(signed char status) {
    return status_names[status >= 0 && status < 7 ? static_cast<std::size_t>(status) : 7];
}

// One field line; returns true when the line is marked.
bool print_compared_field(block_writer& w, const char* field_label, const char* parsed_text, signed char parsed_status,
                          const char* expected_text, signed char expected_status) {
    const bool agrees = parsed_status == expected_status && std::strcmp(parsed_text, expected_text) == 0;
    w.put(agrees ? ' ' : '*');
    const std::size_t label_length = std::strlen(field_label);
    if (label_length < label_width) w.pad(label_width - label_length);
    w.put(std::string_view(field_label, label_length));
    w.put(' ');
    w.put(status_name(parsed_status));
    w.put(' ');
    w.column(parsed_text, text_width);
    if (!agrees) {
        w.put("    ");
        w.put(status_name(expected_status));
        w.put(' ');
        w.column(expected_text, text_width);
    }
    w.put('\n');
    return !agrees;
}

}  // namespace

char* report_block(char* out, std::string_view label, std::string_view description, std::string_view micr_text,
                   const micr_result& parsed, const micr_result& expected, unsigned& differing) {
    block_writer w(out);
    w.put(dash_line);
    w.put("MICR line: ");
    w.put(micr_text);
    w.put('\n');
    w.put(dash_line);
    w.put(" Exception:        ");
    w.put(label);
    if (label.size() < case_label_width) w.pad(case_label_width - label.size());
    w.put("  ");
    w.put(description);
    w.put('\n');
    w.put(" exception_state:  ");
    w.put(micr_exception_state_name(parsed.exception_state));
    w.put('\n');
    w.put(" status: ");
    w.number(parsed.status);
    w.put(" unrecognized_symbols: ");
    w.number(parsed.unrecognized_symbols);
    w.put('\n');

    // The report shows the fields in the order of the record.
    differing = 0;
    for (const field_index f : all_fields)
        if (print_compared_field(w, fields[f].report_label, text_of(parsed, f), status_of(parsed, f),
                                 text_of(expected, f), status_of(expected, f)))
            differing |= 1u << f;
    w.put('\n');
    return w.end();
}

}  // namespace micr
