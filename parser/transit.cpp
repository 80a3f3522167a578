// The transit field's tests: a Canadian transit by the place of its dash, a
// US routing number by its ABA check digit.
#include "parse_steps.h"

namespace micr {
namespace {

// Where a Canadian transit (branch, dash, institution) has its dash, counted
// from its right-hand end.
constexpr std::size_t dash_places_from_right[] = {4, 5};

bool dash_well_placed(std::string_view t) {
    for (const std::size_t place : dash_places_from_right)
        if (t.size() >= place && t[t.size() - place] == dash_symbol) return true;
    return false;
}

}  // namespace

void check_transit(micr_result& r) {
    const std::string_view t = field_text(r, transit_field);
    int dashes = 0;
    for (const char c : t)
        if (c == dash_symbol) ++dashes;

    if (dashes > 1) {
        r.transit_status = MICR_ST_INVALID;
    } else if (dashes == 1) {
        if (!dash_well_placed(t)) r.transit_status = MICR_ST_INVALID;
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
