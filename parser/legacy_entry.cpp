// parse_micr_line, the original entry, kept for its callers: the line comes
// reversed (last character first), PARSE.DAT in the current directory is read
// afresh on every parse that reaches the exception-table step, so that an
// edited table takes effect at once, and the result is one static record.
// This is the only place that reads a table per parse.
#include "line_reader.h"
#include "parse_steps.h"

namespace micr {
namespace {

class table_read_per_parse final : public exception_table {
public:
    micr_exception_state find_entry(std::string_view transit, exception_entry& entry) const override {
        char read_buffer[table_read_size];
        text_source table;
        if (!open_text_source(table, default_table_name, read_buffer, sizeof read_buffer, open_mode::regular_only))
            return MICR_EX_OPEN_ERR;
        const micr_exception_state state = search_table(table, transit, entry);
        close_text_source(table);
        return state;
    }
};

}  // namespace

micr_exception_state search_table(text_source& table, std::string_view transit, exception_entry& entry) {
    char line[table_line_size];
    text_line info;
    long number = 0;
    // An over-long line settles the search: nothing past it is read.
    while (read_text_line(table, line, sizeof line, info, long_lines::stop)) {
        ++number;
        const table_line judged = judge_table_line(line, info);
        if (judged.kind == table_line_kind::malformed) return MICR_EX_INVALID;
        if (judged.kind == table_line_kind::entry && routing_matches(judged.tokens[1], transit)) {
            entry = read_entry(judged, number);
            return MICR_EX_USED;
        }
    }
    // A table cut short by a read error cannot be trusted to have no match.
    return table.error != 0 ? MICR_EX_OPEN_ERR : MICR_EX_NORMAL;
}

}  // namespace micr

const micr_result* parse_micr_line(const char* reversed_text) {
    using namespace micr;
    // The one record of this entry point: valid until the next call.
    static micr_result record;
    static const table_read_per_parse parse_dat;
    clear_result(record);
    scan_and_split(scan_cursor::over_reversed(reversed_text, std::strlen(reversed_text)), parse_dat, 0, record);
    return &record;
}
