// Routing directories: a generated FedACH directory of 64 MiB must load
// within 2 times the time per byte of one of 20,000 lines.  Routing numbers
// are distinct, pass their check digit, and are listed in a shuffled order.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "micr.h"

namespace {

constexpr std::size_t fedach_line = 155;

std::string fedach_text(std::size_t lines, std::mt19937& engine) {
    std::vector<std::uint32_t> prefixes(lines);
    for (std::size_t i = 0; i < lines; ++i) prefixes[i] = 10000000u + static_cast<std::uint32_t>(i) * 7u;
    std::shuffle(prefixes.begin(), prefixes.end(), engine);
    std::string text;
    text.reserve(lines * (fedach_line + 1));
    for (const std::uint32_t prefix : prefixes) {
        char unread[10], routing[10];
        std::snprintf(unread, sizeof unread, "%08u?", prefix);
        micr_repair_routing(unread, routing);  // the one ninth digit whose check digit holds
        std::string line(fedach_line, ' ');
        // Each field at its column, counted from 1 as the layout is published.
        const auto put = [&line](std::size_t column, std::string_view field) {
            line.replace(column - 1, field.size(), field);
        };
        put(1, routing);
        put(10, "O011000015");       // office code, servicing Federal Reserve routing number
        put(20, "1");                // record type
        put(21, "120126000000000");  // change date, no new routing number
        put(36, "A BANK OF THE GENERATOR");
        put(108, "SPRINGFIELD");
        put(128, "IL");
        text += line;
        text += '\n';
    }
    return text;
}

double seconds_per_byte(const std::string& text) {
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        micr_directory* directory = micr_directory_from_text(text.data(), text.size());
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (directory == nullptr || micr_directory_problem_count(directory) != 0) {
            std::fprintf(stderr, "the generated directory has problems: line %ld: %s\n",
                         micr_directory_problem_line(directory, 0), micr_directory_problem_message(directory, 0));
            std::exit(1);
        }
        micr_directory_free(directory);
    }
    return best / static_cast<double>(text.size());
}

}  // namespace

int main() {
    std::mt19937 engine(20261207);
    const std::string small = fedach_text(20000, engine);
    const std::string large = fedach_text((std::size_t{64} << 20) / (fedach_line + 1), engine);
    const double small_rate = seconds_per_byte(small), large_rate = seconds_per_byte(large);
    std::printf("20,000 lines (%zu bytes): %.2f ns a byte, %.1f ms\n", small.size(), small_rate * 1e9,
                small_rate * static_cast<double>(small.size()) * 1e3);
    std::printf("%zu lines (%zu bytes): %.2f ns a byte, %.1f ms\n", large.size() / (fedach_line + 1), large.size(),
                large_rate * 1e9, large_rate * static_cast<double>(large.size()) * 1e3);
    std::printf("per byte, large over small: %.2f (bound 2)\n", large_rate / small_rate);
    return large_rate <= 2 * small_rate ? 0 : 1;
}
