// micrtest's command line.
#pragma once

#include <string>
#include <vector>

namespace micr {

struct micrtest_options {
    std::vector<const char*> files;
    const char* table = nullptr;  // --table: instead of ./PARSE.DAT
    const char* junit = nullptr;  // --junit: also write a JUnit XML report
    const char* html = nullptr;   // --html: also write an HTML report
    bool summary = false;         // --summary: a count on standard error at the end
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program's name.  Only the long options and
// `--` are options; every other argument is a file, `-` and `-x` included.
// Returns an empty string, or why the command line is wrong.
std::string parse_micrtest_options(int argc, const char* const* argv, micrtest_options& options);

}  // namespace micr
