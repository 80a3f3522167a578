// Text primitives: the field scanner, blank trimming, digit counting, copying
// into result fields, the tokeniser and the decimal reader of table entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "parse_steps.h"
#include "routing_number.h"

namespace {

// A copy of `text` in a heap buffer of exactly its size, terminator included,
// so that AddressSanitizer reports a read one byte past the end.
std::unique_ptr<char[]> exact_copy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

// ---------------------------------------------------------------------------
// scan_field

struct scan_row {
    const char* why;
    std::string input;          // in scan order: the field's right-hand end first
    micr::field_index allowed;  // whose set of characters
    int limit;
    char terminator;
    signed char status;
    std::string text;    // what the scan takes, in scan order
    std::size_t cursor;  // where the cursor rests, counted from the start of `input`
};

// The allowed sets of the scanned fields.
constexpr micr::field_index digits = micr::amount_field;
constexpr micr::field_index transit_set = micr::transit_field;
constexpr micr::field_index onus_set = micr::onus_field;

// A cursor over reversed text, as parse_micr_line scans it.
micr::scan_cursor cursor_over(const char* text) { return micr::scan_cursor::over_reversed(text, std::strlen(text)); }

std::string reversed(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

const std::vector<scan_row>& scan_rows() {
    static const std::vector<scan_row> rows = {
        // terminator after 1..limit characters, all allowed
        {"one allowed character", "5t", digits, 4, 't', ST_OK, "5", 1},
        {"fewer than the limit", "123t", digits, 4, 't', ST_OK, "123", 3},
        {"exactly the limit, then the terminator", "1234t", digits, 4, 't', ST_OK, "1234", 4},
        {"what follows the terminator is not read", "12t??x", digits, 4, 't', ST_OK, "12", 2},
        {"limit 1 filled exactly", "7a", digits, 1, 'a', ST_OK, "7", 1},
        {"dash symbol allowed in a transit", "1d34t", transit_set, 9, 't', ST_OK, "1d34", 4},
        {"blanks kept at both ends of an on-us field", " 12 o t", onus_set, 25, 't', ST_OK, " 12 o ", 6},
        // terminator or end at once
        {"terminator at once", "t123", digits, 4, 't', ST_MISSING, "", 0},
        {"end of text at once", "", digits, 4, 't', ST_MISSING, "", 0},
        // unreadable mark or disallowed character, the first one in scan order decides
        {"unreadable mark alone", "?t", digits, 4, 't', ST_UNRECOG, "?", 1},
        {"disallowed letter alone", "xt", digits, 4, 't', ST_INVALID, "x", 1},
        {"digit, mark, x, digit: the mark comes first", "1?x2t", digits, 4, 't', ST_UNRECOG, "1?x2", 4},
        {"digit, x, mark, digit: the x comes first", "1x?2t", digits, 4, 't', ST_INVALID, "1x?2", 4},
        {"mark as the last character of a full field", "123?t", digits, 4, 't', ST_UNRECOG, "123?", 4},
        {"blank inside an amount", "12 4a", digits, 16, 'a', ST_INVALID, "12 4", 4},
        {"blank inside a transit", "1 34t", transit_set, 9, 't', ST_INVALID, "1 34", 4},
        {"on-us symbol not allowed in a transit", "1o34t", transit_set, 9, 't', ST_INVALID, "1o34", 4},
        {"another symbol letter is an ordinary character", "12at", digits, 4, 't', ST_INVALID, "12a", 3},
        {"a byte above 127 is outside every set", "1\xb5t", digits, 4, 't', ST_INVALID, "1\xb5", 2},
        {"the terminator of another field ends nothing", "1t2a", digits, 4, 'a', ST_INVALID, "1t2", 3},
        // the end of the text inside the field
        {"end after a few characters", "12", digits, 4, 't', ST_NOTERM, "12", 2},
        {"end after exactly the limit", "1234", digits, 4, 't', ST_NOTERM, "1234", 4},
        {"end after a mark and letters: not examined", "?x", digits, 4, 't', ST_NOTERM, "?x", 2},
        // one character more than the limit
        {"limit + 1, then the terminator", "12345t", digits, 4, 't', ST_TOOLONG, "12345", 5},
        {"limit + 1, then the end of the text", "12345", digits, 4, 't', ST_TOOLONG, "12345", 5},
        {"limit + 1 with more behind: the scan stops", "123456789t", digits, 4, 't', ST_TOOLONG, "12345", 5},
        {"too long is not examined for marks", "1?x45t", digits, 4, 't', ST_TOOLONG, "1?x45", 5},
        {"limit 1 exceeded", "78a", digits, 1, 'a', ST_TOOLONG, "78", 2},
        {"largest limit filled exactly", std::string(127, '9') + "t", digits, 127, 't', ST_OK, std::string(127, '9'),
         127},
        {"largest limit exceeded", std::string(128, '9') + "t", digits, 127, 't', ST_TOOLONG, std::string(128, '9'),
         128},
    };
    return rows;
}

// Each row runs over the same line twice: as the original entry hands it
// over (reversed), and as printed.  The cursor walks both from the right-hand
// end; the field's text comes out in reading order either way.
TEST(ScanField, EveryOutcome) {
    constexpr std::size_t guard = 8;
    for (const scan_row& row : scan_rows()) {
        for (const bool printed : {false, true}) {
            SCOPED_TRACE(std::string(row.why) + (printed ? ", line as printed" : ", line reversed"));
            const auto input = exact_copy(printed ? reversed(row.input) : row.input);
            // Room for limit + 1 characters and the terminator, then guard bytes.
            const std::size_t size = static_cast<std::size_t>(row.limit) + 2;
            std::vector<char> destination(size + guard, '#');
            micr::scan_cursor cursor =
                printed ? micr::scan_cursor::over_printed(input.get(), row.input.size()) : cursor_over(input.get());
            const signed char status = micr::scan_field(cursor, destination.data(), size, row.allowed,
                                                        static_cast<signed char>(row.limit), row.terminator);
            EXPECT_EQ(status, row.status);
            EXPECT_EQ(std::string(destination.data()), reversed(row.text));
            EXPECT_EQ(cursor.passed(), row.cursor);
            for (std::size_t i = size; i < size + guard; ++i) EXPECT_EQ(destination[i], '#') << "byte " << i;
        }
    }
}

// The scanner with the limits and sets of the four scanned fields, writing
// into the record itself: at limit and limit + 1.  Amount and transit buffers
// have no room for the extra character; they keep the first `limit` taken,
// the field's right-hand end, and nothing outside them changes.
TEST(ScanField, FieldLimitsInTheRecord) {
    const struct {
        micr::field_index field;
        char terminator;
        std::string full;  // exactly `limit` allowed characters
        char extra;        // one more allowed character
    } fields[] = {
        {micr::amount_field, 'a', "6543210987654321", '7'},
        {micr::transit_field, 't', "087654321", '5'},
        {micr::onus_field, 't', "o43210987654321098765 432", 'd'},
        {micr::auxonus_field, 'o', "123456789012345678901", 'd'},
    };
    for (const auto& f : fields) {
        const micr::field_def& def = micr::fields[f.field];
        ASSERT_EQ(f.full.size(), static_cast<std::size_t>(def.limit));
        const std::size_t kept_when_too_long = std::min<std::size_t>(f.full.size() + 1, def.width - 1);
        const struct {
            const char* why;
            std::string input;
            signed char status;
            std::string text;  // in scan order
            std::size_t cursor;
        } rows[] = {
            {"exactly the limit", f.full + f.terminator, ST_OK, f.full, f.full.size()},
            {"one more than the limit", f.full + f.extra + f.terminator, ST_TOOLONG,
             (f.full + f.extra).substr(0, kept_when_too_long), f.full.size() + 1},
            {"four more: the scan stops after one more", f.full + std::string(4, f.extra) + f.terminator, ST_TOOLONG,
             (f.full + f.extra).substr(0, kept_when_too_long), f.full.size() + 1},
            {"one more, then the end of the text", f.full + f.extra, ST_TOOLONG,
             (f.full + f.extra).substr(0, kept_when_too_long), f.full.size() + 1},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(def.name) + ": " + row.why);
            micr_result r;
            // Fill the whole record with a pattern, so any stray write shows.
            std::memset(&r, 0x5a, sizeof r);
            unsigned char before[sizeof(micr_result)];
            std::memcpy(before, &r, sizeof r);
            const auto input = exact_copy(row.input);
            micr::scan_cursor cursor = cursor_over(input.get());
            char* const destination = micr::text_of(r, f.field);
            const signed char status =
                micr::scan_field(cursor, destination, def.width, f.field, def.limit, f.terminator);
            EXPECT_EQ(status, row.status);
            ASSERT_NE(std::memchr(destination, '\0', def.width), nullptr) << "text not terminated in its buffer";
            EXPECT_EQ(std::string(destination), reversed(row.text));
            EXPECT_EQ(cursor.passed(), row.cursor);
            const auto* after = reinterpret_cast<const unsigned char*>(&r);
            for (std::size_t i = 0; i < sizeof r; ++i) {
                if (i >= def.text_offset && i < def.text_offset + def.width) continue;
                EXPECT_EQ(after[i], before[i]) << "record byte " << i << " outside the field changed";
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Word-at-a-time helpers against their plain definitions

// The masks of a short line, made a vector at a time, against the same masks
// made a byte at a time, over lines of every length up to the limit and of
// every byte value (the symbol letters and digits more often).
TEST(LineMasks, VectorsAgreeWithBytes) {
    std::mt19937 random(0x6d61736bu);
    const std::string common = "0123456789toad? ";
    for (int round = 0; round < 20000; ++round) {
        const std::size_t length = random() % (micr::masked_line_limit + 1);
        std::string text(length, '\0');
        for (char& c : text)
            c = random() % 4 == 0 ? static_cast<char>(random() % 256) : common[random() % common.size()];
        const auto copy = exact_copy(text);
        const micr::masked_line line(copy.get(), length);
        const micr::line_masks& got = line.masks;
        const micr::line_masks want = micr::line_masks_by_byte(text.data(), length);
        const std::uint64_t inside = micr::first_bits(length);
        SCOPED_TRACE("length " + std::to_string(length));
        EXPECT_EQ(got.amount_symbol & inside, want.amount_symbol);
        EXPECT_EQ(got.transit_symbol & inside, want.transit_symbol);
        EXPECT_EQ(got.onus_symbol & inside, want.onus_symbol);
        EXPECT_EQ(got.dash_symbol & inside, want.dash_symbol);
        EXPECT_EQ(got.digit & inside, want.digit);
        EXPECT_EQ(got.blank & inside, want.blank);
        EXPECT_EQ(got.unreadable_mark & inside, want.unreadable_mark);
        EXPECT_EQ(got.nul, want.nul);  // no bit past the text: a refusal depends on it
        ASSERT_EQ(std::memcmp(line.bytes, text.data(), length), 0);
        if (testing::Test::HasFailure()) return;
    }
}

// Routing keys and ABA check digits, a word at a time, against the nine
// digits read one by one: nine-character texts of digits with, now and then,
// one character just outside the digits or anywhere else.
TEST(RoutingNumber, KeyAndCheckDigitAgreeWithTheDigitsOneByOne) {
    std::mt19937 random(0x61626121u);
    int keys = 0, passing = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string text(micr::routing_number_length, '0');
        for (char& c : text) c = static_cast<char>('0' + random() % 10);
        if (random() % 3 == 0) {
            const char outside[] = {'/', ':', '\0', '\x7f', '\xb0', '\xb9', 'd', '?', ' ', '@'};
            text[random() % text.size()] =
                random() % 2 == 0 ? outside[random() % sizeof outside] : static_cast<char>(random() % 256);
        }
        bool nine_digits = true;
        std::uint32_t value = 0;
        int sum = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            nine_digits = nine_digits && text[i] >= '0' && text[i] <= '9';
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
            sum += micr::aba_weights[i] * (text[i] - '0');
        }
        std::uint32_t key = 0;
        ASSERT_EQ(micr::routing_key(text, key), nine_digits) << text;
        if (!nine_digits) continue;
        ++keys;
        ASSERT_EQ(key, value) << text;
        ASSERT_EQ(micr::aba_check_digit_holds(text), sum % 10 == 0) << text;
        passing += sum % 10 == 0;
    }
    EXPECT_GT(keys, 100000);
    EXPECT_GT(passing, 10000);
}

// The on-us field's sections and groups, found on its masks, against the
// same cut made on the text one character at a time: random on-us texts of
// digits, blanks, dash and on-us symbols (and a few other bytes), every
// number of sections asked for.
TEST(OnusSections, MasksCutLikeTheText) {
    // The text, one character at a time: sections are the runs between on-us
    // symbols from the right, an empty section 0 when the field ends with
    // one; groups are the runs between blanks and dashes.
    const auto sections_of = [](std::string_view field, int count) {
        std::vector<std::string_view> sections(static_cast<std::size_t>(count));
        std::size_t found = 0;
        if (!field.empty() && field.back() == 'o' && count > 0) ++found;
        std::size_t end = field.size();
        while (found < sections.size()) {
            while (end > 0 && field[end - 1] == 'o') --end;
            if (end == 0) break;
            std::size_t start = end;
            while (start > 0 && field[start - 1] != 'o') --start;
            sections[found++] = field.substr(start, end - start);
            end = start;
        }
        return std::make_pair(sections, static_cast<int>(found));
    };
    const auto groups_of = [](std::string_view section) {
        std::vector<std::string_view> groups;  // from the right
        std::size_t end = section.size();
        for (;;) {
            while (end > 0 && (section[end - 1] == ' ' || section[end - 1] == 'd')) --end;
            if (end == 0) break;
            std::size_t start = end;
            while (start > 0 && section[start - 1] != ' ' && section[start - 1] != 'd') --start;
            groups.push_back(section.substr(start, end - start));
            end = start;
        }
        return groups;
    };
    std::mt19937 random(0x6f6e7573u);
    const std::string alphabet = "0123456789   dddooo?x";
    for (int round = 0; round < 30000; ++round) {
        std::string text(random() % MICR_ONUS_SIZE, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        micr_result r{};
        std::memset(r.onus, 'z', sizeof r.onus);  // what follows the terminator counts for nothing
        std::memcpy(r.onus, text.c_str(), text.size() + 1);
        const micr::onus_sections layout(r);
        const std::string_view field = micr::trimmed(text);
        SCOPED_TRACE("on-us text [" + text + "]");
        for (const int count : {1, 3, 6, 15}) {
            std::vector<std::uint64_t> bits(static_cast<std::size_t>(count), ~std::uint64_t{0});
            const int found = layout.cut(bits.data(), count);
            const auto [want, want_found] = sections_of(field, count);
            ASSERT_EQ(found, want_found) << count << " sections asked for";
            for (std::size_t i = 0; i < want.size(); ++i) {
                ASSERT_EQ(layout.text(bits[i]), want[i]) << "section " << i;
                const std::uint64_t inner = layout.without_outer_blanks(bits[i]);
                ASSERT_EQ(layout.text(inner), micr::trimmed(want[i])) << "section " << i << " without blanks";
                const micr::section_groups got = layout.groups(inner);
                const std::vector<std::string_view> groups = groups_of(want[i]);
                ASSERT_EQ(got.count, std::min<int>(static_cast<int>(groups.size()), 3)) << "section " << i;
                ASSERT_EQ(got.rightmost, groups.size() > 0 ? groups[0] : std::string_view()) << "section " << i;
                ASSERT_EQ(got.second, groups.size() > 1 ? groups[1] : std::string_view()) << "section " << i;
                ASSERT_EQ(got.leftmost, groups.size() > 2 ? groups.back() : std::string_view()) << "section " << i;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// count_digits

TEST(CountDigits, CountsOnlyZeroToNine) {
    const struct {
        const char* why;
        const char* text;
        int count;
    } rows[] = {
        {"digits, dash, blank, on-us symbol", "12d 3o", 3},
        {"empty text", "", 0},
        {"every digit", "0123456789", 10},
        {"neighbours of the digits in the code table", "/:", 0},
        {"bytes above 127 that are digits with the top bit cleared", "\xb0\xb5\xb9", 0},
        {"other bytes above 127", "\x80\xff", 0},
        {"unreadable mark and letters", "?adot", 0},
        {"digits among bytes above 127",
         "\xb1"
         "1\xff"
         "9",
         2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(micr::count_digits(exact_copy(row.text).get()), row.count);
    }
}

// ---------------------------------------------------------------------------
// set_subfield

TEST(SetSubfield, CopiesAndSetsTheStatus) {
    const std::string full(20, '7');  // the capacity of csn
    const struct {
        const char* why;
        std::string source;
        signed char status;
        std::string text;
    } rows[] = {
        {"digits", "1234", ST_OK, "1234"},
        {"empty source", "", ST_OK, ""},
        {"unreadable mark copied all the same", "12?4", ST_UNRECOG, "12?4"},
        {"unreadable mark alone", "?", ST_UNRECOG, "?"},
        {"unreadable mark as the last character", "1234?", ST_UNRECOG, "1234?"},
        {"blanks and dash symbols kept", " 1d2 ", ST_OK, " 1d2 "},
        {"exactly the capacity", full, ST_OK, full},
        // A text too long keeps its right-hand end, the part a scan meets first.
        {"one more than the capacity", "1" + full, ST_TOOLONG, full},
        {"far more than the capacity", "12345" + full, ST_TOOLONG, full},
        {"too long with the mark beyond the kept part", "?" + full, ST_TOOLONG, full},
        {"too long with the mark inside the kept part", full + "?", ST_TOOLONG, full.substr(1) + "?"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        micr_result r;
        std::memset(&r, '#', sizeof r);
        micr::set_subfield(row.source, r, micr::csn_field);
        EXPECT_EQ(r.csn_status, row.status);
        EXPECT_EQ(std::string(r.csn), row.text);
    }
}

// In the record, account is followed by the tpc status and csn by the transit
// status: a too-long copy must leave those alone.
TEST(SetSubfield, TooLongIntoTheRecordStaysInsideTheField) {
    const std::string source = "1234567890123456789012345";  // 25 characters, the longest on-us text
    for (const micr::field_index f : {micr::account_field, micr::csn_field, micr::tpc_field}) {
        const micr::field_def& def = micr::fields[f];
        SCOPED_TRACE(def.name);
        micr_result r;
        std::memset(&r, 0x5a, sizeof r);
        unsigned char before[sizeof(micr_result)];
        std::memcpy(before, &r, sizeof r);
        micr::set_subfield(source, r, f);
        EXPECT_EQ(micr::status_of(r, f), ST_TOOLONG);
        EXPECT_EQ(std::string(micr::text_of(r, f)), source.substr(source.size() - (def.width - 1)));
        const auto* base = reinterpret_cast<const unsigned char*>(&r);
        for (std::size_t i = 0; i < sizeof r; ++i) {
            if ((i >= def.text_offset && i < def.text_offset + def.width) || i == def.status_offset) continue;
            EXPECT_EQ(base[i], before[i]) << "record byte " << i << " outside the field changed";
        }
    }
}

// ---------------------------------------------------------------------------
// decimal_low_byte

TEST(DecimalLowByte, SignDigitsAndTheLowOrderByte) {
    // 10^8 = 2^8 * 5^8 is a multiple of 256, so the low-order byte of a
    // decimal number depends only on its last eight digits.
    constexpr long last_eight = 34567890;  // of 123456789012345678901234567890
    const auto low_byte = [](long v) { return static_cast<signed char>(static_cast<unsigned char>(v & 0xff)); };
    const struct {
        const char* why;
        const char* text;
        signed char value;
    } rows[] = {
        {"plus sign", "+2", 2},
        {"leading zero", "07", 7},
        {"digits end at the first other character", "6x", 6},
        {"above 127 wraps: 300 - 256", "300", 44},
        {"above 127 wraps to a negative: 200 - 256", "200", -56},
        {"minus one", "-1", -1},
        {"smallest byte", "-128", -128},
        {"128 wraps to the smallest byte", "128", -128},
        {"255", "255", -1},
        {"256 is a multiple of 256", "256", 0},
        {"-129 wraps to 127", "-129", 127},
        {"minus zero", "-0", 0},
        {"empty token", "", 0},
        {"sign without digits", "-", 0},
        {"plus without digits", "+", 0},
        {"two signs", "+-1", 0},
        {"letter first", "x5", 0},
        {"tab first: no skipping of white space", "\t5", 0},
        {"thirty digits", "123456789012345678901234567890", low_byte(last_eight)},
        {"thirty digits, negative", "-123456789012345678901234567890", low_byte(-last_eight)},
        {"ten to the 29th plus 300", "100000000000000000000000000300", 44},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(micr::decimal_low_byte(exact_copy(row.text).get()), row.value);
    }
}

}  // namespace
