// The test driver's loop over a test-case file: one line per cheque, holding
// label, MICR line, description and the expected value and status of every field.
#pragma once

#include <cstdio>
#include <string_view>

#include "fields.h"
#include "line_reader.h"
#include "micr.h"
#include "parse_steps.h"

namespace micr {

// The expected fields in the order of a test-case file, which is neither the
// record's nor the report's: each is a text column, then a status column,
// after label, MICR line, description and the overall status.
inline constexpr field_index case_file_order[field_count] = {amount_field, tpc_field,  csn_field,     account_field,
                                                             epc_field,    onus_field, auxonus_field, transit_field};

// How each case's MICR line, as printed, is parsed into `result`; `notes`
// (never null) says what the parser can tell beyond the record.
class case_parser {
public:
    virtual void parse(std::string_view micr_text, micr_result& result, parse_notes* notes) = 0;

protected:
    ~case_parser() = default;
};

// micrtest's parse: the parser's core on the line as printed, with the rules
// of the original entry (a blank at the line's right-hand end is part of the
// line; no table file gives MICR_EX_OPEN_ERR and no split), against a table file
// read once, on the first case that reaches the exception-table step.
class table_file_parser final : public case_parser {
public:
    explicit table_file_parser(const char* table_path = default_table_name) : table_(table_path) {}
    void parse(std::string_view micr_text, micr_result& result, parse_notes* notes) override;

private:
    table_file table_;
};

struct run_summary {
    int cases = 0;              // report blocks printed
    int marked_cases = 0;       // blocks with at least one field marked '*'
    int skipped = 0;            // malformed lines skipped with a message
    int read_error = 0;         // errno of a read of the file that failed; the run ended there
    long ctrl_z_line = 0;       // line of a Ctrl-Z that ended the input with bytes after it, else 0
    bool write_failed = false;  // `out` reported an error; the run ended there
};

// One test case as it was run.
struct case_outcome {
    long line;  // in the file, from 1
    std::string_view label, micr_text, description;
    const micr_result& parsed;
    const micr_result& expected;
    const parse_notes& notes;
    std::string_view block;  // the report block, as printed
    unsigned differing;      // a bit per field that differs, 1u << its field_index
};

// What other reports than the text one learn of a run, as it goes.
class run_listener {
public:
    virtual void test_case(const case_outcome& outcome) = 0;
    virtual void skipped(long line, std::string_view reason) = 0;

protected:
    ~run_listener() = default;
};

// A report of a whole run beside the text one (JUnit XML, HTML), told of each
// file as it begins and written once the run is over.
class run_report : public run_listener {
public:
    virtual ~run_report() = default;
    virtual void begin_file(std::string_view name) = 0;
    // The file could not be opened, or a read of it failed: `message` says which.
    virtual void file_failed(std::string_view message) = 0;
    // Writes the whole report; false when a write fails.
    virtual bool write(std::FILE* out) const = 0;
};

// Runs every test case of `input`, printing report blocks and skip messages
// on `out`, each case parsed by `parser`, and tells `listener` (unless null)
// of each.
run_summary run_test_cases(text_source& input, std::FILE* out, case_parser& parser, run_listener* listener = nullptr);

// Exit status after a run that read its whole input: 0 when every field
// agreed and no line was skipped, 2 otherwise.
int run_exit_status(const run_summary& summary);

}  // namespace micr
