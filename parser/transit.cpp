// The transit field's tests: a Canadian transit by the place of its dash, a
// US routing number by its ABA check digit.
#include <bit>
#include <cstdint>

#include "parse_steps.h"

namespace micr {
namespace {

// Where a Canadian transit (branch, dash, institution) has its dash, counted
// from its right-hand end.
constexpr std::size_t dash_places_from_right[] = {4, 5};

// 0x80 in each byte of `word` that is `c`, and 0 in every other: exact, with
// no carry from one byte into the next.
std::uint64_t bytes_equal(std::uint64_t word, char c) {
    constexpr std::uint64_t low_sevens = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = word ^ (0x0101010101010101u * static_cast<unsigned char>(c));
    return ~(((x & low_sevens) + low_sevens) | x | low_sevens);
}

}  // namespace

void check_transit(micr_result& r) { check_transit(r, field_text(r, transit_field)); }

void check_transit(micr_result& r, std::string_view t) {
    // The dash symbols of the first eight characters a word at a time; a
    // transit has at most nine.
    static_assert(routing_number_length == 9 && sizeof r.transit >= 8);
    std::uint64_t word;
    std::memcpy(&word, t.data(), sizeof word);
    const std::uint64_t inside = t.size() >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << 8 * t.size()) - 1;
    const std::uint64_t first_eight = bytes_equal(word, dash_symbol) & inside;
    const bool ninth = t.size() > 8 && t[8] == dash_symbol;
    // Without a count: the machines this builds for need not count bits in one instruction.
    const bool several = (first_eight & (first_eight - 1)) != 0 || (ninth && first_eight != 0);

    if (several) {
        r.transit_status = MICR_ST_INVALID;
    } else if (first_eight != 0 || ninth) {
        const std::size_t at = ninth ? 8 : static_cast<std::size_t>(std::countr_zero(first_eight)) / 8;
        bool well_placed = false;
        for (const std::size_t place : dash_places_from_right) well_placed = well_placed || t.size() - at == place;
        if (!well_placed) r.transit_status = MICR_ST_INVALID;
    } else if (t.size() != routing_number_length) {
        // A routing number has nine digits; a shorter one cannot carry a check digit.
        r.transit_status = MICR_ST_INVALID;
    } else if (!aba_check_digit_holds(t)) {
        r.transit_status = MICR_ST_INVALID;
    }
}

}  // namespace micr

int micr_repair_routing(const char* transit, char* out) {
    using namespace micr;
    if (transit == nullptr || out == nullptr || std::strlen(transit) != routing_number_length) return 0;
    std::size_t unread = routing_number_length;
    int sum = 0;
    for (std::size_t i = 0; i < routing_number_length; ++i) {
        if (transit[i] == unreadable_mark && unread == routing_number_length)
            unread = i;
        else if (is_digit(transit[i]))
            sum += aba_weights[i] * (transit[i] - '0');
        else
            return 0;  // a second '?', or anything but a digit
    }
    // Fifth and sixth are where a Canadian transit has its dash: a misread
    // dash must not become a US routing number.
    for (const std::size_t place : dash_places_from_right)
        if (unread == routing_number_length - place) return 0;
    if (unread == routing_number_length) return 0;
    // The weights 1, 3 and 7 are prime to 10, so exactly one digit fits:
    // weight * digit = -sum (mod 10), and 3 and 7 are each other's inverse.
    const int weight = aba_weights[unread];
    const int inverse = weight == 1 ? 1 : 10 - weight;
    const int digit = ((10 - sum % 10) % 10) * inverse % 10;
    std::memcpy(out, transit, routing_number_length);
    out[unread] = static_cast<char>('0' + digit);
    out[routing_number_length] = '\0';
    return 1;
}

int micr_eft_routing(const char* transit, char* out) {
    using namespace micr;
    if (transit == nullptr || out == nullptr) return 0;
    const std::string_view t(transit, strnlen(transit, routing_number_length + 1));
    const auto all_digits = [](std::string_view s) {
        for (const char c : s)
            if (!is_digit(c)) return false;
        return true;
    };
    if (t.size() != routing_number_length) return 0;
    // A Canadian transit is branch, dash, institution: payments write it
    // with a leading zero, the institution, then the branch.
    constexpr std::size_t branch_digits = 5, institution_digits = 3;
    if (all_digits(t)) {
        std::memcpy(out, t.data(), routing_number_length);
    } else if (t[branch_digits] == dash_symbol && all_digits(t.substr(0, branch_digits)) &&
               all_digits(t.substr(branch_digits + 1))) {
        out[0] = '0';
        std::memcpy(out + 1, t.data() + branch_digits + 1, institution_digits);
        std::memcpy(out + 1 + institution_digits, t.data(), branch_digits);
    } else {
        return 0;
    }
    out[routing_number_length] = '\0';
    return 1;
}
