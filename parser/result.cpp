// The parse result record, its start state and the display names of its codes.
#include <cstddef>
#include <cstring>
#include <iterator>

#include "parse_steps.h"

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

template <class Code>
struct code_name {
    Code code;
    const char* name;
};

// Seven characters each, so that report columns line up.
constexpr code_name<micr_field_status> status_names[] = {
    {MICR_ST_OK, "OK     "},      {MICR_ST_INVALID, "INVALID"}, {MICR_ST_MISSING, "MISSING"},
    {MICR_ST_TOOLONG, "TOOLONG"}, {MICR_ST_UNRECOG, "UNRECOG"}, {MICR_ST_NOTERM, "NOTERM "},
};
static_assert(indexed_by_code(status_names, MICR_ST_NOTERM));

constexpr code_name<micr_exception_state> exception_state_names[] = {
    {MICR_EX_NORMAL, "EX_NORMAL"},
    {MICR_EX_USED, "EX_USED"},
    {MICR_EX_OPEN_ERR, "EX_OPEN_ERR"},
    {MICR_EX_INVALID, "EX_INVALID"},
};
static_assert(indexed_by_code(exception_state_names, MICR_EX_INVALID));

// Any code outside a table shows this.
constexpr char unknown_name[] = "???????";

}  // namespace

}  // namespace micr

const char* micr_status_name(int field_status) {
    if (field_status < 0 || field_status >= static_cast<int>(std::size(micr::status_names))) return micr::unknown_name;
    return micr::status_names[field_status].name;
}

const char* micr_exception_state_name(int exception_state) {
    if (exception_state < 0 || exception_state >= static_cast<int>(std::size(micr::exception_state_names)))
        return micr::unknown_name;
    return micr::exception_state_names[exception_state].name;
}

const char* micr_version(void) { return MICR_VERSION; }
