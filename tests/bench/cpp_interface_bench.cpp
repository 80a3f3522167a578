// micr::parse (micr.hpp) against micr_parse: what the C++ interface adds to
// a parse.  Both parse the same generated lines against the example table
// loaded once, in rounds that time one pass of each over all the lines,
// the two taking turns to go first, so that both see the same load.  Prints
// the fastest pass of each and the median of the rounds' ratios, C++ over C.
// Bound: 1.05.
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/micr_cpp_interface_bench [ROUNDS]
//
// Built by the bench preset only (Release), and run by hand: timings need a
// quiet machine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "line_generator.h"
#include "micr.hpp"

namespace {

constexpr std::size_t line_count = 4096;

// Keeps the compiler from dropping a result nobody reads.
template <class T>
void keep(const T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

using clock_type = std::chrono::steady_clock;

double c_pass(const micr_table* table, const std::vector<std::string>& lines) {
    const auto start = clock_type::now();
    for (const std::string& line : lines) {
        micr_result r;
        micr_parse(table, line.data(), line.size(), 0, &r);
        keep(r);
    }
    return std::chrono::duration<double, std::nano>(clock_type::now() - start).count();
}

double cpp_pass(const micr::table& table, const std::vector<std::string>& lines) {
    const auto start = clock_type::now();
    for (const std::string& line : lines) {
        const micr::result r = micr::parse(line, table);
        keep(r);
    }
    return std::chrono::duration<double, std::nano>(clock_type::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: micr_cpp_interface_bench [ROUNDS]\n");
        return 2;
    }
    micr_test::generator gen(1234);
    std::vector<std::string> lines;
    while (lines.size() < line_count) lines.push_back(gen.line());
    std::ifstream table_file(MICR_SOURCE_DIR "/examples/PARSE.DAT", std::ios::binary);
    const std::string table_text(std::istreambuf_iterator<char>(table_file), {});
    const micr::table table = micr::table::from_text(table_text);

    std::vector<double> c_times, cpp_times, ratios;
    for (int round = 0; round < rounds; ++round) {
        double c = 0, cpp = 0;
        if (round % 2 == 0) {
            c = c_pass(table.get(), lines);
            cpp = cpp_pass(table, lines);
        } else {
            cpp = cpp_pass(table, lines);
            c = c_pass(table.get(), lines);
        }
        c_times.push_back(c);
        cpp_times.push_back(cpp);
        ratios.push_back(cpp / c);
    }
    const double n = static_cast<double>(lines.size());
    const double c_best = *std::min_element(c_times.begin(), c_times.end()) / n;
    const double cpp_best = *std::min_element(cpp_times.begin(), cpp_times.end()) / n;
    std::printf("%d rounds of %zu lines\n", rounds, lines.size());
    std::printf("per line, fastest pass: micr_parse %.1f ns, micr::parse %.1f ns: C++ / C = %.3f\n", c_best, cpp_best,
                cpp_best / c_best);
    std::printf("per line, median pass:  micr_parse %.1f ns, micr::parse %.1f ns\n", median(c_times) / n,
                median(cpp_times) / n);
    std::printf("median of the rounds' ratios C++ / C: %.3f (bound 1.05)\n", median(ratios));
    return 0;
}
