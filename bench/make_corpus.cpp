// micr_corpus DIRECTORY CASES ENTRIES
//
// Writes the inputs of the micrtest measurement into DIRECTORY:
//   cases.txt    CASES test-case lines from the generated corpus
//   lines.txt    the MICR line of each case, one a line, for micrparse
//   PARSE.DAT    the 20- or 1,000-entry exception table (ENTRIES)
//   io_plan.bin  one byte per line of cases.txt: how many read() calls of the
//                table the parser makes for that line (0: never opened),
//                for the floor program
//
// micr_corpus --batch DIRECTORY LINES
//
// Writes the inputs of the micrparse measurement into DIRECTORY:
//   table.dat    a 1,000-entry exception table
//   input.txt    LINES code lines whose routing numbers the table holds
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "corpus.h"

namespace {

constexpr char usage[] =
    "usage: micr_corpus DIRECTORY CASES ENTRIES(20|1000)\n"
    "       micr_corpus --batch DIRECTORY LINES\n";

void write_file(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

int write_cases(const std::string& directory, std::size_t cases, const std::string& entries) {
    if (entries != "20" && entries != "1000") {
        std::fprintf(stderr, "micr_corpus: ENTRIES is 20 or 1000\n");
        return 1;
    }
    const micr_bench::corpus corpus = micr_bench::make_corpus(cases);
    const std::string& table = entries == "20" ? corpus.table_20 : corpus.table_1000;

    std::string text, lines;
    for (std::size_t i = 0; i < corpus.cheques.size(); ++i) {
        text += micr_bench::test_case_line(corpus.cheques[i], i + 1);
        lines += corpus.cheques[i].line + "\n";
    }
    write_file(directory + "/cases.txt", text);
    write_file(directory + "/lines.txt", lines);
    write_file(directory + "/PARSE.DAT", table);

    if (::chdir(directory.c_str()) != 0) {
        std::perror(directory.c_str());
        return 1;
    }
    const auto reads = micr_bench::table_reads(micr_bench::reversed_lines(corpus.cheques), &table);
    write_file("io_plan.bin", std::string(reads.begin(), reads.end()));
    return 0;
}

int write_batch(const std::string& directory, std::size_t lines) {
    const micr_bench::batch_input input = micr_bench::make_batch_input(lines);
    write_file(directory + "/table.dat", input.table);
    write_file(directory + "/input.txt", input.lines);
    return 0;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc == 4 && std::string_view(argv[1]) == "--batch")
        return write_batch(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (argc == 4 && argv[1][0] != '-') return write_cases(argv[1], std::strtoul(argv[2], nullptr, 10), argv[3]);
    std::fputs(usage, stderr);
    return 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "micr_corpus: %s\n", e.what());
    return 1;
}
