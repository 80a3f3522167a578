// micr_corpus DIRECTORY CASES ENTRIES
//
// Writes the inputs of the whole-program measurement into DIRECTORY:
//   cases.txt    CASES test-case lines from the generated corpus
//   PARSE.DAT    the 20- or 1,000-entry exception table (ENTRIES)
//   io_plan.bin  one byte per line of cases.txt: how many read() calls of the
//                table the parser makes for that line (0: never opened),
//                for the floor program
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "corpus.h"

namespace {

void write_file(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc != 4) {
        std::fprintf(stderr, "usage: micr_corpus DIRECTORY CASES ENTRIES(20|1000)\n");
        return 1;
    }
    const std::string directory = argv[1];
    const std::size_t cases = std::strtoul(argv[2], nullptr, 10);
    const std::string entries = argv[3];
    if (entries != "20" && entries != "1000") {
        std::fprintf(stderr, "micr_corpus: ENTRIES is 20 or 1000\n");
        return 1;
    }
    const micr_bench::corpus corpus = micr_bench::make_corpus(cases);
    const std::string& table = entries == "20" ? corpus.table_20 : corpus.table_1000;

    std::string text;
    for (std::size_t i = 0; i < corpus.cheques.size(); ++i) text += micr_bench::test_case_line(corpus.cheques[i], i + 1);
    write_file(directory + "/cases.txt", text);
    write_file(directory + "/PARSE.DAT", table);

    if (::chdir(directory.c_str()) != 0) {
        std::perror(directory.c_str());
        return 1;
    }
    const auto reads = micr_bench::table_reads(micr_bench::reversed_lines(corpus.cheques), &table);
    write_file("io_plan.bin", std::string(reads.begin(), reads.end()));
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "micr_corpus: %s\n", e.what());
    return 1;
}
