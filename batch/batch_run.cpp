#include "batch_run.h"

#include <cstring>
#include <string>
#include <vector>

#include "utf8.h"

namespace micr::batch {
namespace {

// Records are collected and handed to the stream in blocks of about this size.
constexpr std::size_t block_size = 1 << 18;

}  // namespace

input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, std::FILE* out) {
    static const std::string too_long = "line longer than " + std::to_string(max_line_length) + " characters";
    static const std::string_view holds_nul = "line holds a NUL byte";
    static const std::string_view not_utf8 = "line is not valid UTF-8";
    // The library's own letters need no rewriting unless a Unicode symbol
    // (UTF-8, lead byte E2) may stand in the line.
    const bool own_letters = options.symbols == nullptr;
    constexpr char unicode_lead = '\xE2';
    char letters[max_line_length + 1];
    char line[max_line_length + 1];
    // Room for a block and one record of the longest line beyond it.
    const std::size_t room = block_size + writer.record_bound(max_line_length + too_long.size());
    std::vector<char> block(room);
    char* const start = block.data();
    char* end = start;
    auto flush = [&] {
        const std::size_t size = static_cast<std::size_t>(end - start);
        end = start;
        return size == 0 || std::fwrite(start, 1, size, out) == size;
    };

    input_summary summary;
    text_line info;
    parsed_line parsed;
    while (read_text_line(input, line, sizeof line, info)) {
        const long number = ++summary.lines;
        const std::string_view as_read(line, info.length);
        if (info.too_long) {
            end = writer.write_error(end, number, too_long);
        } else if (options.encoding == text_encoding::utf8 && !valid_utf8(as_read)) {
            end = writer.write_error(end, number, not_utf8);
        } else {
            const char* text = line;
            std::size_t length = info.length;
            if (!own_letters || std::memchr(line, unicode_lead, length) != nullptr) {
                // Never longer than the line, so the room always suffices.
                length =
                    static_cast<std::size_t>(micr_translate(options.symbols, line, length, letters, sizeof letters));
                text = letters;
            }
            if (writer.parse(table, {text, length}, options.flags, parsed) == MICR_PARSE_REFUSED)
                end = writer.write_error(end, number, holds_nul);  // the one refusal a line can cause
            else
                end = writer.write_record(end, number, as_read, parsed);
        }
        if (static_cast<std::size_t>(end - start) >= block_size && !flush()) {
            summary.write_failed = true;
            return summary;
        }
    }
    summary.write_failed = !flush();
    summary.read_error = input.error;
    return summary;
}

}  // namespace micr::batch
