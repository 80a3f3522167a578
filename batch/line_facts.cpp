#include "line_facts.h"

#include <cstring>

#include "fields.h"

namespace micr::batch {
namespace {

// Whether the on-us field was split, by a table entry or the default rules
// (see split_of).
bool split_ran(const micr_result& r, unsigned flags) {
    if (r.exception_state == MICR_EX_USED) return true;
    if (r.exception_state != MICR_EX_NORMAL) return false;
    if (r.status == MICR_PARSE_COMPLETE) return true;
    return (flags & MICR_SALVAGE) != 0 && (r.onus_status == MICR_ST_OK || r.onus_status == MICR_ST_UNRECOG);
}

std::string_view name_or_none(const char* name) { return name != nullptr ? name : std::string_view(); }

}  // namespace

int parse_for_record(const micr_table* table, std::string_view text, unsigned flags, const record_options& options,
                     parsed_line& out) {
    out.text = text;
    out.flags = flags;
    if (options.explain) return micr_parse_explained(table, text.data(), text.size(), flags, &out.result, &out.why);
    return micr_parse(table, text.data(), text.size(), flags, &out.result);
}

line_facts facts_of(const micr_result& r) {
    line_facts facts;
    if (r.amount_status == ST_OK) {
        unsigned long long value = 0;
        for (const char* p = r.amount; *p != '\0'; ++p) value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value < (1ull << 53)) facts.amount_cents = static_cast<long>(value);
    }
    if (r.transit_status == ST_OK) {
        // Nine digits, or branch, dash and institution, have an EFT routing
        // number; every other OK transit holds a dash somewhere else.
        const bool eft = micr_eft_routing(r.transit, facts.eft_routing) == 1;
        const bool nine_digits = std::strchr(r.transit, dash_symbol) == nullptr;
        facts.transit_form = nine_digits ? "aba" : eft ? "canadian" : "dash";
    }
    if (r.transit_status == ST_UNRECOG) micr_repair_routing(r.transit, facts.routing_repair);
    return facts;
}

std::optional<split_facts> split_of(const parsed_line& line) {
    if (!split_ran(line.result, line.flags)) return std::nullopt;
    const micr_explanation& why = line.why;
    return split_facts{why.table_line != 0 ? std::optional<long>(why.table_line) : std::nullopt,
                       name_or_none(why.account_rule), name_or_none(why.csn_rule), name_or_none(why.tpc_rule)};
}

std::optional<micr_bank> bank_of(const micr_result& r, const micr_directory* directory) {
    micr_bank bank;
    if (r.transit_status != ST_OK || std::strchr(r.transit, dash_symbol) != nullptr ||
        micr_directory_find(directory, r.transit, &bank) != 1)
        return std::nullopt;
    return bank;
}

std::optional<micr_x9_fields> x9_of(const parsed_line& line) {
    micr_x9_fields x9;
    micr_x9_fields_of(line.text.data(), line.text.size(), line.flags, &x9);
    return x9;
}

}  // namespace micr::batch
