// Field scanning and the text helpers that the line parser, the on-us split
// and the exception table share.
#include "scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace micr {
namespace {

#if defined(__SSE2__)
// Bit i set where byte i of `v` is `c`.
std::uint64_t bits_equal(__m128i v, char c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}
#endif

// Counts the characters from `first`, `Step` bytes apart, up to `terminator`
// and at most `reach` of them.  `bad` becomes the first of them that is the
// unreadable mark or outside the allowed set (1 for a NUL byte), or stays 0.
template <std::ptrdiff_t Step>
std::size_t measure_field(const char* first, std::size_t reach, char terminator, field_index allowed, char& bad) {
    std::size_t taken = 0;
    for (; taken < reach; ++taken) {
        const char c = first[Step * static_cast<std::ptrdiff_t>(taken)];
        if (c == terminator) break;
        if (!allowed_in(allowed, c) && bad == '\0') bad = c == '\0' ? '\x01' : c;
    }
    return taken;
}

}  // namespace

line_masks line_masks_by_byte(const char* text, std::size_t length) {
    line_masks m;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (c == micr::amount_symbol) m.amount_symbol |= bit;
        if (c == micr::transit_symbol) m.transit_symbol |= bit;
        if (c == micr::onus_symbol) m.onus_symbol |= bit;
        if (c == micr::dash_symbol) m.dash_symbol |= bit;
        if (is_digit(c)) m.digit |= bit;
        if (c == blank) m.blank |= bit;
        if (c == micr::unreadable_mark) m.unreadable_mark |= bit;
        if (c == '\0') m.nul |= bit;
    }
    return m;
}

masked_line::masked_line(const char* text, std::size_t text_length) : length(text_length) {
#if defined(__SSE2__)
    const std::size_t n = text_length;  // a local: the stores into `bytes` may alias a member
    // The masks are taken from the vectors as loaded: the text in whole
    // vectors, and the last vector ending with the text (its bytes already
    // seen give the same bits again).  A text shorter than a vector is
    // copied into one first.
    std::uint64_t digit = 0, amount = 0, transit = 0, onus = 0, dash = 0, blanks = 0, marks = 0, nuls = 0;
    const auto add = [&](__m128i v, std::size_t at) {
        const auto is = [&](char c) { return bits_equal(v, c) << at; };
        // c - '0', unsigned, is at most 9 exactly for a digit.
        const __m128i from_zero = _mm_sub_epi8(v, _mm_set1_epi8('0'));
        const auto digits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero)));
        digit |= std::uint64_t{digits} << at;
        amount |= is(amount_symbol);
        transit |= is(transit_symbol);
        onus |= is(onus_symbol);
        dash |= is(dash_symbol);
        blanks |= is(blank);
        marks |= is(unreadable_mark);
        nuls |= is('\0');
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + at), v);
    };
    // Zeros behind the text, as far as put_text reads.
    const __m128i zero = _mm_setzero_si128();
    static_assert(text_slack == 32);
    if (n >= 16) {
        for (std::size_t at = 0; at + 16 <= n; at += 16)
            add(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at)), at);
        if (n % 16 != 0) add(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + n - 16)), n - 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + n), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + n + 16), zero);
    } else {
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), zero);
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes + 16), zero);
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes + 32), zero);
        if (n > 0) {
            std::memcpy(bytes, text, n);
            add(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)), 0);
        }
    }
    masks = {amount, transit, onus, dash, digit, blanks, marks, nuls & first_bits(n)};  // not the zeros after it
#else
    std::memset(bytes, 0, sizeof bytes);
    if (length > 0) std::memcpy(bytes, text, length);
    masks = line_masks_by_byte(bytes, length);
#endif
}

void scan_cursor::copy_ahead(std::size_t count, char* destination) const {
    if (count > 0) {
        const char* const at = here();
        if (printed()) {
            std::memcpy(destination, at - (count - 1), count);  // already in reading order
        } else {
            for (std::size_t i = 0; i < count; ++i) destination[count - 1 - i] = at[i];
        }
    }
    destination[count] = '\0';
}

