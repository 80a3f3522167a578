// Default split of the on-us field into account number, cheque serial number
// and transaction processing code, for banks without an exception-table entry.
//
// The field is cut at on-us symbols into sections, counted from its
// right-hand end: the right section (right of the right-most on-us symbol),
// the middle one and the left one.  Each section is cut into digit groups at
// blanks and dash symbols.  Which group is what is then decided from group
// lengths and digit counts alone, by these rules, in this order (the numbers
// are the ones the test tables cite):
//
//   rule                          no.     recognises                                    fills
//   right-code-and-serial         1a      two or more groups in the right section: the  csn, tpc
//                                         longer (3+ digits) is the serial number, the
//                                         other the code; on a tie the left one serial
//   right-lone-code               1b      a lone right group that reads 001, or has     tpc
//                                         one or two digits
//   right-lone-serial             1b      a lone right group of three or more digits    csn
//   auxiliary-serial              2       no serial yet: the auxiliary on-us field      csn
//   -- no serial yet, and the left section has no group:
//   middle-lone-account           3-I.1   one group in the middle section               account
//   middle-serial-then-account    3-I.2   two middle groups: 3-4 digits left of 5+      csn, account
//   middle-leftmost-serial        3-I.3   3+ middle groups, the left-most of 3-4        csn, account
//                                         digits, 5+ digits beside it
//   middle-rightmost-serial       3-I.4   the right-most middle group of 3-4 digits,    csn, account
//                                         5+ digits beside it
//   middle-account                3-I.5   none of these: the whole middle section       account
//   -- no serial yet, and the left section has a group:
//   left-account                  3-II.1  no middle group: the whole left section       account
//   shorter-group-serial          3-II.2  one group each: the shorter (on a tie the     csn, account
//                                         middle one) is the serial number
//   middle-serial-left-account    3-II.3  one middle group, more on the left            csn, account
//   left-serial-middle-account    3-II.4  one left group, more in the middle            csn, account
//   middle-account-both-grouped   3-II.5  two or more groups in each                    account
//   -- a serial number already, or no group in the middle or left section:
//   account-after-serial          3-III   the middle section, else the left one         account
#include <iterator>

#include "parse_steps.h"

namespace micr {
namespace {

struct rule_name {
    split_rule rule;
    const char* name;
};

// Indexed by split_rule.
constexpr rule_name rule_names[] = {
    {split_rule::none, nullptr},
    {split_rule::right_code_and_serial, "right-code-and-serial"},
    {split_rule::right_lone_code, "right-lone-code"},
    {split_rule::right_lone_serial, "right-lone-serial"},
    {split_rule::auxiliary_serial, "auxiliary-serial"},
    {split_rule::middle_lone_account, "middle-lone-account"},
    {split_rule::middle_serial_then_account, "middle-serial-then-account"},
    {split_rule::middle_leftmost_serial, "middle-leftmost-serial"},
    {split_rule::middle_rightmost_serial, "middle-rightmost-serial"},
    {split_rule::middle_account, "middle-account"},
    {split_rule::left_account, "left-account"},
    {split_rule::shorter_group_serial, "shorter-group-serial"},
    {split_rule::middle_serial_left_account, "middle-serial-left-account"},
    {split_rule::left_serial_middle_account, "left-serial-middle-account"},
    {split_rule::middle_account_both_grouped, "middle-account-both-grouped"},
    {split_rule::account_after_serial, "account-after-serial"},
};
static_assert(indexed_by_code(rule_names, split_rule::account_after_serial));

constexpr int section_count = 3;
constexpr int right_section = 0, middle_section = 1, left_section = 2;

// The lengths the rules turn on.
constexpr std::size_t shortest_serial = 3;       // a serial number has at least three digits
constexpr std::size_t longest_short_serial = 4;  // beside an account number in the middle: three or four
constexpr int shortest_account = 5;              // an account number beside such a serial number
constexpr std::string_view lone_code = "001";    // a lone right group that is a processing code

bool is_separator(char c) { return c == blank || c == dash_symbol; }
bool short_serial(std::size_t n) { return n >= shortest_serial && n <= longest_short_serial; }

// Puts the parts the rules choose into the record, and notes which rule
// chose each.
class split_fields {
public:
    split_fields(micr_result& r, parse_notes* notes) : r_(r), notes_(notes) {}
    // A part of the on-us field; an account number loses its outer blanks.
    template <field_index F>
    void put(std::string_view part, split_rule rule) {
        put_subfield<F>(part, r_, F == account_field);
        note(F, rule);
    }
    // A text from elsewhere in the record.
    void copy(field_index field, std::string_view text, split_rule rule) {
        set_subfield(text, r_, field);
        note(field, rule);
    }

private:
    void note(field_index field, split_rule rule) {
        if (notes_ == nullptr) return;
        if (field == account_field) notes_->account_rule = rule;
        if (field == csn_field) notes_->csn_rule = rule;
        if (field == tpc_field) notes_->tpc_rule = rule;
    }

