#include "fuzz_checks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "parse_steps.h"

namespace micr_fuzz {
namespace {

constexpr char table_name[] = "PARSE.DAT";
std::string scratch_directory;

void remove_scratch_directory() {
    if (scratch_directory.empty()) return;
    ::unlink((scratch_directory + "/" + table_name).c_str());
    ::rmdir(scratch_directory.c_str());
}

using micr::field_index;

// What a field with status OK may hold: a scanned field its own set; the
// processing code one digit; account number, serial number and processing
// code pieces of the on-us field between its on-us symbols, so digits, dash
// symbols and blanks, the auxiliary on-us field's set.
const char* allowed_when_ok(field_index f) {
    if (micr::fields[f].allowed != nullptr) return micr::fields[f].allowed;
    return f == micr::epc_field ? micr::fields[micr::amount_field].allowed : micr::fields[micr::auxonus_field].allowed;
}

bool only(const char* text, const char* allowed) { return text[std::strspn(text, allowed)] == '\0'; }

// A field that the parse never reached keeps the start state.
void require_untouched(signed char status, const char* text, const char* what) {
    require(status == ST_MISSING && text[0] == '\0', "a field after the one that stopped the parse was set", what);
}

}  // namespace

void fail(const char* what, const char* detail) {
    std::fprintf(stderr, "invariant broken: %s%s%s\n", what, detail != nullptr ? ": " : "",
                 detail != nullptr ? detail : "");
    std::fflush(stderr);
    std::abort();
}

void check_fields(const micr_result& r) {
    for (const field_index f : micr::all_fields) {
        const char* name = micr::fields[f].name;
        const signed char status = micr::status_of(r, f);
        const char* text = micr::text_of(r, f);
        require(status >= ST_OK && status <= ST_NOTERM, "field status outside 0..5", name);
        // Over the buffer's full width: a terminator anywhere inside it will do.
        require(std::memchr(text, '\0', micr::fields[f].width) != nullptr, "text not terminated inside its buffer",
                name);
        if (status == ST_MISSING) require(text[0] == '\0', "a missing field holds a text", name);
    }
}

void check_result(const micr_result& r) {
    require(r.status == 0 || r.status == 1, "status is neither 0 nor 1");
    require(r.exception_state >= EX_NORMAL && r.exception_state <= EX_INVALID, "exception_state outside 0..3");
    require(r.unrecognized_symbols == 0 || r.unrecognized_symbols == 1, "unrecognized_symbols is neither 0 nor 1");
    check_fields(r);
    for (const field_index f : micr::all_fields)
        if (micr::status_of(r, f) == ST_OK)
            require(only(micr::text_of(r, f), allowed_when_ok(f)), "a field with status OK holds a stray character",
                    micr::fields[f].name);
    // The fields are scanned right to left as printed: amount, on-us, transit,
    // processing code, auxiliary on-us.  A scan that failed stops the parse.
    if (r.amount_status != ST_OK && r.amount_status != ST_MISSING) require_untouched(r.onus_status, r.onus, "onus");
    if (r.onus_status != ST_OK) require_untouched(r.transit_status, r.transit, "transit");
    if (r.transit_status != ST_OK && r.transit_status != ST_INVALID) {
        require_untouched(r.epc_status, r.epc, "epc");
        require_untouched(r.auxonus_status, r.auxonus, "auxonus");
    }
    if (r.status == 1) {
        require(r.exception_state == EX_NORMAL, "a parse that stopped early consulted the exception table");
        require(r.account_status == ST_MISSING && r.account[0] == '\0',
                "a parse that stopped early set the account number");
        require(r.tpc_status == ST_MISSING && r.tpc[0] == '\0', "a parse that stopped early set the processing code");
        require(r.csn_status == ST_MISSING && r.csn[0] == '\0', "a parse that stopped early set the serial number");
    } else {
        // A completed parse has scanned the on-us and the transit field.
        require(r.onus_status == ST_OK, "a completed parse without an on-us field");
        require(r.transit_status == ST_OK || r.transit_status == ST_INVALID,
                "a completed parse with a transit field that did not scan");
        require(r.amount_status == ST_OK || r.amount_status == ST_MISSING,
                "a completed parse with an amount field that did not scan");
        require(r.epc_status == ST_OK || r.epc_status == ST_MISSING,
                "a completed parse with a processing code that is not one digit");
        require(r.auxonus_status == ST_OK || r.auxonus_status == ST_MISSING,
                "a completed parse with an auxiliary on-us field that did not scan");
    }
}

bool same_result(const micr_result& a, const micr_result& b) {
    if (a.status != b.status || a.exception_state != b.exception_state ||
        a.unrecognized_symbols != b.unrecognized_symbols)
        return false;
    for (const field_index f : micr::all_fields)
        if (micr::status_of(a, f) != micr::status_of(b, f) ||
            std::strcmp(micr::text_of(a, f), micr::text_of(b, f)) != 0)
            return false;
    return true;
}

void enter_scratch_directory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/micr-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0)
        fail("cannot make a scratch directory", pattern.c_str());
    scratch_directory = pattern;
    std::atexit(remove_scratch_directory);
}

void write_table(const std::uint8_t* data, std::size_t size) {
    std::FILE* table = std::fopen(table_name, "wb");
    if (table == nullptr) fail("cannot write PARSE.DAT");
    if (size > 0 && std::fwrite(data, 1, size, table) != size) fail("cannot write PARSE.DAT");
    if (std::fclose(table) != 0) fail("cannot write PARSE.DAT");
}

void write_table(const char* text) { write_table(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)); }

void remove_table() { ::unlink(table_name); }

}  // namespace micr_fuzz
