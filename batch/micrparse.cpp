// micrparse: parses MICR code lines in bulk.  Reads lines in reading order
// from the named files or standard input and writes one record per line on
// standard output, as JSON Lines or CSV.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batch_run.h"
#include "options.h"
#include "stop_signals.h"
#include "table.h"
#include "table_warnings.h"

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
    "  --check-table=FILE  only check the exception table FILE, and read no\n"
    "                      input: report its malformed lines, and warn of\n"
    "                      entries that can never apply\n"
    "  --explain           add split_by: what split the on-us field\n"
    "  --directory=FILE    add bank: the bank of the routing number, from the\n"
    "                      routing directory FILE (FedACH or Fedwire layout)\n"
    "  --check-directory=FILE\n"
    "                      only check the routing directory FILE: report its\n"
    "                      problems and read no input\n"
    "  --x9                add x9: the MICR fields of an image-exchange Check\n"
    "                      Detail Record\n"
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
    "  --jobs=N            parse on N threads, from 1 to %u (the default: one for\n"
    "                      each CPU micrparse may run on); the output is the\n"
    "                      same for every N\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Without --table or --no-table the exception table is ./PARSE.DAT when it\n"
    "exists, and none otherwise.  The table and the directory are loaded once;\n"
    "one that cannot be loaded, or that has problems (reported as FILE:LINE:\n"
    "message), stops micrparse before it writes anything.  A table's warnings\n"
    "(FILE:LINE: warning: message) are shown once, and the table is used.\n"
    "--check-table and --check-directory take no other option and no input file.\n"
    "\n"
    "Each record holds the file name, the line number, the MICR line, status,\n"
    "exception_state, unrecognized_symbols, and the text and status name of\n"
    "amount, account, tpc, csn, transit, epc, onus and auxonus, then\n"
    "amount_cents, transit_form (aba, canadian or dash), routing_repair and\n"
    "eft_routing; then, as asked, split_by (table_line, account, csn, tpc; null\n"
    "when no split ran), bank (name, city, state, new_routing; null when the\n"
    "directory does not list an OK nine-digit transit) and x9 (auxiliary_on_us,\n"
    "epc, routing, check_digit, on_us, amount, micr_valid, unusable).  In CSV\n"
    "each of these three is a column per member: split_table_line, ...,\n"
    "bank_name, ..., x9_auxiliary_on_us, ...; x9_unusable joined by '|'.  A line\n"
    "that cannot be parsed (longer than %zu bytes, holding a NUL byte, or not\n"
    "UTF-8 with --encoding=utf8) gives a record with an error instead.  A UTF-8\n"
    "byte-order mark that begins an input is not parsed.\n"
    "\n"
    "Records are written in blocks, and whenever the input has nothing more\n"
    "waiting; to a terminal, one by one.  On SIGINT, SIGTERM or SIGHUP the\n"
    "records of the lines read so far are written, then micrparse dies by the\n"
    "signal.\n"
    "\n"
    "Exit status: 0 when every input was read and every record written; 1 when\n"
    "an input could not be opened or read, the table or the directory cannot be\n"
    "used, output could not be written, or an option is wrong.  --check-table: 0\n"
    "for a clean table, 1 with problems or when it cannot be read, 2 with\n"
    "warnings alone; --check-directory: 0 without problems, 1 with.\n";

constexpr const char* default_table = micr::default_table_name;

int bad_usage(const std::string& message) {
    std::fprintf(stderr, "micrparse: %s\nTry 'micrparse --help' for more information.\n", message.c_str());
    return 1;
}

int write_error(int error) {
    std::fprintf(stderr, "micrparse: error writing standard output: %s\n", std::strerror(error));
    return 1;
}

struct table_deleter {
    void operator()(micr_table* table) const { micr_table_free(table); }
};
using table_handle = std::unique_ptr<micr_table, table_deleter>;

void cannot_open_table(const char* path, const char* reason) {
    std::fprintf(stderr, "micrparse: cannot open table '%s': %s\n", path, reason);
}

// What a table file says of itself.
struct table_report {
    std::size_t problems = 0;
    std::size_t warnings = 0;
};

