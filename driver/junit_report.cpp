#include "junit_report.h"

#include "fields.h"

namespace micr {

void append_xml_text(std::string& out, std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '<': out += "&lt;"; continue;
            case '>': out += "&gt;"; continue;
            case '&': out += "&amp;"; continue;
            case '"': out += "&quot;"; continue;
            default: break;
        }
        if (b >= 0x80) {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        } else if (b < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            // Not even a character reference may stand for these in XML 1.0.
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += c;
        }
    }
}

void junit_report::begin_file(std::string_view name) {
    suites_.emplace_back();
    append_xml_text(suites_.back().name, name);
}

void junit_report::error_case(std::string_view name, std::string_view message) {
    suite& s = suites_.back();
    ++s.tests;
    ++s.errors;
    s.body += "    <testcase name=\"";
    append_xml_text(s.body, name);
    s.body += "\" classname=\"" + s.name + "\"><error message=\"";
    append_xml_text(s.body, message);
    s.body += "\"/></testcase>\n";
}

void junit_report::file_failed(std::string_view message) { error_case("the file", message); }

void junit_report::skipped(long line, std::string_view reason) {
    error_case("line " + std::to_string(line), "Skipping malformed test case: " + std::string(reason));
}

void junit_report::test_case(const case_outcome& outcome) {
    suite& s = suites_.back();
    ++s.tests;
    s.body += "    <testcase name=\"";
    append_xml_text(s.body, outcome.label);
    s.body += "\" classname=\"" + s.name + "\"";
    if (outcome.differing == 0) {
        s.body += "/>\n";
        return;
    }
    ++s.failures;
    s.body += "><failure message=\"differs:";
    const char* separator = " ";
    for (const field_index f : all_fields)
        if (outcome.differing & (1u << f)) {
            s.body += separator;
            s.body += fields[f].name;
            separator = ", ";
        }
    s.body += "\">";
    append_xml_text(s.body, outcome.block);
    s.body += "</failure></testcase>\n";
}

bool junit_report::write(std::FILE* out) const {
    int tests = 0, failures = 0, errors = 0;
    for (const suite& s : suites_) {
        tests += s.tests;
        failures += s.failures;
        errors += s.errors;
    }
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"micrtest\" tests=\"%d\" "
                 "failures=\"%d\" errors=\"%d\">\n",
                 tests, failures, errors);
    for (const suite& s : suites_) {
        std::fprintf(out, "  <testsuite name=\"%s\" tests=\"%d\" failures=\"%d\" errors=\"%d\">\n", s.name.c_str(),
                     s.tests, s.failures, s.errors);
        std::fwrite(s.body.data(), 1, s.body.size(), out);
        std::fputs("  </testsuite>\n", out);
    }
    std::fputs("</testsuites>\n", out);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace micr
