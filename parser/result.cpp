// The parse result record, its start state and the display names of its codes.
#include <cstddef>

#include "parser_internal.h"

static_assert(sizeof(micr_result) == 156, "micr_result must keep its byte layout");
static_assert(offsetof(micr_result, amount) == 4);
static_assert(offsetof(micr_result, account_status) == 21);
static_assert(offsetof(micr_result, tpc_status) == 45);
static_assert(offsetof(micr_result, csn_status) == 65);
static_assert(offsetof(micr_result, transit_status) == 87);
static_assert(offsetof(micr_result, epc_status) == 98);
static_assert(offsetof(micr_result, onus_status) == 101);
static_assert(offsetof(micr_result, auxonus_status) == 131);

namespace micr {
namespace {

// Indexed by field status; every code outside 0..5 shows the last entry.
constexpr const char* status_names[] = {"OK     ", "INVALID", "MISSING", "TOOLONG", "UNRECOG", "NOTERM ", "???????"};
constexpr int status_name_count = sizeof status_names / sizeof status_names[0];

constexpr const char* exception_state_names[] = {"EX_NORMAL", "EX_USED", "EX_OPEN_ERR", "EX_INVALID"};
constexpr int exception_state_count = sizeof exception_state_names / sizeof exception_state_names[0];

}  // namespace

void reset_result(micr_result& r) {
    r.status = MICR_PARSE_COMPLETE;
    r.exception_state = EX_NORMAL;
    r.unrecognized_symbols = 0;
    // Only the first byte of each text is cleared: a text ends at its terminator.
    for (const field_id f : all_fields) {
        status_of(r, f) = ST_MISSING;
        text_of(r, f)[0] = '\0';
    }
}

void restore_field_order(micr_result& r) {
    for (const field_id f : all_fields) reverse_text(text_of(r, f), text_length(text_of(r, f), fields[f].width));
}

}  // namespace micr

const char* micr_status_name(int field_status) {
    if (field_status < 0 || field_status >= micr::status_name_count - 1)
        return micr::status_names[micr::status_name_count - 1];
    return micr::status_names[field_status];
}

const char* micr_exception_state_name(int exception_state) {
    if (exception_state < 0 || exception_state >= micr::exception_state_count) return "???????";
    return micr::exception_state_names[exception_state];
}
