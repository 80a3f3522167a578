// The columns of micrparse's records, in order, written once: the JSON keys,
// the CSV header and both writers follow this list.  Each column has a name
// and a value of one of the kinds in `cell`, which says how each format
// writes it.  A new column is one line in line_columns (and, for a new fact
// of the line, a member of line_facts).
//
// A group of columns is one JSON key whose value is an object of its
// members, or null, and in CSV one column per member, named by the group's
// prefix and the member's name (empty cells for null).  A group that the
// records do not carry (an option that is not given) is not written at all.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>
#include <type_traits>

#include "fields.h"
#include "line_facts.h"
#include "micr.h"
#include "output_cursor.h"

namespace micr::batch {

// A column's name, its JSON key and CSV header cell.  A field's status
// column is the field's name and "_status".
struct column_name {
    const char* stem;
    const char* suffix = "";
};

// The kinds of value; besides these, a whole number is a long, and a number
// that may be missing a std::optional<long>.
namespace cell {
struct written {  // already in the format's own form: the file name
    std::string_view bytes;
};
struct text {  // any bytes: each the character of its value, or valid UTF-8 text
    std::string_view bytes;
    bool utf8 = false;
};
struct field {  // a field's text buffer, up to its terminator
    const char* text;
    std::size_t width;
};
struct name {  // a name of the parser's: letters that never need quoting
    const name_piece& text;
};
struct optional_text {  // plain text, or none when empty
    std::string_view bytes;
};
struct optional_field {  // a text buffer up to its terminator, or none when empty
    const char* text;
    std::size_t width;
};
struct optional_name {  // a name that never needs quoting, or none (null)
    const name_piece* text;
};
struct digits {  // a whole number's decimal digits in a text buffer, up to its terminator; none when empty
    const char* text;
    std::size_t width;
};
struct error {  // why the line could not be parsed; empty when it was parsed
    std::string_view reason;
};
struct name_list {  // names that never need quoting, in order: a JSON array; in CSV joined by '|'
    const char* const* names;
    std::size_t count;
};
}  // namespace cell

// A group's JSON key, and what stands before each member's name in its CSV
// column.
struct group_name {
    const char* key;
    const char* prefix;
};

// The groups that records carry.
struct carried_groups {
    bool split_by = false;
    bool bank = false;
    bool x9 = false;
};

constexpr carried_groups groups_of(const record_options& options) {
    return {options.explain, options.directory != nullptr, options.x9};
}

// The texts of the Check Detail Record's MICR fields, in record order, with
// the bit that marks each one unusable (0 for those that have none).
struct x9_text {
    const char* name;
    std::size_t offset;
    std::size_t width;  // terminator included
    unsigned unusable;
};

inline constexpr x9_text x9_texts[] = {
    {"auxiliary_on_us", offsetof(micr_x9_fields, auxiliary_on_us), sizeof micr_x9_fields::auxiliary_on_us,
     MICR_X9_AUXILIARY_ON_US},
    {"epc", offsetof(micr_x9_fields, epc), sizeof micr_x9_fields::epc, 0},
    {"routing", offsetof(micr_x9_fields, routing), sizeof micr_x9_fields::routing, MICR_X9_ROUTING},
    {"check_digit", offsetof(micr_x9_fields, check_digit), sizeof micr_x9_fields::check_digit, 0},
    {"on_us", offsetof(micr_x9_fields, on_us), sizeof micr_x9_fields::on_us, MICR_X9_ON_US},
    {"amount", offsetof(micr_x9_fields, amount), sizeof micr_x9_fields::amount, MICR_X9_AMOUNT},
};

// The parser's names of the codes of a field status or of an exception
// state, without the blanks that pad them: by code as far as the parser has
// names, then its name for any other code.  One for each value of the code's
// byte, so that a look-up is one index.
class name_table {
public:
    explicit name_table(const char* (*name_of)(int));
    const name_piece& operator[](signed char code) const { return names_[static_cast<unsigned char>(code)]; }

private:
    std::array<name_piece, 256> names_;
};

extern const name_table status_names;
extern const name_table state_names;

// The names of the forms of an OK transit, by transit_form.
inline constexpr name_piece transit_form_names[] = {make_piece<name_piece>({}), make_piece<name_piece>({"aba"}),
                                                    make_piece<name_piece>({"canadian"}),
                                                    make_piece<name_piece>({"dash"})};

constexpr const name_piece* name_of(transit_form form) {
    return form == transit_form::none ? nullptr : &transit_form_names[static_cast<std::size_t>(form)];
}

// The record of a line that could not be parsed has a result of nothing.
inline constexpr micr_result no_result{};

// What a record is written from.
struct record_values {
    std::string_view file;  // the file name as the format writes it
    long line = 0;
    std::string_view micr;   // the line as read
    bool micr_utf8 = false;  // `micr` is valid UTF-8 text, else bytes
    const micr_result& result = no_result;
    line_facts facts;
    std::string_view error;  // in the record of a line that could not be parsed
    carried_groups groups;
    // What the groups are computed from, in the record of a parsed line.
    const parsed_line* parsed = nullptr;
    const micr_directory* directory = nullptr;
};

// The value of a group whose value `Get` gives (as a std::optional).
template <class Get>
using group_value = typename std::invoke_result_t<Get&>::value_type;

// The columns that every record starts with, that of a line that could not
// be parsed too: where the line is.
template <class Out>
[[gnu::always_inline]] inline void place_columns(Out& out, const record_values& r) {
    out.column({"file"}, cell::written{r.file});
    out.column({"line"}, r.line);
}

// The other columns, in order.
template <class Out>
[[gnu::always_inline]] inline void line_columns(Out& out, const record_values& r) {
    out.column({"micr"}, cell::text{r.micr, r.micr_utf8});
    out.column({"status"}, long{r.result.status});
    out.column({"exception_state"}, cell::name{state_names[r.result.exception_state]});
    out.column({"unrecognized_symbols"}, long{r.result.unrecognized_symbols});
    // Unrolled: each field is written for its own width.
#pragma GCC unroll 8
    for (const field_index f : all_fields) {
        out.column({fields[f].name}, cell::field{text_of(r.result, f), fields[f].width});
        out.column({fields[f].name, "_status"}, cell::name{status_names[status_of(r.result, f)]});
    }
    out.column({"error"}, cell::error{r.error});
    out.column({"amount_cents"}, cell::digits{r.facts.amount_cents, sizeof r.facts.amount_cents});
    out.column({"transit_form"}, cell::optional_name{name_of(r.facts.form)});
    out.column({"routing_repair"}, cell::optional_field{r.facts.routing_repair, sizeof r.facts.routing_repair});
    out.column({"eft_routing"}, cell::optional_field{r.facts.eft_routing, sizeof r.facts.eft_routing});
    // A group's value is computed only for a record that carries the group.
    const auto split_by = [&r] { return split_of(*r.parsed); };
    const auto bank = [&r] { return bank_of(r.result, r.directory); };
    const auto x9 = [&r] { return x9_of(*r.parsed); };
    out.group({"split_by", "split_"}, r.groups.split_by, split_by, [](auto& members, const split_facts& s) {
        members.column({"table_line"}, s.table_line);
        members.column({"account"}, cell::optional_text{s.account});
        members.column({"csn"}, cell::optional_text{s.csn});
        members.column({"tpc"}, cell::optional_text{s.tpc});
    });
    out.group({"bank", "bank_"}, r.groups.bank, bank, [](auto& members, const micr_bank& b) {
        members.column({"name"}, cell::field{b.name, sizeof b.name});
        members.column({"city"}, cell::field{b.city, sizeof b.city});
        members.column({"state"}, cell::field{b.state, sizeof b.state});
        members.column({"new_routing"}, cell::optional_text{b.new_routing});
    });
    out.group({"x9", "x9_"}, r.groups.x9, x9, [](auto& members, const micr_x9_fields& fields) {
        const char* unusable[std::size(x9_texts)];
        std::size_t count = 0;
        for (const x9_text& t : x9_texts) {
            members.column({t.name}, cell::field{reinterpret_cast<const char*>(&fields) + t.offset, t.width});
            if ((fields.unusable & t.unusable) != 0) unusable[count++] = t.name;
        }
        members.column({"micr_valid"}, cell::text{std::string_view(&fields.micr_valid, 1)});
        members.column({"unusable"}, cell::name_list{unusable, count});
    });
}

template <class Out>
[[gnu::always_inline]] inline void all_columns(Out& out, const record_values& r) {
    place_columns(out, r);
    line_columns(out, r);
}

// One output format (json_record.cpp, csv_record.cpp).  Each writes at a
// buffer with room for record_writer::record_bound and returns the end of
// what it wrote.
struct format_writer {
    void (*value)(cursor& out, std::string_view bytes, bool utf8);  // one value alone: the file name
    char* (*record)(char* at, const record_values& r);
    char* (*error_record)(char* at, const record_values& r);  // only file, line and error are set
};

extern const format_writer json_writer;
extern const format_writer csv_writer;

}  // namespace micr::batch
