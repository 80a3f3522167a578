// Tests of eight or sixteen bytes at a time, for micrparse's texts: a word
// is eight bytes loaded in memory order, its first byte the lowest; a block
// is sixteen, as a vector of the compilers' vector extension (SSE2 on
// x86-64, NEON on ARM), its first byte the first lane.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace micr::batch {

static_assert(std::endian::native == std::endian::little, "a word's first byte is its lowest");

inline constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;

inline std::uint64_t load_word(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The high bit of every zero byte of a word, and perhaps of bytes after the
// first zero byte (a borrow passes on); the lowest bit set is exact.
constexpr std::uint64_t zero_bytes(std::uint64_t x) { return (x - ones) & ~x & highs; }

// How many bytes of a word come before the first one marked by its high bit
// in `marks` (not 0).
inline unsigned bytes_before(std::uint64_t marks) { return static_cast<unsigned>(std::countr_zero(marks)) / 8; }

// The last bytes of a buffer of `width` (>= 8) bytes from `from` on (fewer
// than eight), as the lowest bytes of a word whose other bytes are zero.
inline std::uint64_t last_bytes(const char* buffer, std::size_t width, std::size_t from) {
    return load_word(buffer + width - 8) >> (8 * (8 - (width - from)));
}

// A block's bytes are signed: those above 0x7f are below 0.
using byte_block = signed char __attribute__((vector_size(16)));

inline byte_block load_block(const char* p) {
    byte_block block;
    std::memcpy(&block, p, sizeof block);
    return block;
}

inline void store_block(char* p, byte_block block) { std::memcpy(p, &block, sizeof block); }

// The place of the first lane of a comparison's result that holds (all its
// bits set), 16 when none does.
inline unsigned first_set(byte_block lanes) {
    std::uint64_t first, second;
    std::memcpy(&first, &lanes, sizeof first);
    std::memcpy(&second, reinterpret_cast<const char*>(&lanes) + sizeof first, sizeof second);
    if (first != 0) return static_cast<unsigned>(std::countr_zero(first)) / 8;
    if (second != 0) return 8 + static_cast<unsigned>(std::countr_zero(second)) / 8;
    return 16;
}

}  // namespace micr::batch
