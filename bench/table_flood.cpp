// Exception tables whose routing numbers were chosen against the index: each
// set of 320,000 entries must load within 2 times a random set of the same
// size, and a parse that looks up its last entry must cost within 2 times one
// that looks up its first.  The sets: random numbers; numbers that all fell
// into a few neighbouring slots of the index this project used to have
// (Fibonacci hashing); the same sorted and reverse-sorted; one number
// repeated; consecutive numbers sharing their leading digits; numbers that
// differ mostly in two bytes of their key, the tabulation hash's inputs.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "micr.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr std::size_t entries = 320000;
constexpr std::uint32_t routing_numbers = 1000000000u;

std::string nine_digits(std::uint32_t key) {
    char text[16];
    std::snprintf(text, sizeof text, "%09u", key);
    return text;
}

std::vector<std::uint32_t> crowding_old_index() {
    constexpr std::uint32_t multiplier = 0x9E3779B1u;
    std::uint32_t inverse = multiplier;  // Newton's iteration for the inverse mod 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2u - multiplier * inverse;
    std::vector<std::uint32_t> keys;
    for (std::uint32_t h = 0; keys.size() < entries; ++h)
        if (const std::uint32_t key = h * inverse; key < routing_numbers) keys.push_back(key);
    return keys;
}

double best_of(int runs, auto&& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = clock_type::now();
        work();
        best = std::min(best, std::chrono::duration<double>(clock_type::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    std::mt19937 engine(20261207);
    std::vector<std::uint32_t> random_keys(entries);
    for (std::uint32_t& key : random_keys) key = static_cast<std::uint32_t>(engine() % routing_numbers);
    std::vector<std::uint32_t> sorted = random_keys;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint32_t> reverse_sorted(sorted.rbegin(), sorted.rend());
    std::vector<std::uint32_t> consecutive(entries);
    for (std::size_t i = 0; i < entries; ++i) consecutive[i] = 100000000u + static_cast<std::uint32_t>(i);
    // Keys that share their top byte and differ in the other three, the
    // third over only a few values: the words of few table rows decide.
    std::vector<std::uint32_t> two_bytes;
    for (std::uint32_t second = 0; two_bytes.size() < entries; ++second)
        for (std::uint32_t third = 0; third < 256 && two_bytes.size() < entries; ++third)
            for (std::uint32_t first = 0; first < 256 && two_bytes.size() < entries; ++first)
                two_bytes.push_back(0x01000000u | (third << 16) | (second << 8) | first);
    const struct {
        const char* name;
        std::vector<std::uint32_t> keys;
    } sets[] = {
        {"random", random_keys},
        {"crowding the old index", crowding_old_index()},
        {"sorted", sorted},
        {"reverse-sorted", reverse_sorted},
        {"one number repeated", std::vector<std::uint32_t>(entries, 123456780u)},
        {"consecutive", consecutive},
        {"two bytes of the key", two_bytes},
    };
    double random_load = 0;
    std::printf("%-24s %10s %8s %14s %14s %8s\n", "table of 320,000", "load ms", "/random", "parse first ns",
                "parse last ns", "last/1st");
    for (const auto& set : sets) {
        std::string text;
        for (const std::uint32_t key : set.keys) text += "B " + nine_digits(key) + " A 1 0 4 L\n";
        micr_table* table = nullptr;
        const double load = best_of(5, [&] {
            micr_table_free(table);
            table = micr_table_from_text(text.data(), text.size());
        });
        if (random_load == 0) random_load = load;
        const auto parse_ns = [&](std::uint32_t key) {
            const std::string line = "t" + nine_digits(key) + "t 12345678o 0101 a0000012500a";
            constexpr int parses = 100000;
            micr_result r;
            return best_of(5,
                           [&] {
                               for (int i = 0; i < parses; ++i) micr_parse(table, line.data(), line.size(), 0, &r);
                           }) *
                   1e9 / parses;
        };
        const double first = parse_ns(set.keys.front()), last = parse_ns(set.keys.back());
        std::printf("%-24s %10.1f %8.2f %14.1f %14.1f %8.2f\n", set.name, load * 1e3, load / random_load, first, last,
                    last / first);
        micr_table_free(table);
    }
    return 0;
}
