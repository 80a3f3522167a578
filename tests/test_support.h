// Shared helpers of the test suite: temporary directories, files, running the
// parser on a line written in reading order, running the real programs.
#pragma once

#include <string>
#include <vector>

#include "micr.h"

namespace micr_test {

// A fresh directory under the system's temporary directory, removed with
// everything in it on destruction.  With `enter`, the process works inside it
// for the object's lifetime (the parser looks for PARSE.DAT there).
class temp_dir {
public:
    explicit temp_dir(bool enter = true);
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string previous_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

// Parses a MICR line written in reading order: hands the parser the reversed
// text in a buffer of exactly its size, checks the text came back unchanged,
// and returns a copy of the record.
micr_result parse_reading_order(const std::string& line);

// Overall status, both flags and every field's status and text (up to its
// terminator) are the same.
bool same_result(const micr_result& a, const micr_result& b);

// An expected field of a parse: its text in reading order and its status.
struct expected_field {
    const char* text;
    int status;
};

inline constexpr expected_field missing{"", ST_MISSING};
constexpr expected_field ok(const char* text) { return {text, ST_OK}; }
constexpr expected_field too_long(const char* text) { return {text, ST_TOOLONG}; }

// Checks one field of a result against what was expected, naming the field.
void expect_field(const char* name, const char* text, signed char status, const expected_field& want);

struct program_run {
    std::string out;  // everything written on standard output
    std::string err;  // everything written on standard error
    int exit_status = -1;
};

// Runs `program` with `args` in directory `cwd`, standard input from `input`.
program_run run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                        const std::string& input = "");

}  // namespace micr_test
