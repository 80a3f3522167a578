// The run as one self-contained HTML page, for a person hunting one wrong
// field among thousands of cases: a summary with a chart of which fields
// differ, and the cases, filtered and shown a page at a time by a small
// script, each with its MICR line coloured by field and why its on-us field
// was split as it was.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "case_file.h"

namespace micr {

class html_report final : public run_report {
public:
    void begin_file(std::string_view name) override;
    void file_failed(std::string_view message) override;
    void test_case(const case_outcome& outcome) override;
    void skipped(long line, std::string_view reason) override;
    bool write(std::FILE* out) const override;

private:
    std::vector<std::string> files_;  // names, as JSON strings
    std::string file_;                // the name of the file being read
    std::string cases_;               // JSON arrays, one per case, comma-separated
    std::string problems_;            // skipped lines and failed files, as HTML list items
    int cases_count_ = 0, differing_cases_ = 0, skipped_ = 0, failed_files_ = 0;
    int differing_[field_count] = {};
};

}  // namespace micr
