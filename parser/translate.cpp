// Reader conventions: readers do not agree on how to write the four E-13B
// symbols and the unreadable mark.  A code line in any convention is
// rewritten into this library's letters before it is parsed.
#include <cstring>

#include "fields.h"

namespace micr {
namespace {

// The library's own convention, in the order of micr_translate's `symbols`:
// transit, on-us, amount, dash, unreadable mark, blank.
constexpr char own_symbols[] = {transit_symbol, onus_symbol, amount_symbol, dash_symbol, unreadable_mark, blank};
constexpr std::size_t symbol_count = sizeof own_symbols;

// A letter of the library that a convention does not use becomes this,
// which no field accepts and which is neither a digit nor a symbol.
constexpr char stray_letter = 'x';

// U+2446 to U+2449 in UTF-8: E2 91 86..89.  Their Unicode names mislead:
// U+2448 ("OCR DASH") is the on-us symbol and U+2449 ("OCR CUSTOMER
// ACCOUNT NUMBER") the dash symbol.
constexpr unsigned char unicode_lead[] = {0xE2, 0x91};
constexpr char unicode_symbols[] = {transit_symbol, amount_symbol, onus_symbol, dash_symbol};  // 86, 87, 88, 89

// Six distinct ASCII bytes, no digit and no NUL; a space can only be the
// blank, since a literal space is always a blank.
bool valid_convention(const char* symbols) {
    constexpr std::size_t blank_place = symbol_count - 1;
    for (std::size_t i = 0; i < symbol_count; ++i) {
        const auto c = static_cast<unsigned char>(symbols[i]);
        if (c == 0 || c > 0x7f || is_digit(symbols[i]) || (symbols[i] == blank && i != blank_place)) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (symbols[j] == symbols[i]) return false;
    }
    return true;
}

}  // namespace

}  // namespace micr

long micr_translate(const char* symbols, const char* text, size_t length, char* out, size_t out_size) {
    using namespace micr;
    const char* convention = symbols != nullptr ? symbols : own_symbols;
    if (!valid_convention(convention) || (text == nullptr && length > 0) || out == nullptr) return -1;

    // What each byte of the text becomes, once for the whole line.
    char meaning[256];
    for (int b = 0; b < 256; ++b) meaning[b] = static_cast<char>(b);
    // The library's letters lose their meaning unless the convention gives it
    // back; a literal blank stays a blank.
    for (const char own : own_symbols)
        if (own != blank) meaning[static_cast<unsigned char>(own)] = stray_letter;
    for (std::size_t i = 0; i < symbol_count; ++i) meaning[static_cast<unsigned char>(convention[i])] = own_symbols[i];

    std::size_t written = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (written + 1 >= out_size) return -1;  // room for this character and the terminator
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == unicode_lead[0] && i + 2 < length && static_cast<unsigned char>(text[i + 1]) == unicode_lead[1]) {
            const auto last = static_cast<unsigned char>(text[i + 2]);
            if (last >= 0x86 && last <= 0x89) {
                out[written++] = unicode_symbols[last - 0x86];
                i += 2;
                continue;
            }
        }
        out[written++] = meaning[c];
    }
    if (written >= out_size) return -1;
    out[written] = '\0';
    return static_cast<long>(written);
}
