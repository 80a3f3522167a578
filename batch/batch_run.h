// micrparse's loop over one input: every line read gives one record, in order.
#pragma once

#include <cstdio>

#include "line_reader.h"
#include "micr.h"
#include "record_format.h"

namespace micr::batch {

// Longest line taken, in characters; a longer one gives an error record.
inline constexpr std::size_t max_line_length = 4095;

// How each line is read and parsed.
struct line_options {
    const char* symbols = nullptr;  // the reader's convention, one micr_translate accepts; null: the library's own
    text_encoding encoding = text_encoding::latin1;
    unsigned flags = 0;  // for micr_parse: 0 or MICR_SALVAGE
};

struct input_summary {
    long lines = 0;             // records written for this input
    int read_error = 0;         // errno of a failed read; the input ended there
    bool write_failed = false;  // a write to `out` failed; nothing more is written
};

// Reads `input` line by line, as the source is set up (a CR before an LF is
// dropped, a last line without LF counts; micrparse clears ctrl_z_ends, so
// that every other byte, a Ctrl-Z too, is a character), rewrites each
// code line, given in reading order, from the reader's convention into the
// library's letters, parses it with `table` (or none), and writes its record
// to `out` through `writer`.
input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, std::FILE* out);

}  // namespace micr::batch
