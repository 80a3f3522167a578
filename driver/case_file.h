// The test driver's loop over a test-case file: one line per cheque, holding
// label, MICR line, description and the expected value and status of every field.
#pragma once

#include <cstdio>

#include "line_reader.h"

namespace micr {

struct run_summary {
    int cases = 0;              // report blocks printed
    int marked_cases = 0;       // blocks with at least one field marked '*'
    int skipped = 0;            // malformed lines skipped with a message
    int read_error = 0;         // errno of a read of the file that failed; the run ended there
    long ctrl_z_line = 0;       // line of a Ctrl-Z that ended the input with bytes after it, else 0
    bool write_failed = false;  // `out` reported an error; the run ended there
};

// Runs every test case of `input`, printing report blocks and skip messages
// on `out`.  Parses in the current directory (PARSE.DAT is read from there).
run_summary run_test_cases(text_source& input, std::FILE* out);

// Exit status after a run that read its whole input: 0 when every field
// agreed and no line was skipped, 2 otherwise.
int run_exit_status(const run_summary& summary);

}  // namespace micr
