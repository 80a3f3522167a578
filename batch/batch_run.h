// micrparse's loop over one input: every line read gives one record, in order.
#pragma once

#include <cstdio>
#include <string_view>

#include "record_format.h"
#include "line_reader.h"

namespace micr::batch {

// Longest line taken, in characters; a longer one gives an error record.
inline constexpr std::size_t max_line_length = 4095;

// Reads `input` line by line (text mode: CR before LF dropped, Ctrl-Z ends
// it, a last line without LF counts), parses each MICR line, given in reading
// order, in the current directory (PARSE.DAT is read there) and writes its
// record to `out`.  `name` is the file name recorded with each line.  Returns
// the number of lines read.
long write_records(text_source& input, std::string_view name, output_format format, std::FILE* out);

}  // namespace micr::batch