    micr_result& r_;
    parse_notes* notes_;
};

// Rule 1: the right section gives the serial number and the processing code.
void split_right_section(split_fields& out, const section_groups& right) {
    const std::size_t a = right.rightmost.size(), b = right.second.size();
    constexpr split_rule pair = split_rule::right_code_and_serial;
    if (a > 0 && b > 0) {
        if (b < a && a >= shortest_serial) {
            out.put<csn_field>(right.rightmost, pair);
            out.put<tpc_field>(right.second, pair);
        } else if (b >= shortest_serial) {
            out.put<tpc_field>(right.rightmost, pair);
            out.put<csn_field>(right.second, pair);
        }
    } else if (a > 0) {
        if (right.rightmost == lone_code || a < shortest_serial)
            out.put<tpc_field>(right.rightmost, split_rule::right_lone_code);
        else
            out.put<csn_field>(right.rightmost, split_rule::right_lone_serial);
    }
}

// Rule 3-I: the left section has no group, the middle one at least one.
void split_middle_section(split_fields& out, std::string_view middle, const section_groups& g) {
    const std::size_t a = g.rightmost.size(), b = g.second.size(), z = g.leftmost.size();
    const int digits = count_digits(middle);
    const auto beside = [digits](std::size_t serial) { return digits - static_cast<int>(serial); };
    if (b == 0) {
        out.put<account_field>(g.rightmost, split_rule::middle_lone_account);
    } else if (z == 0 && short_serial(b) && a >= static_cast<std::size_t>(shortest_account)) {
        out.put<csn_field>(g.second, split_rule::middle_serial_then_account);
        out.put<account_field>(g.rightmost, split_rule::middle_serial_then_account);
    } else if (short_serial(z) && beside(z) >= shortest_account) {
        // The account number is the section without as many characters at
        // its left as the serial number has, and without the separators then
        // standing there.
        out.put<csn_field>(g.leftmost, split_rule::middle_leftmost_serial);
        std::string_view account = middle.substr(z);
        while (!account.empty() && is_separator(account.front())) account.remove_prefix(1);
        out.put<account_field>(account, split_rule::middle_leftmost_serial);
    } else if (short_serial(a) && beside(a) >= shortest_account) {
        // The account number is the section without as many characters at
        // its right as the serial number has.
        out.put<csn_field>(g.rightmost, split_rule::middle_rightmost_serial);
        out.put<account_field>(middle.substr(0, middle.size() - a), split_rule::middle_rightmost_serial);
    } else {
        out.put<account_field>(middle, split_rule::middle_account);
    }
}

// Rule 3-II: the left section has at least one group.
void split_middle_and_left(split_fields& out, std::string_view middle, std::string_view left, const section_groups& gm,
                           const section_groups& gl) {
    const std::size_t ma = gm.rightmost.size(), mb = gm.second.size();
    const std::size_t la = gl.rightmost.size(), lb = gl.second.size();
    if (ma == 0) {
        out.put<account_field>(left, split_rule::left_account);
    } else if (mb == 0 && lb == 0) {
        constexpr split_rule shorter = split_rule::shorter_group_serial;
        if (la < ma) {
            out.put<csn_field>(gl.rightmost, shorter);
            out.put<account_field>(gm.rightmost, shorter);
        } else {
            out.put<csn_field>(gm.rightmost, shorter);
            out.put<account_field>(gl.rightmost, shorter);
        }
    } else if (mb == 0) {
        out.put<csn_field>(gm.rightmost, split_rule::middle_serial_left_account);
        out.put<account_field>(left, split_rule::middle_serial_left_account);
    } else if (lb == 0) {
        out.put<csn_field>(gl.rightmost, split_rule::left_serial_middle_account);
        out.put<account_field>(middle, split_rule::left_serial_middle_account);
    } else {
        out.put<account_field>(middle, split_rule::middle_account_both_grouped);
    }
}

}  // namespace

const char* split_rule_name(split_rule rule) { return rule_names[static_cast<std::size_t>(rule)].name; }

void split_onus_default(micr_result& r, const onus_sections& layout, parse_notes* notes) {
    std::uint64_t sections[section_count];
    layout.cut(sections, section_count);
    for (std::uint64_t& s : sections) s = layout.without_outer_blanks(s);
    const std::string_view middle = layout.text(sections[middle_section]), left = layout.text(sections[left_section]);
    const section_groups right_groups = layout.groups(sections[right_section]);
    const section_groups middle_groups = layout.groups(sections[middle_section]);
    const section_groups left_groups = layout.groups(sections[left_section]);

    split_fields out(r, notes);
    split_right_section(out, right_groups);

    // Business cheques carry the serial number in the auxiliary on-us field.
    if (r.csn_status == MICR_ST_MISSING && r.auxonus_status == MICR_ST_OK)
        out.copy(csn_field, field_text(r, auxonus_field), split_rule::auxiliary_serial);

    // Rule 3: the middle and left sections give the account number, and the
    // serial number when neither rule above found one.
    const bool middle_grouped = middle_groups.count > 0, left_grouped = left_groups.count > 0;
    if (r.csn_status == MICR_ST_MISSING && (middle_grouped || left_grouped)) {
        if (!left_grouped)
            split_middle_section(out, middle, middle_groups);
        else
            split_middle_and_left(out, middle, left, middle_groups, left_groups);
    } else if (middle_grouped) {
        out.put<account_field>(middle, split_rule::account_after_serial);
    } else if (left_grouped) {
        out.put<account_field>(left, split_rule::account_after_serial);
    }
}

}  // namespace micr
