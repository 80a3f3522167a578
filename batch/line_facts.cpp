#include "line_facts.h"

#include <charconv>
#include <cstring>

#include "byte_words.h"
#include "fields.h"
#include "routing_number.h"

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

// The high bit of each byte of a word that is not a decimal digit: each
// byte alone, by its low seven bits, so that no sum carries into the next.
constexpr std::uint64_t not_digit_bytes(std::uint64_t x) {
    const std::uint64_t low = x & ~highs;
    const std::uint64_t digit = (low + ones * (0x80 - '0'))  // '0' or above
                                & ~(low + ones * (0x80 - '9' - 1)) & ~x;
    return ~digit & highs;
}

// The length of the text in a buffer of `Width` (at least 8) bytes, up to
// its terminator or the buffer's end, when every byte of it is a decimal
// digit; not_digits when one is not.  The first byte that is no digit must
// be the terminator.
constexpr std::size_t not_digits = ~std::size_t{0};
template <std::size_t Width>
[[gnu::always_inline]] inline std::size_t digits_length(const char (&text)[Width]) {
    static_assert(Width >= 8);
    const auto first_other = [](std::uint64_t word, std::uint64_t others, std::size_t at) {
        const unsigned count = bytes_before(others);
        return (word >> (8 * count) & 0xff) == 0 ? at + count : not_digits;
    };
    std::size_t i = 0;
    for (; i + 8 <= Width; i += 8) {
        const std::uint64_t word = load_word(text + i);
        if (const std::uint64_t others = not_digit_bytes(word); others != 0) return first_other(word, others, i);
    }
    if (i == Width) return Width;
    // Fewer than eight bytes left: they come first, zeros after them.
    const std::uint64_t word = last_bytes(text, Width, i);
    return first_other(word, not_digit_bytes(word), i);
}

// The amount in cents of an OK amount, spelled for amount_cents.
void spell_cents(const micr_result& r, char (&out)[MICR_AMOUNT_SIZE]) {
    constexpr std::string_view limit = "9007199254740992";  // 2^53
    const std::size_t length = digits_length(r.amount);
    if (length != not_digits) {
        std::size_t first = 0;
        while (first + 1 < length && r.amount[first] == '0') ++first;
        const std::string_view digits = length == 0 ? "0" : std::string_view(r.amount + first, length - first);
        if (digits.size() < limit.size() || (digits.size() == limit.size() && digits < limit)) {
            digits.copy(out, digits.size());
            out[digits.size()] = '\0';
        }
        return;
    }
    // Not digits alone, which the parser never leaves in an OK amount: each
    // byte counts as its distance from '0'.
    unsigned long long value = 0;
    for (const char c : std::string_view(r.amount, strnlen(r.amount, sizeof r.amount)))
        value = value * 10 + static_cast<unsigned>(c - '0');
    if (value < (1ull << 53)) *std::to_chars(out, out + limit.size(), value).ptr = '\0';
}

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
    if (r.amount_status == ST_OK) spell_cents(r, facts.amount_cents);
    if (r.transit_status == ST_OK) {
        if (digits_length(r.transit) == routing_number_length) {
            // Nine digits are their own EFT routing number (micr_eft_routing).
            std::memcpy(facts.eft_routing, r.transit, routing_number_length + 1);
            facts.form = transit_form::aba;
        } else {
            // Branch, dash and institution have an EFT routing number; every
            // other OK transit holds a dash somewhere else.
            const bool eft = micr_eft_routing(r.transit, facts.eft_routing) == 1;
            const bool no_dash = std::strchr(r.transit, dash_symbol) == nullptr;
            facts.form = no_dash ? transit_form::aba : eft ? transit_form::canadian : transit_form::dash;
        }
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
