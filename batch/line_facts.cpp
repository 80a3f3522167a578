#include "line_facts.h"

#include <cstring>

#include "fields.h"

namespace micr::batch {

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

}  // namespace micr::batch
