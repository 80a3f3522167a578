// What `micrparse --check-table` tells beyond the malformed lines: facts
// about a table file's bytes that make entries never apply, or make the file
// read otherwise than it looks in an editor.  They change no parse.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace micr::batch {

struct table_warning {
    long line;  // from 1, as the library counts the table's lines
    std::string message;
};

// The warnings of a table file whose whole contents are `bytes`, in line
// order.  Only what the library reads counts: nothing after a Ctrl-Z byte.
std::vector<table_warning> table_warnings(std::string_view bytes);

}  // namespace micr::batch
