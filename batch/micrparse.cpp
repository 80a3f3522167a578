// micrparse: parses MICR code lines in bulk.  Reads lines in reading order
// from the named files or standard input and writes one record per line on
// standard output, as JSON Lines or CSV.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "batch_run.h"

namespace {

constexpr const char* usage_text =
    "Usage: micrparse [OPTION]... [FILE]...\n"
    "Parse MICR code lines, one per line as printed (left to right), from each\n"
    "FILE in turn, or from standard input when no FILE is given or FILE is -,\n"
    "and write one record per input line, in order, on standard output.\n"
    "\n"
    "  --format=FORMAT     jsonl: one JSON object per line (the default);\n"
    "                      csv: a header row, then one row per line\n"
    "  --table=FILE        split on-us fields by the exception table FILE\n"
    "  --no-table          use no exception table, not even ./PARSE.DAT\n"
    "  --check-table=FILE  only check the exception table FILE: report its\n"
    "                      malformed lines and read no input\n"
    "  --symbols=SYMBOLS   how the reader writes the symbols: default (t o a d,\n"
    "                      ? unreadable), TOAD (T O A D, !), bcd (d c b -, !), or\n"
    "                      six characters for transit, on-us, amount, dash,\n"
    "                      unreadable mark and blank; the Unicode symbols\n"
    "                      U+2446 to U+2449 are always recognised\n"
    "  --encoding=ENCODING latin1: each byte of the line and the file name is\n"
    "                      written as the character of its value (the default);\n"
    "                      utf8: they are UTF-8 text, and a line that is not\n"
    "                      valid UTF-8 gives an error record\n"
    "  --salvage           read on past a field that cannot be used, where its\n"
    "                      closing symbol allows, and split the on-us field\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Without --table or --no-table the exception table is ./PARSE.DAT when it\n"
    "exists, and none otherwise.  The table is loaded once; a table that cannot\n"
    "be loaded, or that has malformed lines (reported as FILE:LINE: message),\n"
    "stops micrparse before it writes anything.\n"
    "\n"
    "Each record holds the file name, the line number, the MICR line, status,\n"
    "exception_state, unrecognized_symbols, and the text and status name of\n"
    "amount, account, tpc, csn, transit, epc, onus and auxonus, then\n"
    "amount_cents, transit_form (aba or canadian) and routing_repair.  A line\n"
    "that cannot be parsed (longer than %zu characters, holding a NUL byte, or\n"
    "not UTF-8 with --encoding=utf8) gives a record with an error instead.\n"
    "\n"
    "Exit status: 0 when every input was read and every record written; 1 when\n"
    "an input could not be opened or read, the table cannot be used, output\n"
    "could not be written, or an option is wrong.\n";

constexpr const char* default_table = "PARSE.DAT";

int bad_usage(const std::string& message) {
    std::fprintf(stderr, "micrparse: %s\nTry 'micrparse --help' for more information.\n", message.c_str());
    return 1;
}

struct table_deleter {
    void operator()(micr_table* table) const { micr_table_free(table); }
};
using table_handle = std::unique_ptr<micr_table, table_deleter>;

// Reader conventions by name, in micr_translate's order: transit, on-us,
// amount, dash, unreadable mark, blank.
struct convention {
    const char* name;
    const char* symbols;
};
constexpr convention conventions[] = {{"default", nullptr}, {"TOAD", "TOAD! "}, {"bcd", "dcb-! "}};

bool set_symbols(std::string_view value, const char*& symbols) {
    for (const convention& c : conventions)
        if (value == c.name) {
            symbols = c.symbols;  // null: the library's own
            return true;
        }
    char probe[1];
    if (value.size() != 6 || micr_translate(value.data(), "", 0, probe, sizeof probe) != 0) return false;
    symbols = value.data();
    return true;
}

struct options {
    micr::batch::output_format format = micr::batch::output_format::json_lines;
    micr::batch::line_options line;
    const char* table = nullptr;  // --table
    bool no_table = false;
    const char* check_table = nullptr;
    std::vector<const char*> files;
};

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

// Loads a table; on failure says why on stderr and returns null.  Every
// malformed line is reported, and the table is refused.
table_handle load_table(const char* path) {
    table_handle table(micr_table_open(path));
    if (table == nullptr) {
        std::fprintf(stderr, "micrparse: cannot open table '%s': %s\n", path, std::strerror(errno));
        return nullptr;
    }
    const std::size_t problems = micr_table_problem_count(table.get());
    for (std::size_t i = 0; i < problems; ++i)
        std::fprintf(stderr, "%s:%ld: %s\n", path, micr_table_problem_line(table.get(), i),
                     micr_table_problem_message(table.get(), i));
    if (problems > 0) return nullptr;
    return table;
}

int write_error() {
    std::fprintf(stderr, "micrparse: error writing standard output: %s\n", std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    options opt;
    bool options_ended = false;
    // Takes the value of an option given as --name=VALUE or --name VALUE.
    auto value_of = [&](int& i, std::string_view arg, std::string_view name, const char*& value) {
        if (arg == name) {
            if (i + 1 == argc) return false;
            value = argv[++i];
        } else {
            value = argv[i] + name.size() + 1;
        }
        return true;
    };
    auto is_option = [](std::string_view arg, std::string_view name) {
        return arg == name || (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = nullptr;
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            opt.files.push_back(argv[i]);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-h" || arg == "--help") {
            std::printf(usage_text, micr::batch::max_line_length);
            return std::fflush(stdout) == 0 ? 0 : write_error();
        } else if (arg == "--version") {
            std::fputs("micrparse (micr) " MICR_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : write_error();
        } else if (is_option(arg, "--format")) {
            if (!value_of(i, arg, "--format", value)) return bad_usage("option '--format' needs a value: jsonl or csv");
            if (!set_format(value, opt.format))
                return bad_usage("unknown format '" + std::string(value) + "' (use jsonl or csv)");
        } else if (is_option(arg, "--table")) {
            if (!value_of(i, arg, "--table", value)) return bad_usage("option '--table' needs a file name");
            opt.table = value;
        } else if (is_option(arg, "--check-table")) {
            if (!value_of(i, arg, "--check-table", value)) return bad_usage("option '--check-table' needs a file name");
            opt.check_table = value;
        } else if (arg == "--no-table") {
            opt.no_table = true;
        } else if (is_option(arg, "--symbols")) {
            if (!value_of(i, arg, "--symbols", value))
                return bad_usage("option '--symbols' needs a value: default, TOAD, bcd or six characters");
            if (!set_symbols(value, opt.line.symbols))
                return bad_usage(
                    "unknown symbols '" + std::string(value) +
                    "' (use default, TOAD, bcd or six distinct characters, no digit, a space only as the blank)");
        } else if (is_option(arg, "--encoding")) {
            if (!value_of(i, arg, "--encoding", value))
                return bad_usage("option '--encoding' needs a value: latin1 or utf8");
            if (std::string_view(value) == "latin1")
                opt.line.encoding = micr::batch::text_encoding::latin1;
            else if (std::string_view(value) == "utf8")
                opt.line.encoding = micr::batch::text_encoding::utf8;
            else
                return bad_usage("unknown encoding '" + std::string(value) + "' (use latin1 or utf8)");
        } else if (arg == "--salvage") {
            opt.line.flags |= MICR_SALVAGE;
        } else {
            return bad_usage("unknown option '" + std::string(arg) + "'");
        }
    }
    if (opt.table != nullptr && opt.no_table) return bad_usage("--table and --no-table exclude each other");

    if (opt.check_table != nullptr) return load_table(opt.check_table) != nullptr ? 0 : 1;

    // The table is loaded once, before anything is read or written.
    table_handle table;
    struct stat info {};
    const char* table_path = opt.table != nullptr
                                 ? opt.table
                                 : (!opt.no_table && ::lstat(default_table, &info) == 0 ? default_table : nullptr);
    // The table nobody named must be a regular file: a FIFO there would stop
    // micrparse waiting for a writer nobody meant to start.
    if (table_path == default_table) {
        const char* reason = nullptr;
        if (::stat(default_table, &info) != 0)
            reason = std::strerror(errno);  // a link to nothing, say
        else if (S_ISDIR(info.st_mode))
            reason = std::strerror(EISDIR);
        else if (!S_ISREG(info.st_mode))
            reason = "not a regular file";
        if (reason != nullptr) {
            std::fprintf(stderr, "micrparse: cannot open table '%s': %s\n", default_table, reason);
            return 1;
        }
    }
    if (table_path != nullptr) {
        table = load_table(table_path);
        if (table == nullptr) return 1;
    }

    if (opt.files.empty()) opt.files.push_back("-");

    // One large buffer: records go out in blocks, not line by line.
    static char output_buffer[1 << 16];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    micr::batch::record_writer writer(opt.format, opt.line.encoding);
    if (opt.format == micr::batch::output_format::csv) {
        const std::string header = micr::batch::csv_header();
        if (std::fwrite(header.data(), 1, header.size(), stdout) != header.size()) return write_error();
    }

    static char read_buffer[1 << 16];
    int exit_status = 0;
    for (const char* name : opt.files) {
        micr::text_source input;
        const bool standard_input = std::strcmp(name, "-") == 0;
        if (standard_input) {
            micr::fd_text_source(input, STDIN_FILENO, read_buffer, sizeof read_buffer);
        } else if (!micr::open_text_source(input, name, read_buffer, sizeof read_buffer)) {
            const int error = errno;
            std::fflush(stdout);  // records of earlier inputs come first
            std::fprintf(stderr, "micrparse: cannot open '%s': %s\n", name, std::strerror(error));
            exit_status = 1;
            continue;
        }
        writer.set_file(name);
        const micr::batch::input_summary summary =
            micr::batch::write_records(input, table.get(), opt.line, writer, stdout);
        if (!standard_input) micr::close_text_source(input);  // standard input stays open
        if (summary.write_failed) return write_error();
        if (summary.read_error != 0) {
            std::fflush(stdout);
            std::fprintf(stderr, "micrparse: error reading '%s': %s\n", name, std::strerror(summary.read_error));
            exit_status = 1;
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return write_error();
    return exit_status;
}
