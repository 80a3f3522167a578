// What a parsed line tells beyond its fields, as micrparse's records carry it.
#pragma once

#include <optional>
#include <string_view>

#include "micr.h"

namespace micr::batch {

struct line_facts {
    // The amount in cents, when it is OK and below 2^53: exact in every JSON reader.
    std::optional<long> amount_cents;
    // Of a transit that is OK: "aba" for nine digits; "canadian" for five
    // digits, the dash symbol and three digits; "dash" for any other place
    // of the dash that the transit test accepts.  Empty when not OK.
    std::string_view transit_form;
    // The one routing number that a transit with a single unreadable digit
    // can be (see micr_repair_routing); empty when there is none.
    char routing_repair[10] = {};
    // The routing number that electronic payments use for an OK transit (see
    // micr_eft_routing); empty for a transit that has none.
    char eft_routing[10] = {};
};

line_facts facts_of(const micr_result& result);

}  // namespace micr::batch
