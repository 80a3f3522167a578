// micrtest: runs the MICR parser over a test-case file and prints the
// parsed-versus-expected report.
#include <cstdio>

#include "case_file.h"

int main(int argc, char** argv) {
    // One large buffer: the report is written in blocks, never flushed per line.
    static char output_buffer[1 << 16];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    if (argc < 2) {
        std::fputs("Must give an input filename\n", stdout);
        return 1;
    }
    static char read_buffer[1 << 16];
    micr::text_source input;
    if (!micr::open_text_source(input, argv[1], read_buffer, sizeof read_buffer)) {
        std::printf("Error opening input file (%s)\n", argv[1]);
        return 1;
    }
    const micr::run_summary summary = micr::run_test_cases(input, stdout);
    micr::close_text_source(input);
    std::fflush(stdout);
    return micr::run_exit_status(summary);
}
