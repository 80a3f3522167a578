// What micrparse's records derive from a parsed line's amount and transit:
// facts_of reads the field texts eight bytes at a time, and must give what
// reading them byte by byte gives, for every text a field's buffer can hold.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "line_facts.h"
#include "micr.h"

namespace {

using micr::batch::transit_form;

// The facts of the amount and the transit, byte by byte: the amount's bytes
// each counted as their distance from '0', the form by where the dash is,
// and the library's EFT routing number and repair.
struct reference_facts {
    std::string amount_cents, routing_repair, eft_routing;
    transit_form form = transit_form::none;
    bool operator==(const reference_facts&) const = default;
};

reference_facts reference(const micr_result& r) {
    reference_facts facts;
    if (r.amount_status == ST_OK) {
        unsigned long long value = 0;
        for (const char c : std::string_view(r.amount, strnlen(r.amount, sizeof r.amount)))
            value = value * 10 + static_cast<unsigned>(c - '0');
        if (value < (1ull << 53)) facts.amount_cents = std::to_string(value);
    }
    char routing[10];
    if (r.transit_status == ST_OK) {
        const bool eft = micr_eft_routing(r.transit, routing) == 1;
        if (eft) facts.eft_routing = routing;
        facts.form = std::strchr(r.transit, 'd') == nullptr ? transit_form::aba
                     : eft                                  ? transit_form::canadian
                                                            : transit_form::dash;
    }
    if (r.transit_status == ST_UNRECOG && micr_repair_routing(r.transit, routing) == 1) facts.routing_repair = routing;
    return facts;
}

reference_facts found(const micr_result& r) {
    const micr::batch::line_facts facts = micr::batch::facts_of(r);
    return {facts.amount_cents, facts.routing_repair, facts.eft_routing, facts.form};
}

std::ostream& operator<<(std::ostream& out, const reference_facts& f) {
    return out << "cents '" << f.amount_cents << "' form " << static_cast<int>(f.form) << " repair '"
               << f.routing_repair << "' eft '" << f.eft_routing << "'";
}

TEST(LineFacts, AmountAndTransitAsReadByteByByte) {
    std::mt19937 engine(20261210);
    auto pick = [&engine](std::size_t n) { return static_cast<std::size_t>(engine() % n); };
    auto digits = [&](std::size_t length) {
        std::string t;
        for (std::size_t i = 0; i < length; ++i) t += static_cast<char>('0' + pick(10));
        return t;
    };
    micr_result r;
    // `text` in `buffer`, terminated when shorter than it, with bytes of any
    // value after the terminator; then the facts under each status.
    auto check = [&](char* buffer, std::size_t width, signed char& status, const std::string& text) {
        for (std::size_t i = 0; i < width; ++i) buffer[i] = static_cast<char>(pick(256));
        text.copy(buffer, width);
        if (text.size() < width) buffer[text.size()] = '\0';
        for (const signed char s : {ST_OK, ST_UNRECOG, ST_INVALID}) {
            status = s;
            ASSERT_EQ(found(r), reference(r)) << "text '" << text << "' status " << int{s};
        }
    };
    std::memset(&r, 0, sizeof r);

    const std::string limit = "9007199254740992";  // 2^53: the first amount left out
    for (std::size_t length = 0; length < sizeof r.amount; ++length)
        for (std::size_t zeros = 0; zeros <= length; ++zeros)
            check(r.amount, sizeof r.amount, r.amount_status, std::string(zeros, '0') + digits(length - zeros));
    for (const char* amount : {"9007199254740991", "9007199254740993", "9999999999999999", "0000000000000000"})
        check(r.amount, sizeof r.amount, r.amount_status, amount);
    check(r.amount, sizeof r.amount, r.amount_status, limit);
    // Every byte at every place: the digits test, and the terminator.
    for (int b = 0; b < 256; ++b)
        for (std::size_t place = 0; place < sizeof r.amount; ++place) {
            std::string amount = digits(sizeof r.amount);
            amount[place] = static_cast<char>(b);
            check(r.amount, sizeof r.amount, r.amount_status,
                  amount.substr(0, 1 + place + pick(sizeof r.amount - place)));
        }
    r.amount_status = ST_MISSING;

    // A transit always ends within its buffer, as the parser leaves it.
    for (std::size_t length = 0; length < sizeof r.transit; ++length) {
        check(r.transit, sizeof r.transit, r.transit_status, digits(length));
        for (std::size_t place = 0; place < length; ++place)
            for (const char mark : {'d', '?'}) {
                std::string transit = digits(length);
                transit[place] = mark;
                check(r.transit, sizeof r.transit, r.transit_status, transit);
            }
    }
    for (int b = 0; b < 256; ++b)
        for (std::size_t place = 0; place + 1 < sizeof r.transit; ++place) {
            std::string transit = digits(sizeof r.transit - 1);
            transit[place] = static_cast<char>(b);
            check(r.transit, sizeof r.transit, r.transit_status, transit.substr(0, 1 + place + pick(9 - place)));
        }
}

}  // namespace
