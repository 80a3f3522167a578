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

constexpr char group_delimiters[] = {blank, dash_symbol, '\0'};
constexpr int section_count = 3;

// The lengths the rules turn on.
constexpr int shortest_serial = 3;              // a serial number has at least three digits
constexpr int longest_short_serial = 4;         // beside an account number in section 1: three or four
constexpr int shortest_account = 5;             // an account number beside such a serial number
constexpr char lone_code_scan_order[] = "100";  // a lone group 001 as printed is a processing code

// The digit groups of one section, split from a copy of it so that the
// section itself keeps its blanks and dash symbols.  Group names follow scan
// order: `a` is the right-most group as printed.
struct section_groups {
    char copy[onus_text_room];
    const char* a = "";  // first group
    const char* b = "";  // second group
    const char* z = "";  // last group, only with three or more groups
    int count = 0;
};

int length(const char* text) { return static_cast<int>(std::strlen(text)); }

void split_groups(const char* section, section_groups& groups) {
    std::memcpy(groups.copy, section, std::strlen(section) + 1);
    char* position = nullptr;
    for (char* group = next_token(groups.copy, group_delimiters, &position); group != nullptr;
         group = next_token(nullptr, group_delimiters, &position)) {
        ++groups.count;
        if (groups.count == 1) groups.a = group;
        if (groups.count == 2) groups.b = group;
        if (groups.count >= 3) groups.z = group;
    }
}

bool is_separator(char c) { return c == blank || c == dash_symbol; }
bool short_serial(int n) { return n >= shortest_serial && n <= longest_short_serial; }

// Rule 1: section 0, right of the right-most on-us symbol, gives the serial
// number and the processing code.
void rule_1(micr_result& r, const section_groups& g0) {
    const int s0a = length(g0.a), s0b = length(g0.b);
    if (s0a > 0 && s0b > 0) {
        // 1a: the longer group is the serial number, the other the code; on a
        // tie the left one as printed (b) is the serial number.
        if (s0b < s0a && s0a >= shortest_serial) {
            set_subfield(g0.a, r, csn_field);
            set_subfield(g0.b, r, tpc_field);
        } else if (s0b >= shortest_serial) {
            set_subfield(g0.a, r, tpc_field);
            set_subfield(g0.b, r, csn_field);
        }
    } else if (s0a > 0) {
        // 1b: a lone group.
        if (std::strcmp(g0.a, lone_code_scan_order) == 0 || s0a < shortest_serial)
            set_subfield(g0.a, r, tpc_field);
        else
            set_subfield(g0.a, r, csn_field);
    }
}

// Rule 3-I: section 2 has no group, section 1 has at least one.
void rule_3_i(micr_result& r, const char* s1, const section_groups& g1) {
    const int s1a = length(g1.a), s1b = length(g1.b), s1z = length(g1.z);
    const int d1 = count_digits(s1);
    if (s1b == 0) {
        // 3-I.1: one group, the account number.
        set_subfield(g1.a, r, account_field);
    } else if (s1z == 0 && short_serial(s1b) && s1a >= shortest_account) {
        // 3-I.2: two groups, a short serial number left of the account number.
        set_subfield(g1.b, r, csn_field);
        set_subfield(g1.a, r, account_field);
    } else if (short_serial(s1z) && d1 - s1z >= shortest_account) {
        // 3-I.3: the left-most group is the serial number; the account number
        // is what stands right of it, without the separators between them.
        set_subfield(g1.z, r, csn_field);
        char cut[onus_text_room];
        std::size_t n = std::strlen(s1) - static_cast<std::size_t>(s1z);
        std::memcpy(cut, s1, n);
        cut[n] = '\0';
        while (n > 0 && is_separator(cut[n - 1])) cut[--n] = '\0';
        set_subfield(cut, r, account_field);
    } else if (short_serial(s1a) && d1 - s1a >= shortest_account) {
        // 3-I.4: the right-most group is the serial number, the rest of the
        // section the account number.
        set_subfield(g1.a, r, csn_field);
        set_subfield(s1 + s1a, r, account_field);
    } else {
        // 3-I.5: the whole section is the account number.
        set_subfield(s1, r, account_field);
    }
}

// Rule 3-II: section 2 has at least one group.
void rule_3_ii(micr_result& r, const char* s1, const char* s2, const section_groups& g1, const section_groups& g2) {
    const int s1a = length(g1.a), s1b = length(g1.b);
    const int s2a = length(g2.a), s2b = length(g2.b);
    if (s1a == 0) {
        // 3-II.1: section 1 has no group.
        set_subfield(s2, r, account_field);
    } else if (s1b == 0 && s2b == 0) {
        // 3-II.2: one group each; the shorter is the serial number, on a tie section 1's.
        if (s2a < s1a) {
            set_subfield(g2.a, r, csn_field);
            set_subfield(g1.a, r, account_field);
        } else {
            set_subfield(g1.a, r, csn_field);
            set_subfield(g2.a, r, account_field);
        }
    } else if (s1b == 0) {
        // 3-II.3: section 1 has one group, section 2 more.
        set_subfield(g1.a, r, csn_field);
        set_subfield(s2, r, account_field);
    } else if (s2b == 0) {
        // 3-II.4: section 2 has one group, section 1 more.
        set_subfield(g2.a, r, csn_field);
        set_subfield(s1, r, account_field);
    } else {
        // 3-II.5: two or more groups in each.
        set_subfield(s1, r, account_field);
    }
}

}  // namespace

void split_onus_default(micr_result& r) {
    trim_blanks(r.onus, text_length(r.onus, sizeof r.onus));

    // All three sections are cut before any is split into groups.
    char scratch[onus_text_room];
    std::memcpy(scratch, r.onus, std::strlen(r.onus) + 1);
    char* section[section_count];
    cut_onus_sections(scratch, section, section_count);
    for (char* s : section) trim_blanks(s);

    section_groups g0, g1, g2;
    split_groups(section[0], g0);
    split_groups(section[1], g1);
    split_groups(section[2], g2);
    const char* s1 = section[1];
    const char* s2 = section[2];

    rule_1(r, g0);

    // Rule 2: the auxiliary on-us field carries the serial number on business cheques.
    if (r.csn_status == ST_MISSING && r.auxonus_status == ST_OK) set_subfield(r.auxonus, r, csn_field);

    // Rule 3: sections 1 and 2 give the account number, and the serial number
    // when neither rule above found one.
    const bool section_1_grouped = g1.count > 0, section_2_grouped = g2.count > 0;
    if (r.csn_status == ST_MISSING && (section_1_grouped || section_2_grouped)) {
        if (!section_2_grouped)
            rule_3_i(r, s1, g1);
        else
            rule_3_ii(r, s1, s2, g1, g2);
    } else if (section_1_grouped) {
        // 3-III: the serial number is known, or no section has a group.
        set_subfield(s1, r, account_field);
    } else if (section_2_grouped) {
        set_subfield(s2, r, account_field);
    }

    trim_blanks(r.account);
}

}  // namespace micr
