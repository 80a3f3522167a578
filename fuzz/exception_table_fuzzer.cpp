// Fuzz target: the exception-table reader.  The input is the whole content of
// PARSE.DAT; a fixed set of MICR lines is parsed against it.
//
// Beyond the invariants of every parse, the table may change only what it is
// for: a line's overall status, amount, transit, processing code, on-us and
// auxiliary on-us fields are those of a parse against an empty table; after
// EX_NORMAL the whole result is; after EX_INVALID account, serial number and
// processing code are missing; after EX_USED they hold pieces of the on-us
// field only.  One table read gives one verdict on its lines, so a table that
// let one line through to the default split cannot be malformed for another.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_checks.h"

namespace {

using micr_fuzz::require;

// Written as printed.  The transit numbers are those that the corpus tables
// list, so that entries match on-us fields of many shapes.
constexpr const char* lines[] = {
    "t026009593t 001234 5678901o a0000004250a",
    "t011000015t 1234567890o 0101 a0000000999a",
    "o004567o 5 t123456780t 12345678o a0000012345a",
    "t987654320t 12 345o 6789o a0000000100a",
    "t123456780t 1d2 3o45d67 o8 9o0123 456a0000000001a",
    "t987654320t oo a1a",
    "t12345d678t 1234567o 001 a0000001000a",
    "t12345t 123o456 a1a",
    "t123456780t 1234o 5678",
    "t026009593t 12345678901234567890123 a5a",
    "t011000015t 123456789012345678901234o a1a",
    "t026009593t 12?34o 5 a1a",
    "t026009593t a0000012a",
    "t123456789t 1234567o 89 a1a",
    "o12 34o 7 t011000015t 1 d 2 o 3 a12a",
    "t987654320t    o  1234567890  o   a1a",
};
constexpr std::size_t line_count = sizeof lines / sizeof lines[0];

struct fixed_line {
    std::unique_ptr<char[]> reversed;  // exactly the text and its terminator
    std::string copy;                  // to check that the parser left it alone
    micr_result with_empty_table;
};
std::vector<fixed_line> fixed;

bool holds_on_us_symbol(const char* text) { return std::strchr(text, 'o') != nullptr; }

void check_split_field(const char* name, signed char status, const char* text) {
    require(status == ST_OK || status == ST_MISSING || status == ST_TOOLONG,
            "an exception-table field with an unexpected status", name);
    require((status == ST_MISSING) == (text[0] == '\0'), "a field is missing exactly when it is empty", name);
    require(!holds_on_us_symbol(text), "an exception-table field holds an on-us symbol", name);
}

bool same_scanned_fields(const micr_result& a, const micr_result& b) {
    return a.status == b.status && a.unrecognized_symbols == b.unrecognized_symbols &&
           a.amount_status == b.amount_status && std::strcmp(a.amount, b.amount) == 0 &&
           a.transit_status == b.transit_status && std::strcmp(a.transit, b.transit) == 0 &&
           a.epc_status == b.epc_status && std::strcmp(a.epc, b.epc) == 0 && a.onus_status == b.onus_status &&
           std::strcmp(a.onus, b.onus) == 0 && a.auxonus_status == b.auxonus_status &&
           std::strcmp(a.auxonus, b.auxonus) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    micr_fuzz::enter_scratch_directory();
    micr_fuzz::write_table("");
    for (const char* line : lines) {
        fixed_line f;
        const std::size_t length = std::strlen(line);
        f.reversed.reset(new char[length + 1]);
        for (std::size_t i = 0; i < length; ++i) f.reversed[i] = line[length - 1 - i];
        f.reversed[length] = '\0';
        f.copy.assign(f.reversed.get(), length);
        f.with_empty_table = *parse_micr_line(f.reversed.get());
        micr_fuzz::check_result(f.with_empty_table);
        require(f.with_empty_table.exception_state == EX_NORMAL, "an empty table is not EX_NORMAL", line);
        fixed.push_back(std::move(f));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    micr_fuzz::write_table(data, size);
    bool some_normal = false, some_invalid = false;
    for (std::size_t i = 0; i < line_count; ++i) {
        const fixed_line& f = fixed[i];
        const micr_result r = *parse_micr_line(f.reversed.get());
        require(f.copy == f.reversed.get(), "the parser changed its text", lines[i]);
        micr_fuzz::check_result(r);
        const micr_result& base = f.with_empty_table;
        require(same_scanned_fields(r, base), "the exception table changed a scanned field", lines[i]);
        if (r.status == 1) continue;  // the table was not consulted: check_result saw to that

        switch (r.exception_state) {
            case EX_NORMAL:
                some_normal = true;
                require(micr_fuzz::same_result(r, base), "EX_NORMAL differs from the default split", lines[i]);
                break;
            case EX_INVALID:
                some_invalid = true;
                require(r.account_status == ST_MISSING && r.account[0] == '\0' && r.csn_status == ST_MISSING &&
                            r.csn[0] == '\0' && r.tpc_status == ST_MISSING && r.tpc[0] == '\0',
                        "EX_INVALID split the on-us field", lines[i]);
                break;
            case EX_USED: {
                // Only an entry of nine characters can match, and the transit
                // field holds digits and dash symbols; the table is upper-cased.
                const std::size_t length = std::strlen(r.transit);
                require(length == 9 && std::strspn(r.transit, "0123456789") == 9,
                        "an entry matched a transit number that is not nine digits", lines[i]);
                check_split_field("account", r.account_status, r.account);
                check_split_field("csn", r.csn_status, r.csn);
                check_split_field("tpc", r.tpc_status, r.tpc);
                break;
            }
            default: micr_fuzz::fail("a table that exists could not be opened", lines[i]);
        }
    }
    require(!(some_normal && some_invalid), "one table read both as malformed and as without a match");
    return 0;
}