// The table in `bytes`, the whole of the file `path`, with its malformed
// lines (FILE:LINE: message) and its warnings (FILE:LINE: warning: message)
// said on stderr in line order.  Null when it could not be made, said too.
table_handle examined_table(const char* path, const std::string& bytes, table_report& report) {
    table_handle table(micr_table_from_text(bytes.data(), bytes.size()));
    if (table == nullptr) {
        cannot_open_table(path, std::strerror(errno));
        return nullptr;
    }
    std::vector<micr::batch::table_warning> warnings;
    try {
        warnings = micr::batch::table_warnings(bytes);
    } catch (const std::bad_alloc&) {
        cannot_open_table(path, std::strerror(ENOMEM));
        return nullptr;
    }
    report.problems = micr_table_problem_count(table.get());
    report.warnings = warnings.size();
    std::size_t problem = 0;
    // Problems and warnings in line order; at one line, the problem first.
    auto problems_up_to = [&](long last) {
        for (; problem < report.problems && micr_table_problem_line(table.get(), problem) <= last; ++problem)
            std::fprintf(stderr, "%s:%ld: %s\n", path, micr_table_problem_line(table.get(), problem),
                         micr_table_problem_message(table.get(), problem));
    };
    for (const micr::batch::table_warning& warning : warnings) {
        problems_up_to(warning.line);
        std::fprintf(stderr, "%s:%ld: warning: %s\n", path, warning.line, warning.message.c_str());
    }
    problems_up_to(std::numeric_limits<long>::max());
    return table;
}

struct directory_deleter {
    void operator()(micr_directory* directory) const { micr_directory_free(directory); }
};
using directory_handle = std::unique_ptr<micr_directory, directory_deleter>;

// The routing directory at `path`, kept when it has no problems; otherwise
// says why on stderr, every problem, and returns null.
directory_handle checked_directory(const char* path) {
    directory_handle directory(micr_directory_open(path));
    if (directory == nullptr) {
        std::fprintf(stderr, "micrparse: cannot open directory '%s': %s\n", path, std::strerror(errno));
        return nullptr;
    }
    const std::size_t problems = micr_directory_problem_count(directory.get());
    for (std::size_t i = 0; i < problems; ++i)
        std::fprintf(stderr, "%s:%ld: %s\n", path, micr_directory_problem_line(directory.get(), i),
                     micr_directory_problem_message(directory.get(), i));
    if (problems > 0) return nullptr;
    return directory;
}

// The table of the file `path`, read whole, said on stderr as
// examined_table does; null when it cannot be read or made.
table_handle read_table_file(const char* path, table_report& report) {
    std::string bytes;
    if (!micr::read_whole_file(path, bytes)) {
        cannot_open_table(path, std::strerror(errno));
        return nullptr;
    }
    return examined_table(path, bytes, report);
}

// The exit status of --check-table: 0 for a clean table, 1 with problems or
// when it cannot be read, 2 with warnings alone.
int check_table(const char* path) {
    table_report report;
    if (read_table_file(path, report) == nullptr || report.problems > 0) return 1;
    return report.warnings > 0 ? 2 : 0;
}

// A table to parse with: kept when it has no malformed lines.
table_handle usable(table_handle table, const table_report& report) {
    return report.problems == 0 ? std::move(table) : nullptr;
}

// ./PARSE.DAT, which nobody named, must be a regular file: a FIFO there would
// stop micrparse waiting for a writer nobody meant to start.  It is opened
// once, without waiting, and read from the descriptor that was looked at.
// Only a name that does not exist means no table; a link to nothing is an
// error.  False when the table cannot be used, said on stderr.
bool load_default_table(table_handle& table) {
    char unused[1];  // the table is read whole, past the source's buffering
    micr::text_source source;
    if (!micr::open_text_source(source, default_table, unused, sizeof unused, micr::open_mode::regular_only)) {
        const int error = errno;
        struct stat info {};
        if (error == ENOENT && ::lstat(default_table, &info) != 0 && errno == ENOENT) return true;
        cannot_open_table(default_table, error == EINVAL ? "not a regular file" : std::strerror(error));
        return false;
    }
    std::string bytes;
    const bool read = micr::read_capped(source, bytes);
    const int error = errno;
    micr::close_text_source(source);
    if (!read) {
        cannot_open_table(default_table, std::strerror(error));
        return false;
    }
    table_report report;
    table = usable(examined_table(default_table, bytes, report), report);
    return table != nullptr;
}

// The table of the run, loaded once, before anything is read or written.
// False when it cannot be used, said on stderr.
bool choose_table(const micr::batch::options& opt, table_handle& table) {
    if (opt.table != nullptr) {
        table_report report;
        table = usable(read_table_file(opt.table, report), report);
        return table != nullptr;
    }
    return opt.no_table || load_default_table(table);
}

// Whether `name` is a regular file, the one kind of input whose opening never waits.
bool regular_file(const char* name) {
    struct stat info {};
    return ::stat(name, &info) == 0 && S_ISREG(info.st_mode);
}

