// What a parsed line tells beyond its fields, as micrparse's records carry it.
#pragma once

#include <optional>
#include <string_view>

#include "micr.h"

namespace micr::batch {

// What records carry beyond the keys that every record has.
struct record_options {
    bool explain = false;                       // split_by: what split the on-us field
    const micr_directory* directory = nullptr;  // bank: the bank of the routing number, from this directory
    bool x9 = false;                            // x9: the Check Detail Record's MICR fields
};

// One line as parsed for its record.
struct parsed_line {
    std::string_view text;  // as handed to the parser: the library's letters, in reading order
    unsigned flags = 0;     // as handed to the parser
    micr_result result{};
    micr_explanation why{};  // filled only when the record explains the split
};

// Parses `text` with `flags` as micr_parse does, by micr_parse_explained
// when the record explains the split; returns what micr_parse returns.
int parse_for_record(const micr_table* table, std::string_view text, unsigned flags, const record_options& options,
                     parsed_line& out);

// The form of a transit that is OK: "aba" for nine digits; "canadian" for
// five digits, the dash symbol and three digits; "dash" for any other place
// of the dash that the transit test accepts.
enum class transit_form { none, aba, canadian, dash };

struct line_facts {
    // The amount in cents, when it is OK and below 2^53 (exact in every JSON
    // reader): its digits without leading zeros, NUL-terminated; empty
    // otherwise.
    char amount_cents[MICR_AMOUNT_SIZE] = {};
    // None when the transit is not OK.
    transit_form form = transit_form::none;
    // The one routing number that a transit with a single unreadable digit
    // can be (see micr_repair_routing); empty when there is none.
    char routing_repair[10] = {};
    // The routing number that electronic payments use for an OK transit (see
    // micr_eft_routing); empty for a transit that has none.
    char eft_routing[10] = {};
};

line_facts facts_of(const micr_result& result);

// What the groups of record_options carry, each computed only for a record
// that carries it.

// What split the on-us field: the line of the table entry, and the names of
// the default rules that filled account, serial number and processing code;
// empty (or none) where nothing did.
struct split_facts {
    std::optional<long> table_line;
    std::string_view account, csn, tpc;
};

// From the explanation of a parse by micr_parse_explained; none when no split
// ran.  A split ran when a table entry split the on-us field (EX_USED), or
// the default rules did: exception_state EX_NORMAL, and either the parse
// completed, or under MICR_SALVAGE the on-us field reached its closing symbol
// OK or UNRECOG, which the parser splits even when the parse stopped.  A
// split that ran may fill none of the three fields.
std::optional<split_facts> split_of(const parsed_line& line);

// The directory's bank of an OK nine-digit transit that it lists.
std::optional<micr_bank> bank_of(const micr_result& result, const micr_directory* directory);

// micr_x9_fields_of on the line's text and flags.
std::optional<micr_x9_fields> x9_of(const parsed_line& line);

}  // namespace micr::batch
