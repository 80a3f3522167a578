// micrparse's loop over one input: every line read gives one record, in order.
#pragma once

#include <cstdio>

#include "line_reader.h"
#include "micr.h"
#include "record_format.h"

namespace micr::batch {

// Longest line taken, in characters; a longer one gives an error record.
inline constexpr std::size_t max_line_length = 4095;

struct input_summary {
    long lines = 0;             // records written for this input
    int read_error = 0;         // errno of a failed read; the input ended there
    bool write_failed = false;  // a write to `out` failed; nothing more is written
};

// Reads `input` line by line as bytes (a CR before an LF is dropped, every
// other byte is a character, a last line without LF counts), parses each
// code line, given in reading order, with `table` (or none) and `flags`, and
// writes its record to `out` through `writer`.
input_summary write_records(text_source& input, const micr_table* table, unsigned flags, const record_writer& writer,
                            std::FILE* out);

}  // namespace micr::batch