signed char scan_field(scan_cursor& cursor, char* destination, std::size_t destination_size, field_index allowed,
                       signed char limit, char terminator) {
    const std::size_t left = cursor.left();
    // Each character is tested for the end of the text, then the terminator,
    // then the limit: at most limit + 1 characters are taken, the last of
    // them only to find the field too long.
    const std::size_t most = static_cast<std::size_t>(limit) + 1;
    const std::size_t reach = left < most ? left : most;
    // The first character, in scan order, that is the unreadable mark or
    // outside the allowed set decides a field that ends well.
    char bad = '\0';
    std::size_t taken = 0;
    if (reach > 0)
        taken = cursor.printed() ? measure_field<-1>(cursor.here(), reach, terminator, allowed, bad)
                                 : measure_field<1>(cursor.here(), reach, terminator, allowed, bad);
    const std::size_t room = destination_size - 1;
    cursor.copy_ahead(taken < room ? taken : room, destination);
    cursor.advance(taken);
    if (taken == 0) return MICR_ST_MISSING;
    if (taken == most) return MICR_ST_TOOLONG;  // not examined
    if (taken == left) return MICR_ST_NOTERM;   // the text ended inside the field; not examined
    if (bad == '\0') return MICR_ST_OK;
    return bad == unreadable_mark ? MICR_ST_UNRECOG : MICR_ST_INVALID;
}

int count_digits(std::string_view text) {
    int digits = 0;
    for (const char c : text)
        if (is_digit(c)) ++digits;
    return digits;
}

void set_subfield(std::string_view source, micr_result& r, field_index field) {
    char* const destination = text_of(r, field);
    status_of(r, field) = keep_right_end(source, fields[field].width - 1, r);
    if (!source.empty()) std::memcpy(destination, source.data(), source.size());
    destination[source.size()] = '\0';
}

onus_sections::onus_sections(const micr_result& r) : text_(copy_) {
#if defined(__SSE2__)
    // Two vectors cover the buffer: its first 16 bytes and its last 16.
    constexpr std::size_t width = sizeof r.onus, second = width - 16;
    static_assert(width >= 16 && width <= 32 && width + text_slack <= sizeof copy_ && text_slack == 32);
    __m128i low, high;
    std::memcpy(&low, r.onus, sizeof low);
    std::memcpy(&high, r.onus + second, sizeof high);
    std::memcpy(copy_, &low, sizeof low);
    std::memcpy(copy_ + second, &high, sizeof high);
    const __m128i zero = _mm_setzero_si128();
    std::memcpy(copy_ + width, &zero, sizeof zero);
    std::memcpy(copy_ + width + 16, &zero, sizeof zero);
    const auto is = [&](char c) { return bits_equal(low, c) | bits_equal(high, c) << second; };
    length_ = static_cast<std::size_t>(std::countr_zero(is('\0')));  // the buffer holds a terminator
    const std::uint64_t inside = first_bits(length_);
    masks_.blank = is(blank) & inside;
    masks_.dash_symbol = is(dash_symbol) & inside;
    masks_.onus_symbol = is(onus_symbol) & inside;
#else
    std::memset(copy_, 0, sizeof copy_);
    std::memcpy(copy_, r.onus, sizeof r.onus);
    length_ = text_length(r.onus, sizeof r.onus);
    masks_ = line_masks_by_byte(r.onus, length_);
#endif
    field_ = without_outer_blanks(first_bits(length_));
}

signed char decimal_low_byte(const char* text) {
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    // Arithmetic modulo 256 keeps exactly the low-order byte, however many digits follow.
    unsigned value = 0;
    for (; is_digit(*text); ++text) value = (value * 10u + unsigned(*text - '0')) & 0xffu;
    if (negative) value = (0u - value) & 0xffu;
    return static_cast<signed char>(value);
}

}  // namespace micr
