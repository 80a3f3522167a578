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
// takes a value has it after '=' or as the next argument, once.  A check
// option (--check-table) stands alone: no input file, no table option.  Help, the version
// or a usage error ends the reading where it stands.  The options keep
// pointers into argv.
command_line parse_options(int argc, const char* const* argv);

}  // namespace micr::batch
