#include "routing_number.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>

#include "fields.h"

namespace micr {

bool routing_key(std::string_view text, std::uint32_t& key) {
    if (text.size() != routing_number_length) return false;
    // The first eight characters as one word, a byte each, first in the
    // lowest byte: a routing number is looked up on every parse, and eight
    // digits are tested and combined in a handful of word operations.
    std::uint64_t word;
    std::memcpy(&word, text.data(), sizeof word);
    constexpr std::uint64_t zeros = 0x3030303030303030u, high_nibbles = 0xF0F0F0F0F0F0F0F0u;
    const std::uint64_t sixes = 0x0606060606060606u;
    // Each byte is 0x30..0x39: its high nibble is 3, and adding 6 leaves it 3.
    const bool digits = (word & high_nibbles) == zeros && ((word + sixes) & high_nibbles) == zeros;
    const auto last = static_cast<std::uint32_t>(static_cast<unsigned char>(text[8])) - '0';
    if (!digits || last > 9) return false;
    std::uint64_t v = word - zeros;
    v = (v * 10) + (v >> 8);  // pairs of digits, in bytes 0, 2, 4 and 6
    v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
        32;
    key = static_cast<std::uint32_t>(v) * 10 + last;
    return true;
}

bool aba_check_digit_holds(std::string_view digits) {
    // The weighted sum a word at a time: each of the first eight digits times
    // its weight fits its byte (at most 9 * 7), the bytes of each weight are
    // multiplied at once, and their sum is gathered in 16-bit lanes.
    std::uint64_t v;
    std::memcpy(&v, digits.data(), sizeof v);
    v -= 0x3030303030303030u;
    constexpr std::uint64_t weight_3 = 0x00FF0000FF0000FFu, weight_7 = 0xFF0000FF0000FF00u,
                            weight_1 = 0x0000FF0000FF0000u;
    static_assert(aba_weights[0] == 3 && aba_weights[1] == 7 && aba_weights[2] == 1);
    const std::uint64_t products = (v & weight_3) * 3 + (v & weight_7) * 7 + (v & weight_1);
    const std::uint64_t lanes = (products & 0x00FF00FF00FF00FFu) + ((products >> 8) & 0x00FF00FF00FF00FFu);
    const auto sum = static_cast<int>((lanes * 0x0001000100010001u) >> 48) + aba_weights[8] * (digits[8] - '0');
    return sum % 10 == 0;
}

routing_index::routing_index() {
    std::uint64_t start;
    try {
        std::random_device device;
        start = (std::uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
        // No source of randomness: the address and the clock still differ
        // from run to run, which is all an attacker must not know.
        start = reinterpret_cast<std::uintptr_t>(this) ^
                static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    std::mt19937_64 words(start);
    for (auto& byte_words : words_)
        for (std::uint32_t& w : byte_words) w = static_cast<std::uint32_t>(words() >> 32);
}

std::uint32_t routing_index::hash(std::uint32_t key) const {
    return words_[0][key & 0xff] ^ words_[1][(key >> 8) & 0xff] ^ words_[2][(key >> 16) & 0xff] ^ words_[3][key >> 24];
}

std::size_t routing_index::find_slot(std::uint32_t key, std::uint32_t hashed, std::size_t& probes) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hashed & mask;
    for (probes = 1; slots_[i].position != none && slots_[i].key != key; ++probes) i = (i + 1) & mask;
    return i;
}

void routing_index::reserve(std::size_t count) {
    if (2 * count <= slots_.size()) return;
    std::size_t size = 16;
    while (size < 2 * count) size *= 2;
    std::vector<slot> old(size, slot{0, none});
    // Eight filter places per slot, 2^filter_bits of them.  The words give 32
    // bits of slot number and place, far more than a file of at most 64 MiB
    // needs.
    constexpr unsigned places_per_slot_bits = 3, hash_bits = 32;
    const unsigned filter_bits =
        std::min(static_cast<unsigned>(std::countr_zero(size)) + places_per_slot_bits, hash_bits);
    std::vector<std::uint64_t> filter((std::size_t{1} << filter_bits) / 64, 0);
    old.swap(slots_);
    filter_.swap(filter);
    filter_shift_ = hash_bits - filter_bits;
    for (const slot& s : old) {
        if (s.position == none) continue;
        const std::uint32_t hashed = hash(s.key);
        std::size_t probes;
        slots_[find_slot(s.key, hashed, probes)] = s;
        add_to_filter(hashed);
    }
}

std::uint32_t routing_index::insert(std::uint32_t key, std::uint32_t position) {
    reserve(used_ + 1);
    const std::uint32_t hashed = hash(key);
    std::size_t probes;
    slot& s = slots_[find_slot(key, hashed, probes)];
    if (s.position != none) return s.position;
    s = {key, position};
    add_to_filter(hashed);
    ++used_;
    return position;
}

std::uint32_t routing_index::find(std::uint32_t key) const {
    if (slots_.empty()) return none;
    const std::uint32_t hashed = hash(key);
    if (!passes_filter(hashed)) return none;
    std::size_t probes;
    return slots_[find_slot(key, hashed, probes)].position;
}

std::size_t routing_index::probes(std::uint32_t key) const {
    std::size_t probes = 0;
    if (slots_.empty()) return probes;
    const std::uint32_t hashed = hash(key);
    if (passes_filter(hashed)) find_slot(key, hashed, probes);
    return probes;
}

}  // namespace micr
