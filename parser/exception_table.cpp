// The exception table: per routing number, a fixed layout of the on-us field
// that replaces the default split for that bank's cheques.
//
// Each line is an entry of seven blank-separated tokens:
//   type(B/P) routing blanks(A/D) section serial_offset serial_length side(R/L)
// This file judges a table line and applies an entry; where the lines come
// from is the business of loaded_table.cpp and legacy_entry.cpp.
#include <cstdio>
#include <iterator>

#include "line_reader.h"
#include "parse_steps.h"

namespace micr {
namespace {

struct problem_message {
    table_problem problem;
    const char* message;  // a printf format for routing_length
};

// Indexed by table_problem.
constexpr problem_message problem_messages[] = {
    {table_problem::none, ""},
    {table_problem::too_long, "line longer than 255 characters"},
    {table_problem::holds_nul, "line holds a NUL byte"},
    {table_problem::few_tokens, "fewer than 7 tokens"},
    {table_problem::routing_length, "routing number has %zu characters, needs 9"},
    {table_problem::entry_type, "type must be B or P"},
    {table_problem::blank_mode, "blank mode must be A or D"},
    {table_problem::account_side, "side must be R or L"},
};
static_assert(indexed_by_code(problem_messages, table_problem::account_side));

// Entries may be written in either case; only the letters a-z fold.
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Finds the first `most` blank-separated tokens of `line`; returns how many
// it found.  Only the blank separates: a tab is part of a token.
int find_tokens(const char* line, std::string_view* tokens, int most) {
    int found = 0;
    const char* p = line;
    while (found < most) {
        while (*p == blank) ++p;
        if (*p == '\0') break;
        const char* const start = p;
        while (*p != blank && *p != '\0') ++p;
        tokens[found++] = {start, static_cast<std::size_t>(p - start)};
    }
    return found;
}

table_problem first_failed_check(const std::string_view* t, int count) {
    if (count < entry_token_count) return table_problem::few_tokens;
    if (t[1].size() != routing_number_length) return table_problem::routing_length;
    const char type = upper(t[0][0]), blanks = upper(t[2][0]), side = upper(t[6][0]);
    if (type != 'B' && type != 'P') return table_problem::entry_type;
    if (blanks != 'A' && blanks != 'D') return table_problem::blank_mode;
    if (side != 'R' && side != 'L') return table_problem::account_side;
    return table_problem::none;
}

// A part of the on-us field into a split field; an empty part leaves the
// field missing.
template <field_index F>
void put_part(std::string_view part, micr_result& r) {
    if (!part.empty()) put_subfield<F>(part, r);
}

// Cuts the on-us field by a matching entry into account, serial number and
// processing code.  Counting runs from the section's right-hand end: the
// right-most serial_offset characters stand right of the serial number.
void apply_entry(micr_result& r, const onus_sections& layout, const exception_entry& e) {
    if (e.section_number < 0) return;  // names no section

    constexpr int most_sections = 128;  // section_number is at most 127
    std::uint64_t sections[most_sections];
    const int wanted = e.section_number + 1;
    const int found = layout.cut(sections, wanted);
    // With the serial number further left, section 0 is the processing code.
    if (e.section_number >= 1) put_part<tpc_field>(layout.text(sections[0]), r);
    if (found < wanted) return;  // the entry names a section this field lacks

    std::string_view selected = layout.text(sections[e.section_number]);
    char without_blanks[MICR_ONUS_SIZE + text_slack];  // with room behind it for put_subfield
    if (e.blank_mode == 'D') {
        std::memset(without_blanks, 0, sizeof without_blanks);
        std::size_t kept = 0;
        for (const char c : selected) {
            // Every character is written, and a blank overwritten by the next: no branch per character.
            without_blanks[kept] = c;
            kept += c != blank ? 1 : 0;
        }
        selected = {without_blanks, kept};
    }
    const std::size_t n = selected.size();
    const std::size_t k = e.serial_offset < 0 || static_cast<std::size_t>(e.serial_offset) > n
                              ? n
                              : static_cast<std::size_t>(e.serial_offset);
    std::size_t serial = n - k;
    if (e.serial_length >= 0 && static_cast<std::size_t>(e.serial_length) < serial)
        serial = static_cast<std::size_t>(e.serial_length);

    const std::size_t serial_start = n - k - serial;
    put_part<csn_field>(selected.substr(serial_start, serial), r);
    if (e.account_side == 'R')
        put_part<account_field>(selected.substr(n - k), r);
    else
        put_part<account_field>(selected.substr(0, serial_start), r);
}

class empty_table final : public exception_table {
public:
    micr_exception_state find_entry(std::string_view, exception_entry&) const override { return MICR_EX_NORMAL; }
};

}  // namespace

namespace {
// Made before any code runs: no guard to test on every parse.
constinit const empty_table none;
}  // namespace

const exception_table& no_table() { return none; }

table_line judge_table_line(const char* line, const text_line& info) {
    table_line judged;
    // A line that had to be cut, or that hides a NUL, cannot be trusted as an entry.
    if (info.too_long || info.has_nul) {
        judged.kind = table_line_kind::malformed;
        judged.problem = info.too_long ? table_problem::too_long : table_problem::holds_nul;
        return judged;
    }
    const int count = find_tokens(line, judged.tokens, entry_token_count);
    if (count == 0 || judged.tokens[0][0] == '#') return judged;  // blank line or comment
    judged.problem = first_failed_check(judged.tokens, count);
    judged.kind = judged.problem == table_problem::none ? table_line_kind::entry : table_line_kind::malformed;
    return judged;
}

void describe_table_problem(const table_line& line, char* message, std::size_t size) {
    const char* format = problem_messages[static_cast<int>(line.problem)].message;
    if (line.problem == table_problem::routing_length)
        std::snprintf(message, size, format, line.tokens[1].size());
    else
        std::snprintf(message, size, "%s", format);
}

exception_entry read_entry(const table_line& line, long number) {
    const std::string_view* t = line.tokens;
    // A token ends at a blank or at the end of the line, so the decimal
    // reader stops there too.
    exception_entry e{};
    e.blank_mode = upper(t[2][0]);
    e.section_number = decimal_low_byte(t[3].data());
    e.serial_offset = decimal_low_byte(t[4].data());
    e.serial_length = decimal_low_byte(t[5].data());
    e.account_side = upper(t[6][0]);
    e.line = number;
    return e;
}

bool routing_matches(std::string_view routing, std::string_view transit) {
    if (transit.size() != routing.size()) return false;
    for (std::size_t i = 0; i < transit.size(); ++i)
        if (upper(routing[i]) != transit[i]) return false;
    return true;
}

void apply_exception_table(micr_result& r, const onus_sections& layout, const exception_table& table,
                           parse_notes* notes) {
    exception_entry entry{};
    r.exception_state = static_cast<signed char>(table.find_entry(field_text(r, transit_field), entry));
    if (r.exception_state != MICR_EX_USED) return;
    apply_entry(r, layout, entry);
    if (notes != nullptr) notes->table_line = entry.line;
}

}  // namespace micr
