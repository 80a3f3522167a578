#include "table_warnings.h"

#include <algorithm>
#include <cstdint>

#include "line_reader.h"
#include "routing_number.h"
#include "table.h"
#include "utf8.h"

namespace micr::batch {
namespace {

// The lines of `text` as the line reader returns them: the last one counts
// without its line feed.
long count_lines(std::string_view text) {
    text_source source;
    memory_text_source(source, text.data(), text.size());
    source.ctrl_z_ends = false;
    char line[1];  // only the count matters
    text_line info;
    long lines = 0;
    while (read_text_line(source, line, sizeof line, info)) ++lines;
    return lines;
}

// A carriage return that the reader keeps as a character: one warning per
// line that holds one.
void note_carriage_returns(std::string_view text, std::vector<table_warning>& found) {
    long line = 1;
    long noted = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
        } else if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n') && noted != line) {
            noted = line;
            found.push_back({line,
                             "carriage return inside a line; this file may use CR line ends, and all of it reads "
                             "as one line"});
        }
    }
}

// Entries that no parse can ever use: a routing number that is not nine
// digits, and every entry after the first for the same number.
void note_unusable_entries(std::string_view text, std::vector<table_warning>& found) {
    text_source source;
    memory_text_source(source, text.data(), text.size());
    char line[table_line_size];
    text_line info;
    routing_index first_entries;  // routing number -> its first entry's place in `lines`
    std::vector<long> lines;
    long number = 0;
    while (read_text_line(source, line, sizeof line, info)) {
        ++number;
        const table_line judged = judge_table_line(line, info);
        if (judged.kind != table_line_kind::entry) continue;
        const std::string_view routing = judged.tokens[1];
        std::uint32_t key;
        if (!routing_key(routing, key)) {
            found.push_back(
                {number, "routing number " + std::string(routing) + " holds a non-digit; no transit can match it"});
            continue;
        }
        const auto next = static_cast<std::uint32_t>(lines.size());
        const std::uint32_t first = first_entries.insert(key, next);
        if (first == next)
            lines.push_back(number);
        else
            found.push_back(
                {number, "never used: line " + std::to_string(lines[first]) + " has the same routing number"});
    }
}

}  // namespace

std::vector<table_warning> table_warnings(std::string_view bytes) {
    std::vector<table_warning> found;
    if (bytes.starts_with(utf8_byte_order_mark)) found.push_back({1, "starts with a UTF-8 byte-order mark"});
    const std::size_t ctrl_z_at = bytes.find(ctrl_z);
    const std::string_view read = bytes.substr(0, ctrl_z_at);  // what the library reads
    note_carriage_returns(read, found);
    note_unusable_entries(read, found);
    if (ctrl_z_at != std::string_view::npos) {
        // The line end of the Ctrl-Z's own line hides nothing; what else
        // stands on that line counts as a line not read.
        std::string_view rest = bytes.substr(ctrl_z_at + 1);
        for (const std::string_view line_end : {"\n", "\r\n"})
            if (rest.starts_with(line_end)) rest.remove_prefix(line_end.size());
        const long after = count_lines(rest);
        if (after > 0) {
            const long line = 1 + static_cast<long>(std::count(read.begin(), read.end(), '\n'));
            found.push_back({line, "the table ends at a Ctrl-Z byte; " + std::to_string(after) +
                                       (after == 1 ? " line after it is not read" : " lines after it are not read")});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const table_warning& a, const table_warning& b) { return a.line < b.line; });
    return found;
}

}  // namespace micr::batch
