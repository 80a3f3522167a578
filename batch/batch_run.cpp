#include "batch_run.h"

#include <string>

namespace micr::batch {
namespace {

// Records are collected and handed to the stream in blocks of about this size.
constexpr std::size_t block_size = 1 << 16;

bool write_block(std::string& block, std::FILE* out) {
    const bool written = block.empty() || std::fwrite(block.data(), 1, block.size(), out) == block.size();
    block.clear();
    return written;
}

}  // namespace

input_summary write_records(text_source& input, const micr_table* table, unsigned flags,
                            const record_writer& writer, std::FILE* out) {
    static const std::string too_long = "line longer than " + std::to_string(max_line_length) + " characters";
    // Every byte is a character of the line: a Ctrl-Z must not drop what follows it.
    input.ctrl_z_ends = false;
    char line[max_line_length + 1];
    std::string block;
    block.reserve(block_size + 4096);
    input_summary summary;
    text_line info;
    while (read_text_line(input, line, sizeof line, info)) {
        const long number = ++summary.lines;
        micr_result result;
        if (info.too_long)
            writer.append_error(block, number, too_long);
        else if (micr_parse(table, line, info.length, flags, &result) == MICR_PARSE_REFUSED)
            writer.append_error(block, number, "line holds a NUL byte");  // the one refusal a line can cause
        else
            writer.append_record(block, number, std::string_view(line, info.length), result);
        if (block.size() >= block_size && !write_block(block, out)) {
            summary.write_failed = true;
            return summary;
        }
    }
    summary.write_failed = !write_block(block, out);
    summary.read_error = input.error;
    return summary;
}

}  // namespace micr::batch
