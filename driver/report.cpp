#include "report.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "fields.h"

namespace micr {
namespace {

constexpr char dash_line[] = "---------------------------------------------------------\n";
constexpr int label_width = 10;
constexpr int text_width = 25;
constexpr int case_label_width = 3;

// Collects a block and hands it to the stream in as few writes as possible.
class block_writer {
public:
    explicit block_writer(std::FILE* out) : out_(out) {}
    block_writer(const block_writer&) = delete;
    block_writer& operator=(const block_writer&) = delete;
    ~block_writer() { flush(); }

    void put(const char* text, std::size_t length) {
        if (used_ + length > sizeof data_) {
            flush();
            if (length > sizeof data_) {
                std::fwrite(text, 1, length, out_);
                return;
            }
        }
        std::memcpy(data_ + used_, text, length);
        used_ += length;
    }
    void put(const char* text) { put(text, std::strlen(text)); }
    void put(char c) { put(&c, 1); }
    void pad(std::size_t count) {
        static constexpr char blanks[] = "                                ";
        for (std::size_t step; count > 0; count -= step) {
            step = std::min(count, sizeof blanks - 1);
            put(blanks, step);
        }
    }
    // Left-justified in exactly `width` columns: padded, or cut after `width` characters.
    void column(const char* text, std::size_t width) {
        const std::size_t length = strnlen(text, width);
        put(text, length);
        pad(width - length);
    }
    void number(int value) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        put(digits, static_cast<std::size_t>(end - digits));
    }

private:
    void flush() {
        if (used_ > 0) std::fwrite(data_, 1, used_, out_);
        used_ = 0;
    }
    std::FILE* out_;
    char data_[4096];
    std::size_t used_ = 0;
};

// One field line; returns true when the line is marked.
bool print_compared_field(block_writer& w, const char* field_label, const char* parsed_text, signed char parsed_status,
                          const char* expected_text, signed char expected_status) {
    const bool agrees = parsed_status == expected_status && std::strcmp(parsed_text, expected_text) == 0;
    w.put(agrees ? ' ' : '*');
    const std::size_t label_length = std::strlen(field_label);
    if (label_length < label_width) w.pad(label_width - label_length);
    w.put(field_label, label_length);
    w.put(' ');
    w.put(micr_status_name(parsed_status));
    w.put(' ');
    w.column(parsed_text, text_width);
    if (!agrees) {
        w.put("    ");
        w.put(micr_status_name(expected_status));
        w.put(' ');
        w.column(expected_text, text_width);
    }
    w.put('\n');
    return !agrees;
}

}  // namespace

int report_case(std::FILE* out, const char* label, const char* description, const char* micr_text,
                const micr_result& parsed, const micr_result& expected) {
    block_writer w(out);
    w.put(dash_line);
    w.put("MICR line: ");
    w.put(micr_text);
    w.put('\n');
    w.put(dash_line);
    w.put(" Exception:        ");
    const std::size_t label_length = std::strlen(label);
    w.put(label, label_length);
    if (label_length < case_label_width) w.pad(case_label_width - label_length);
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
    int marked = 0;
    for (const field_id f : all_fields)
        marked += print_compared_field(w, fields[f].report_label, text_of(parsed, f), status_of(parsed, f),
                                       text_of(expected, f), status_of(expected, f));
    w.put('\n');
    return marked;
}

}  // namespace micr
