// The run as JUnit XML, which CI systems read: a testsuite per case file, a
// testcase per test case, a failure for each case with differences, an error
// for each skipped line and for a file that could not be opened or read.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "case_file.h"

namespace micr {

class junit_report final : public run_report {
public:
    void begin_file(std::string_view name) override;
    void file_failed(std::string_view message) override;
    void test_case(const case_outcome& outcome) override;
    void skipped(long line, std::string_view reason) override;
    bool write(std::FILE* out) const override;

private:
    struct suite {
        std::string name;  // escaped
        std::string body;  // its testcase elements
        int tests = 0, failures = 0, errors = 0;
    };
    void error_case(std::string_view name, std::string_view message);
    std::vector<suite> suites_;
};

// Appends `bytes` as XML 1.0 text: markup characters escaped, each byte from
// 0x80 up as the UTF-8 of its Latin-1 character, and each control byte that
// XML cannot hold (all below 0x20 but tab, LF and CR) as the text \xNN.
void append_xml_text(std::string& out, std::string_view bytes);

}  // namespace micr
