// micrtest: runs the MICR parser over a test-case file and prints the
// parsed-versus-expected report.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "case_file.h"

namespace {

int write_error() {
    std::fprintf(stderr, "micrtest: error writing standard output: %s\n", std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // One large buffer: the report is written in blocks, never flushed per line.
    static char output_buffer[1 << 16];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    if (argc < 2) {
        std::fputs("Must give an input filename\n", stdout);
        return std::fflush(stdout) == 0 ? 1 : write_error();
    }
    static char read_buffer[1 << 16];
    micr::text_source input;
    if (!micr::open_text_source(input, argv[1], read_buffer, sizeof read_buffer)) {
        std::printf("Error opening input file (%s)\n", argv[1]);
        return std::fflush(stdout) == 0 ? 1 : write_error();
    }
    micr::table_file_parser parser;
    const micr::run_summary summary = micr::run_test_cases(input, stdout, parser);
    micr::close_text_source(input);
    int status = micr::run_exit_status(summary);
    if (summary.read_error != 0) {
        // What was read is reported; the verdict on the file is not to be trusted.
        std::printf("Error reading input file (%s)\n", argv[1]);
        status = 1;
    }
    if (summary.ctrl_z_line != 0)
        std::fprintf(stderr, "micrtest: input ends at a Ctrl-Z byte on line %ld; the rest of the file is not read\n",
                     summary.ctrl_z_line);
    // A report that did not reach its reader is a failed run, whatever it said.
    if (summary.write_failed || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return write_error();
    if (std::fclose(stdout) != 0) return write_error();
    return status;
}
