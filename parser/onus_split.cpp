// Default split of the on-us field into account number, cheque serial number
// and transaction processing code, for banks without an exception-table entry.
//
// The on-us text arrives in scan order (right-hand end first).  It is cut at
// on-us symbols into sections 0, 1, 2 counted from the right, and each section
// into digit groups at blanks and dash symbols.  Which group is what is then
// decided from group lengths and digit counts alone.
#include <cstring>

#include "parser_internal.h"

namespace micr {
namespace {

constexpr char section_delimiters[] = {onus_symbol, '\0'};
constexpr char group_delimiters[] = {blank, dash_symbol, '\0'};

// Both live for the parser's lifetime, like every other parser buffer.
char scratch_copy[onus_text_room];
char cut_buffer[onus_text_room];

// The digit groups of one section, split from a copy of it so that the
// section itself keeps its blanks and dash symbols.
struct section_groups {
    char copy[onus_text_room];
    const char* first = "";   // right-most group as printed
    const char* second = "";  // second from the right
    const char* last = "";    // left-most group, only with three or more groups
    int count = 0;
};

void split_groups(const char* section, section_groups& groups) {
    std::strcpy(groups.copy, section);
    char* position = nullptr;
    for (char* group = next_token(groups.copy, group_delimiters, &position); group != nullptr;
         group = next_token(nullptr, group_delimiters, &position)) {
        ++groups.count;
        if (groups.count == 1) groups.first = group;
        if (groups.count == 2) groups.second = group;
        if (groups.count >= 3) groups.last = group;
    }
}

int length(const char* text) { return static_cast<int>(std::strlen(text)); }

void to_account(const char* text) {
    set_subfield(text, parse_result.account, sizeof parse_result.account, &parse_result.account_status);
}
void to_csn(const char* text) {
    set_subfield(text, parse_result.csn, sizeof parse_result.csn, &parse_result.csn_status);
}
void to_tpc(const char* text) {
    set_subfield(text, parse_result.tpc, sizeof parse_result.tpc, &parse_result.tpc_status);
}

bool is_separator(char c) { return c == blank || c == dash_symbol; }

}  // namespace

void split_onus_default() {
    micr_result& r = parse_result;
    trim_blanks(r.onus);

    // Cut all three sections before any is split: the scratch copy is cut in place.
    std::strcpy(scratch_copy, r.onus);
    char empty[3][1] = {{'\0'}, {'\0'}, {'\0'}};
    char* section[3] = {empty[0], empty[1], empty[2]};
    // A field that ends with an on-us symbol as printed has an empty section 0.
    int index = scratch_copy[0] == onus_symbol ? 1 : 0;
    char* position = nullptr;
    for (char* piece = next_token(scratch_copy, section_delimiters, &position); piece != nullptr;
         piece = next_token(nullptr, section_delimiters, &position)) {
        section[index] = piece;
        if (++index == 3) break;
    }
    for (char* s : section) trim_blanks(s);

    section_groups g0, g1, g2;
    split_groups(section[0], g0);
    split_groups(section[1], g1);
    split_groups(section[2], g2);
    const char* s1 = section[1];
    const char* s2 = section[2];
    const int s0a = length(g0.first), s0b = length(g0.second);
    const int s1a = length(g1.first), s1b = length(g1.second), s1z = length(g1.last);
    const int s2a = length(g2.first), s2b = length(g2.second);
    const int d1 = count_digits(s1);

    // Rule 1: section 0 gives the serial number and the processing code.
    if (s0a > 0 && s0b > 0) {
        if (s0b < s0a && s0a >= 3) {
            to_csn(g0.first);
            to_tpc(g0.second);
        } else if (s0b >= 3) {
            to_tpc(g0.first);
            to_csn(g0.second);
        }
    } else if (s0a > 0) {
        // "100" in scan order is a lone 001 as printed: a processing code.
        if (std::strcmp(g0.first, "100") == 0 || s0a < 3)
            to_tpc(g0.first);
        else
            to_csn(g0.first);
    }

    // Rule 2: the auxiliary on-us field carries the serial number on business cheques.
    if (r.csn_status == ST_MISSING && r.auxonus_status == ST_OK) to_csn(r.auxonus);

    // Rule 3: sections 1 and 2 give the account number, and the serial number
    // when neither rule above found one.
    if (r.csn_status == ST_MISSING && (s1a > 0 || s2a > 0)) {
        if (s2a == 0) {
            if (s1b == 0) {
                to_account(g1.first);
            } else if (s1z == 0 && (s1b == 3 || s1b == 4) && s1a >= 5) {
                to_csn(g1.second);
                to_account(g1.first);
            } else if ((s1z == 3 || s1z == 4) && d1 - s1z >= 5) {
                to_csn(g1.last);
                std::size_t n = std::strlen(s1) - static_cast<std::size_t>(s1z);
                std::memcpy(cut_buffer, s1, n);
                cut_buffer[n] = '\0';
                while (n > 0 && is_separator(cut_buffer[n - 1])) cut_buffer[--n] = '\0';
                to_account(cut_buffer);
            } else if ((s1a == 3 || s1a == 4) && d1 - s1a >= 5) {
                to_csn(g1.first);
                to_account(s1 + s1a);
            } else {
                to_account(s1);
            }
        } else if (s1a == 0) {
            to_account(s2);
        } else if (s1b == 0 && s2b == 0) {
            // The shorter group is the serial number; on a tie, section 1's.
            if (s2a < s1a) {
                to_csn(g2.first);
                to_account(g1.first);
            } else {
                to_csn(g1.first);
                to_account(g2.first);
            }
        } else if (s1b == 0) {
            to_csn(g1.first);
            to_account(s2);
        } else if (s2b == 0) {
            to_csn(g2.first);
            to_account(s1);
        } else {
            to_account(s1);
        }
    } else if (s1a > 0) {
        to_account(s1);
    } else if (s2a > 0) {
        to_account(s2);
    }

    trim_blanks(r.account);
}

}  // namespace micr
