// Fuzz target: the line parser, the default on-us split and the exception
// table, on arbitrary bytes.
//
// Input: the bytes before the first line feed are the reversed MICR text (the
// parser sees them up to their first NUL).  When a line feed follows, every
// byte after it is written to PARSE.DAT; without one there is no PARSE.DAT.
// So the first line of a corpus file is a MICR line as the parser receives
// it, right-hand end first, and the lines after it are the exception table.
#include <cstring>
#include <memory>

#include "fuzz_checks.h"
#include "parse_steps.h"

namespace {

using micr_fuzz::require;

// A complete line that fills every text buffer of the record to the brim, so
// that a later parse shows whether it depends on what an earlier one left.
constexpr char filling_line[] = "a6543210987654321a 5432109876543210d98765432t087654321t 5 o1d2345678901234567890o";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    micr_fuzz::enter_scratch_directory();
    micr_fuzz::remove_table();
    const micr_result& filled = *parse_micr_line(filling_line);
    require(filled.status == 0 && std::strlen(filled.onus) == 25 && std::strlen(filled.auxonus) == 21,
            "the filling line no longer fills the record");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto* line_feed = static_cast<const char*>(std::memchr(bytes, '\n', size));
    const std::size_t text_bytes = line_feed != nullptr ? static_cast<std::size_t>(line_feed - bytes) : size;
    const std::size_t text_length = strnlen(bytes, text_bytes);

    if (line_feed != nullptr)
        micr_fuzz::write_table(data + text_bytes + 1, size - text_bytes - 1);
    else
        micr_fuzz::remove_table();

    // Exactly the text and its terminator: a read past the end is caught.
    std::unique_ptr<char[]> text(new char[text_length + 1]);
    std::memcpy(text.get(), bytes, text_length);
    text[text_length] = '\0';

    const micr_result first = *parse_micr_line(text.get());
    require(std::memcmp(text.get(), bytes, text_length) == 0 && text[text_length] == '\0',
            "the parser changed its text");
    micr_fuzz::check_result(first);
    const bool has_mark = std::memchr(text.get(), '?', text_length) != nullptr;
    require(first.unrecognized_symbols == (has_mark ? 1 : 0), "unrecognized_symbols disagrees with the text");
    if (first.status == 0)
        require((first.exception_state == EX_OPEN_ERR) == (line_feed == nullptr),
                "EX_OPEN_ERR does not tell whether PARSE.DAT exists");

    // The same text parsed again gives the same result, whatever an earlier
    // parse left in the parser's buffers and behind the terminators of the
    // record's texts (a reset clears only their first bytes).
    micr_fuzz::check_result(*parse_micr_line(filling_line));
    for (const char leftover : {'7', 'd'}) {
        // The record is the parser's own static one; writing it is what a
        // careless caller could do between two parses.
        std::memset(const_cast<micr_result*>(parse_micr_line("")), leftover, sizeof(micr_result));
        require(micr_fuzz::same_result(first, *parse_micr_line(text.get())),
                "a parse depends on what the one before it left");
    }
    return 0;
}