// The CPUs this process may run on (its affinity mask), at least 1 and at
// most max_jobs.
unsigned usable_cpus() {
    // A set that is too small for the kernel's is refused with EINVAL.
    for (std::size_t cpus = CPU_SETSIZE; cpus <= (std::size_t{1} << 20); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (set == nullptr) break;
        const std::size_t size = CPU_ALLOC_SIZE(cpus);
        const bool known = ::sched_getaffinity(0, size, set) == 0;
        const int count = known ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (known) return static_cast<unsigned>(std::clamp(count, 1, static_cast<int>(micr::batch::max_jobs)));
        if (errno != EINVAL) break;
    }
    return 1;
}

// Reads each input in turn and writes its records on standard output;
// returns the exit status.  A stop signal ends the run once the records of
// the lines parsed so far are written: micrparse then dies by it.
int read_inputs(const micr::batch::options& opt, const micr_table* table, const micr_directory* directory) {
    micr::batch::catch_stop_signals();
    micr::batch::record_output out(STDOUT_FILENO, ::isatty(STDOUT_FILENO) == 1,
                                   opt.jobs != 0 ? opt.jobs : usable_cpus());
    // Every way out: no parsing thread outlives the run, and a stop signal
    // that came outweighs any exit status.
    auto finish = [&out](int status) {
        out.finish();
        if (const int signal = micr::batch::stop_signal(); signal != 0) micr::batch::die_by(signal);
        return status;
    };
    auto write_failed = [&] { return finish(write_error(out.error())); };
    const micr::batch::record_options carried{opt.explain, directory, opt.x9};
    micr::batch::record_writer writer(opt.format, opt.line.encoding, carried);
    if (opt.format == micr::batch::output_format::csv && !out.add(micr::batch::csv_header(carried)))
        return write_failed();

    static char read_buffer[1 << 16];
    int exit_status = 0;
    bool standard_input_read = false;
    for (const char* name : opt.files) {
        if (micr::batch::stop_signal() != 0) break;
        micr::text_source input;
        const bool standard_input = std::strcmp(name, "-") == 0;
        if (standard_input) {
            // Named again, standard input is at its end: it is not read twice.
            if (std::exchange(standard_input_read, true)) continue;
            micr::fd_text_source(input, STDIN_FILENO, read_buffer, sizeof read_buffer);
        } else {
            bool opened;
            if (regular_file(name)) {
                opened = micr::open_text_source(input, name, read_buffer, sizeof read_buffer);
            } else {
                // Opening a FIFO waits for its writer: the records so far go out first.
                if (!out.flush()) return write_failed();
                const micr::batch::nothing_held idle;
                opened = micr::open_text_source(input, name, read_buffer, sizeof read_buffer);
            }
            if (!opened) {
                const int error = errno;
                if (!out.flush()) return write_failed();  // records of earlier inputs come first
                std::fprintf(stderr, "micrparse: cannot open '%s': %s\n", name, std::strerror(error));
                exit_status = 1;
                continue;
            }
        }
        // Every byte is a character of the line: a Ctrl-Z must not drop what follows it.
        input.ctrl_z_ends = false;
        micr::batch::waiting_reader waiting(input.fd, out);
        input.reader = waiting.reader();
        writer.set_file(name);
        const micr::batch::input_summary summary = micr::batch::write_records(input, table, opt.line, writer, out);
        if (!standard_input) micr::close_text_source(input);  // standard input stays open
        if (summary.write_failed) return write_failed();
        if (summary.stopped) break;
        if (summary.read_error != 0) {
            if (!out.flush()) return write_failed();
            std::fprintf(stderr, "micrparse: error reading '%s': %s\n", name, std::strerror(summary.read_error));
            exit_status = 1;
        }
    }
    if (!out.flush()) return write_failed();
    return finish(exit_status);
}

// The exit status once the help or the version is written.
int shown() { return std::fflush(stdout) == 0 ? 0 : write_error(errno); }

}  // namespace

int main(int argc, char** argv) {
    using request = micr::batch::command_line::request;
    const micr::batch::command_line line = micr::batch::parse_options(argc, argv);
    switch (line.what) {
        case request::help:
            std::printf(usage_text, micr::batch::max_jobs, micr::batch::max_line_length);
            return shown();
        case request::version: std::fputs("micrparse (micr) " MICR_VERSION "\n", stdout); return shown();
        case request::bad_usage: return bad_usage(line.error);
        case request::run: break;
    }
    const micr::batch::options& opt = line.opt;
    if (opt.check_table != nullptr) return check_table(opt.check_table);
    if (opt.check_directory != nullptr) return checked_directory(opt.check_directory) ? 0 : 1;
    table_handle table;
    if (!choose_table(opt, table)) return 1;
    directory_handle directory;
    if (opt.directory != nullptr && !(directory = checked_directory(opt.directory))) return 1;
    return read_inputs(opt, table.get(), directory.get());
}
