// micrtest: runs the MICR parser over test-case files and prints the
// parsed-versus-expected report; on request also as JUnit XML and HTML.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "case_file.h"
#include "html_report.h"
#include "junit_report.h"
#include "micrtest_options.h"

namespace {

constexpr const char* usage_text =
    "Usage: micrtest [OPTION]... FILE...\n"
    "Run the MICR line parser over each test-case FILE in turn and print, for\n"
    "every test case, its parsed fields beside the expected ones, each field\n"
    "that differs marked with '*'.\n"
    "\n"
    "      --table=FILE   split on-us fields by the exception table FILE instead\n"
    "                     of ./PARSE.DAT (read once per run)\n"
    "      --junit=FILE   also write the run as JUnit XML to FILE\n"
    "      --html=FILE    also write the run as an HTML page to FILE\n"
    "      --summary      end with a count of cases, differences and skipped\n"
    "                     lines on standard error (always when it is a terminal)\n"
    "      --help         display this help and exit\n"
    "      --version      output version information and exit\n"
    "      --             end the options: every argument after it is a FILE\n"
    "\n"
    "Only the options above are options: every other argument, '-' and '-x'\n"
    "included, names a file.\n"
    "\n"
    "Exit status: 0 when every field agreed and no line was skipped; 2 when a\n"
    "field differed or a line was skipped; 1 when a file could not be opened or\n"
    "read, a report could not be written, or the command line is wrong.\n";

int write_error(const char* what) {
    std::fprintf(stderr, "micrtest: error writing %s: %s\n", what, std::strerror(errno));
    return 1;
}

// Feeds the optional reports the same run; each is written to its file at the end.
class reports final : public micr::run_listener {
public:
    void add(const char* path, std::unique_ptr<micr::run_report> report) {
        reports_.push_back({path, std::move(report)});
    }
    void begin_file(const char* name) {
        for (auto& r : reports_) r.report->begin_file(name);
    }
    void file_failed(const std::string& message) {
        for (auto& r : reports_) r.report->file_failed(message);
    }
    void test_case(const micr::case_outcome& outcome) override {
        for (auto& r : reports_) r.report->test_case(outcome);
    }
    void skipped(long line, std::string_view reason) override {
        for (auto& r : reports_) r.report->skipped(line, reason);
    }
    // Writes every report; false when one could not be written, each said on stderr.
    bool write() const;

private:
    struct named_report {
        const char* path;
        std::unique_ptr<micr::run_report> report;
    };
    std::vector<named_report> reports_;
};

// Writes a report file; false (having said why) when it cannot be written.
bool write_report(const char* path, const micr::run_report& report) {
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr || !report.write(out)) {
        const int error = errno;
        if (out != nullptr) std::fclose(out);
        std::fprintf(stderr, "micrtest: error writing '%s': %s\n", path, std::strerror(error));
        return false;
    }
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "micrtest: error writing '%s': %s\n", path, std::strerror(errno));
        return false;
    }
    return true;
}

bool reports::write() const {
    bool written = true;
    for (const auto& r : reports_) written = write_report(r.path, *r.report) && written;
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    // One large buffer: the report is written in blocks, never flushed per line.
    static char output_buffer[1 << 16];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    micr::micrtest_options options;
    const std::string wrong = micr::parse_micrtest_options(argc, argv, options);
    if (!wrong.empty()) {
        std::fprintf(stderr, "micrtest: %s\nTry 'micrtest --help' for more information.\n", wrong.c_str());
        return 1;
    }
    if (options.help || options.version) {
        std::fputs(options.help ? usage_text : "micrtest (micr) " MICR_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 ? 0 : write_error("standard output");
    }
    if (options.files.empty()) {
        std::fputs("Must give an input filename\n", stdout);
        return std::fflush(stdout) == 0 ? 1 : write_error("standard output");
    }

    reports listener;
    if (options.junit != nullptr) listener.add(options.junit, std::make_unique<micr::junit_report>());
    if (options.html != nullptr) listener.add(options.html, std::make_unique<micr::html_report>());
    // One table for the whole run, read when the first case needs it.
    micr::table_file_parser parser(options.table != nullptr ? options.table : micr::default_table_name);

    static char read_buffer[1 << 16];
    bool failed = false, differed = false, write_failed = false;
    int cases = 0, marked = 0, skipped = 0;
    for (const char* name : options.files) {
        listener.begin_file(name);
        micr::text_source input;
        if (!micr::open_text_source(input, name, read_buffer, sizeof read_buffer)) {
            std::printf("Error opening input file (%s)\n", name);
            listener.file_failed(std::string("Error opening input file (") + name + ")");
            failed = true;
            continue;
        }
        const micr::run_summary summary = micr::run_test_cases(input, stdout, parser, &listener);
        micr::close_text_source(input);
        cases += summary.cases;
        marked += summary.marked_cases;
        skipped += summary.skipped;
        differed = differed || micr::run_exit_status(summary) != 0;
        if (summary.read_error != 0) {
            // What was read is reported; the verdict on the file is not to be trusted.
            std::printf("Error reading input file (%s)\n", name);
            listener.file_failed(std::string("Error reading input file (") + name + ")");
            failed = true;
        }
        if (summary.ctrl_z_line != 0)
            std::fprintf(stderr,
                         "micrtest: input ends at a Ctrl-Z byte on line %ld; the rest of the file is not read\n",
                         summary.ctrl_z_line);
        if (summary.write_failed) {
            write_failed = true;
            break;
        }
    }
    if (options.summary || ::isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "micrtest: %d cases, %d with differences, %d lines skipped", cases, marked, skipped);
        if (options.files.size() > 1) std::fprintf(stderr, " in %zu files", options.files.size());
        std::fputc('\n', stderr);
    }
    const bool reports_written = listener.write();
    // A report that did not reach its reader is a failed run, whatever it said.
    if (write_failed || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return write_error("standard output");
    if (std::fclose(stdout) != 0) return write_error("standard output");
    if (failed || !reports_written) return 1;
    return differed ? 2 : 0;
}
