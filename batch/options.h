// micrparse's command line.
#pragma once

#include <string>
#include <vector>

#include "batch_run.h"
#include "record_format.h"

namespace micr::batch {

struct options {
    output_format format = output_format::json_lines;
    line_options line;
    const char* table = nullptr;  // --table
    bool no_table = false;
    const char* check_table = nullptr;
    bool explain = false;             // --explain
    const char* directory = nullptr;  // --directory
    bool x9 = false;                  // --x9
    const char* check_directory = nullptr;
    unsigned jobs = 0;               // --jobs: parsing threads; 0 for one per CPU micrparse may run on
    std::vector<const char*> files;  // "-" is standard input, the one input when no file is named
};

// What a command line asks for: a run with `opt`, the help or the version,
// or nothing but a usage error, said in `error`.
struct command_line {
    enum class request { run, help, version, bad_usage } what = request::run;
    options opt;
    std::string error;
};

// Reads argv[1] to argv[argc - 1].  Options and file names may come in any
// order, "--" makes every argument after it a file name, and an option that
// takes a value has it after '=' or as the next argument, once.  Help, the
// version or a usage error ends the reading where it stands.  An option that
// only checks a file (--check-table, --check-directory) stands alone: with
// any other option or a file name it is a usage error.  The options keep
// pointers into argv.
command_line parse_options(int argc, const char* const* argv);

}  // namespace micr::batch
