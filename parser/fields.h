// The eight fields of micr_result, written once: every part of the product
// that walks the fields (reset, report, test-case reader, record writer, fuzz
// checks) loops over this list.  Tests of what a user sees spell the report
// labels out themselves, so that a slip in this list cannot hide there.
#pragma once

#include <array>
#include <cstddef>

#include "micr.h"

namespace micr {

// The reader's symbol letters.
inline constexpr char amount_symbol = 'a';
inline constexpr char transit_symbol = 't';
inline constexpr char onus_symbol = 'o';
inline constexpr char dash_symbol = 'd';
inline constexpr char unreadable_mark = '?';
inline constexpr char blank = ' ';

// In record order.
enum field_index {
    amount_field,
    account_field,
    tpc_field,
    csn_field,
    transit_field,
    epc_field,
    onus_field,
    auxonus_field
};
inline constexpr int field_count = 8;

struct field_def {
    const char* name;           // member name, also the key of micrparse's records
    std::size_t status_offset;  // of the status byte in micr_result
    std::size_t text_offset;    // of the text buffer in micr_result
    std::size_t width;          // of the text buffer, terminator included
    const char* report_label;   // eight characters, as micrtest's report shows it
    // Only for the four fields the line parser scans: the characters the field
    // may hold (the unreadable mark '?' is in no set) and the most it may hold.
    const char* allowed;
    signed char limit;
};

inline constexpr field_def fields[field_count] = {
    {"amount", offsetof(micr_result, amount_status), offsetof(micr_result, amount), MICR_AMOUNT_SIZE,
     " amount:", "0123456789", 16},
    {"account", offsetof(micr_result, account_status), offsetof(micr_result, account), MICR_ACCOUNT_SIZE,
     "account:", nullptr, 0},
    {"tpc", offsetof(micr_result, tpc_status), offsetof(micr_result, tpc), MICR_TPC_SIZE, "    tpc:", nullptr, 0},
    {"csn", offsetof(micr_result, csn_status), offsetof(micr_result, csn), MICR_CSN_SIZE, "    csn:", nullptr, 0},
    {"transit", offsetof(micr_result, transit_status), offsetof(micr_result, transit), MICR_TRANSIT_SIZE,
     "transit:", "0123456789d", 9},
    {"epc", offsetof(micr_result, epc_status), offsetof(micr_result, epc), MICR_EPC_SIZE, "    epc:", nullptr, 0},
    {"onus", offsetof(micr_result, onus_status), offsetof(micr_result, onus), MICR_ONUS_SIZE,
     "   onus:", "0123456789od ", 25},
    {"auxonus", offsetof(micr_result, auxonus_status), offsetof(micr_result, auxonus), MICR_AUXONUS_SIZE,
     "auxonus:", "0123456789d ", 21},
};

inline signed char& status_of(micr_result& r, field_index f) {
    return *reinterpret_cast<signed char*>(reinterpret_cast<char*>(&r) + fields[f].status_offset);
}
inline signed char status_of(const micr_result& r, field_index f) {
    return *reinterpret_cast<const signed char*>(reinterpret_cast<const char*>(&r) + fields[f].status_offset);
}
inline char* text_of(micr_result& r, field_index f) { return reinterpret_cast<char*>(&r) + fields[f].text_offset; }
inline const char* text_of(const micr_result& r, field_index f) {
    return reinterpret_cast<const char*>(&r) + fields[f].text_offset;
}

// Every field in record order, for range-for loops.
inline constexpr std::array<field_index, field_count> all_fields = {
    amount_field, account_field, tpc_field, csn_field, transit_field, epc_field, onus_field, auxonus_field};

// For each byte value, one bit per scanned field whose allowed set holds it:
// the scanner tests a character with one load instead of a search of the set.
inline constexpr std::array<unsigned char, 256> allowed_classes = [] {
    std::array<unsigned char, 256> classes{};
    for (const field_index f : all_fields)
        if (fields[f].allowed != nullptr)
            for (const char* c = fields[f].allowed; *c != '\0'; ++c)
                classes[static_cast<unsigned char>(*c)] |= static_cast<unsigned char>(1u << f);
    return classes;
}();

inline bool allowed_in(field_index f, char c) {
    return (allowed_classes[static_cast<unsigned char>(c)] & (1u << f)) != 0;
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A table of codes and their names or messages that is indexed by code:
// every code from 0 to `last` once, each at its own index.  `Row` has the
// code as its first member.
template <class Row, std::size_t N, class Code>
constexpr bool indexed_by_code(const Row (&rows)[N], Code last) {
    if (N != static_cast<std::size_t>(last) + 1) return false;
    for (std::size_t i = 0; i < N; ++i) {
        const auto [code, name] = rows[i];
        static_cast<void>(name);
        if (static_cast<std::size_t>(code) != i) return false;
    }
    return true;
}

}  // namespace micr
