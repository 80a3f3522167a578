#include "batch_run.h"

#include <algorithm>
#include <string>

namespace micr::batch {
namespace {

void write_text(const std::string& text, std::FILE* out) { std::fwrite(text.data(), 1, text.size(), out); }

}  // namespace

long write_records(text_source& input, std::string_view name, output_format format, std::FILE* out) {
    // One line as read, and the same line reversed for the parser, which reads
    // the code line from its right-hand end.
    static char line[max_line_length + 1];
    static char reversed[max_line_length + 1];
    static const std::string too_long = "line longer than " + std::to_string(max_line_length) + " characters";

    text_line info;
    long number = 0;
    while (read_text_line(input, line, sizeof line, info)) {
        const line_origin origin{name, ++number};
        if (info.too_long) {
            write_text(format_error(format, origin, too_long), out);
        } else if (info.has_nul) {
            // The parser takes NUL-terminated text: it would see only part of the line.
            write_text(format_error(format, origin, "line holds a NUL byte"), out);
        } else {
            std::reverse_copy(line, line + info.length, reversed);
            reversed[info.length] = '\0';
            const micr_result* result = parse_micr_line(reversed);
            write_text(format_record(format, origin, std::string_view(line, info.length), *result), out);
        }
    }
    return number;
}

}  // namespace micr::batch
