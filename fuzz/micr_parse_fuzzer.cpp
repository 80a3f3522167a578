// Fuzz target: the reentrant entry micr_parse with a table loaded from bytes,
// against parse_micr_line with the same bytes as PARSE.DAT.
//
// Input: the bytes before the first line feed are a code line as printed
// (left to right); every byte after it is the exception table.  Without a
// line feed there is no table.
//
// Checks: micr_parse reads only its `length` bytes and refuses a NUL byte;
// with a table made from the bytes it gives exactly what parse_micr_line gives
// with those bytes as PARSE.DAT (for a line without blanks at its right-hand
// end, which micr_parse drops); without a table, exactly what parse_micr_line
// gives with an empty PARSE.DAT; a table made from bytes lists a problem for
// exactly the lines that make a search EX_INVALID; a salvage parse (MICR_SALVAGE)
// has the plain parse's status, and a line the plain parse completed comes
// out the same; an explained parse gives exactly micr_parse's record, and
// spans inside the line; the Check Detail Record's fields are their widths
// and of its characters; translating with the library's own convention
// changes only Unicode symbols, and never makes a line longer.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_checks.h"

namespace {

using micr_fuzz::require;

struct table_deleter {
    void operator()(micr_table* t) const { micr_table_free(t); }
};

// parse_micr_line on the line reversed, with `table` as PARSE.DAT.
micr_result parse_reversed(const char* line, std::size_t length, const std::uint8_t* table, std::size_t size) {
    micr_fuzz::write_table(table, size);
    std::unique_ptr<char[]> reversed(new char[length + 1]);
    for (std::size_t i = 0; i < length; ++i) reversed[i] = line[length - 1 - i];
    reversed[length] = '\0';
    return *parse_micr_line(reversed.get());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    micr_fuzz::enter_scratch_directory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto* line_feed = static_cast<const char*>(std::memchr(bytes, '\n', size));
    const std::size_t length = line_feed != nullptr ? static_cast<std::size_t>(line_feed - bytes) : size;
    const std::uint8_t* table_bytes = line_feed != nullptr ? data + length + 1 : data + size;
    const std::size_t table_size = line_feed != nullptr ? size - length - 1 : 0;

    std::unique_ptr<micr_table, table_deleter> table(
        micr_table_from_text(reinterpret_cast<const char*>(table_bytes), table_size));
    require(table != nullptr, "a table could not be made from bytes");

    // Exactly the line's bytes, no terminator: a read past them is caught.
    std::unique_ptr<char[]> line(new char[length > 0 ? length : 1]);
    std::memcpy(line.get(), bytes, length);
    micr_result with_table, without_table;
    const int status = micr_parse(table.get(), line.get(), length, 0, &with_table);
    micr_parse(nullptr, line.get(), length, 0, &without_table);
    require(std::memcmp(line.get(), bytes, length) == 0, "micr_parse changed its text");

    if (std::memchr(bytes, '\0', length) != nullptr) {
        require(status == MICR_PARSE_REFUSED, "a line with a NUL byte was parsed");
        return 0;
    }
    require(status == with_table.status, "micr_parse returned another status than it recorded");
    micr_fuzz::check_result(with_table);
    micr_fuzz::check_result(without_table);
    if (length > 0 && bytes[length - 1] == ' ') return 0;  // the two entries differ there by design

    const micr_result expected = parse_reversed(bytes, length, table_bytes, table_size);
    require(micr_fuzz::same_result(with_table, expected), "micr_parse with a loaded table differs from PARSE.DAT");
    require(micr_fuzz::same_result(without_table, parse_reversed(bytes, length, nullptr, 0)),
            "micr_parse without a table differs from an empty PARSE.DAT");

    micr_result salvaged;
    require(micr_parse(table.get(), line.get(), length, MICR_SALVAGE, &salvaged) == with_table.status,
            "a salvage parse has another status than the plain one");
    if (with_table.status == MICR_PARSE_COMPLETE)
        require(micr_fuzz::same_result(salvaged, with_table), "salvage changed a line the plain parse completed");
    require(salvaged.exception_state >= EX_NORMAL && salvaged.exception_state <= EX_INVALID,
            "salvage gave an exception state outside 0..3");
    micr_fuzz::check_fields(salvaged);

    micr_result explained;
    micr_explanation why;
    micr_parse_explained(table.get(), line.get(), length, 0, &explained, &why);
    require(std::memcmp(&explained, &with_table, sizeof explained) == 0, "an explained parse differs from micr_parse");
    for (const micr_span& span : {why.amount, why.on_us, why.transit, why.epc, why.auxiliary_on_us})
        require(span.start + span.length <= length, "a span reaches past the line");
    require(why.table_line == 0 || explained.exception_state == EX_USED, "a table line without a table entry applied");

    micr_x9_fields x9;
    require(micr_x9_fields_of(line.get(), length, 0, &x9) >= 0,
            "a line micr_parse takes was refused for its X9 fields");
    const auto x9_text = [](const char* text, std::size_t width, const char* allowed) {
        return std::strlen(text) == width && std::strspn(text, allowed) == width;
    };
    require(x9_text(x9.auxiliary_on_us, 15, "0123456789 -*") && x9_text(x9.on_us, 20, "0123456789 -*/") &&
                x9_text(x9.amount, 10, "0123456789 ") && x9_text(x9.routing, 8, "0123456789 ") &&
                x9.micr_valid >= '1' && x9.micr_valid <= '4',
            "an X9 field of the wrong width or with a character the record does not hold");

    std::unique_ptr<char[]> letters(new char[length + 1]);
    const long translated = micr_translate(nullptr, line.get(), length, letters.get(), length + 1);
    require(translated >= 0 && static_cast<std::size_t>(translated) <= length, "translation made a line longer");
    if (std::memchr(bytes, '\xe2', length) == nullptr)
        require(static_cast<std::size_t>(translated) == length && std::memcmp(letters.get(), bytes, length) == 0,
                "the library's own convention changed a line without Unicode symbols");

    // A malformed line, reached by every search, is listed as a problem.
    if (expected.status == 0 && expected.exception_state == EX_INVALID)
        require(micr_table_problem_count(table.get()) > 0, "EX_INVALID from a table without problems");
    if (micr_table_problem_count(table.get()) == 0)
        require(expected.exception_state != EX_INVALID, "a table without problems gave EX_INVALID");
    return 0;
}
