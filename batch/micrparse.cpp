// micrparse: parses MICR code lines in bulk.  Reads lines in reading order
// from the named files or standard input and writes one record per line on
// standard output, as JSON Lines or CSV.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "batch_run.h"

namespace {

constexpr const char* usage_text =
    "Usage: micrparse [OPTION]... [FILE]...\n"
    "Parse MICR code lines, one per line as printed (left to right), from each\n"
    "FILE in turn, or from standard input when no FILE is given or FILE is -,\n"
    "and write one record per input line, in order, on standard output.\n"
    "\n"
    "  --format=FORMAT  jsonl: one JSON object per line (the default);\n"
    "                   csv: a header row, then one row per line\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Each record holds the file name, the line number, the MICR line, status,\n"
    "exception_state, unrecognized_symbols, and the text and status name of\n"
    "amount, account, tpc, csn, transit, epc, onus and auxonus.  A line that\n"
    "cannot be parsed (longer than %zu characters, or holding a NUL byte)\n"
    "gives a record with an error instead.  The exception table PARSE.DAT is\n"
    "read from the current directory.\n"
    "\n"
    "Exit status: 0 when every input was read, 1 when an input could not be\n"
    "opened or an option is wrong.\n";

int bad_usage(const std::string& message) {
    std::fprintf(stderr, "micrparse: %s\nTry 'micrparse --help' for more information.\n", message.c_str());
    return 1;
}

bool set_format(std::string_view name, micr::batch::output_format& format) {
    if (name == "jsonl" || name == "json") {
        format = micr::batch::output_format::json_lines;
    } else if (name == "csv") {
        format = micr::batch::output_format::csv;
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using micr::batch::output_format;

    output_format format = output_format::json_lines;
    std::vector<const char*> files;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            files.push_back(argv[i]);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-h" || arg == "--help") {
            std::printf(usage_text, micr::batch::max_line_length);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (arg == "--version") {
            std::fputs("micrparse (micr) " MICR_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (arg == "--format" || arg.starts_with("--format=")) {
            std::string_view value;
            if (arg == "--format") {
                if (i + 1 == argc) return bad_usage("option '--format' needs a value: jsonl or csv");
                value = argv[++i];
            } else {
                value = arg.substr(std::strlen("--format="));
            }
            if (!set_format(value, format))
                return bad_usage("unknown format '" + std::string(value) + "' (use jsonl or csv)");
        } else {
            return bad_usage("unknown option '" + std::string(arg) + "'");
        }
    }
    if (files.empty()) files.push_back("-");

    // One large buffer: records go out in blocks, not line by line.
    static char output_buffer[1 << 16];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    if (format == output_format::csv) {
        const std::string header = micr::batch::csv_header();
        std::fwrite(header.data(), 1, header.size(), stdout);
    }

    static char read_buffer[1 << 16];
    int exit_status = 0;
    for (const char* name : files) {
        micr::text_source input;
        if (std::strcmp(name, "-") == 0) {
            micr::fd_text_source(input, STDIN_FILENO, read_buffer, sizeof read_buffer);
            micr::batch::write_records(input, name, format, stdout);
            continue;  // standard input stays open
        }
        errno = 0;
        if (!micr::open_text_source(input, name, read_buffer, sizeof read_buffer)) {
            // A directory opens but is refused afterwards, without an errno of its own.
            const int error = errno != 0 ? errno : EISDIR;
            std::fflush(stdout);  // records of earlier inputs come first
            std::fprintf(stderr, "micrparse: cannot open '%s': %s\n", name, std::strerror(error));
            exit_status = 1;
            continue;
        }
        micr::batch::write_records(input, name, format, stdout);
        micr::close_text_source(input);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "micrparse: error writing standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return exit_status;
}
