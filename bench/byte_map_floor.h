// The floor of a per-line parse: every byte of the line mapped through a
// 256-entry table into a buffer, the table made once.  It is a copy of no
// product code and must stay as it is, so that speeding up the parser never
// moves the floor it is measured against.
#pragma once

#include <array>
#include <cstddef>

namespace micr_bench {

class byte_map_floor {
public:
    byte_map_floor() {
        for (std::size_t b = 0; b < map_.size(); ++b) map_[b] = static_cast<unsigned char>((b * 167 + 13) & 0xFF);
    }
    // Maps `length` bytes of `line` into `out`, which holds at least that many.
    void map(const char* line, std::size_t length, unsigned char* out) const {
        for (std::size_t i = 0; i < length; ++i) out[i] = map_[static_cast<unsigned char>(line[i])];
    }

private:
    std::array<unsigned char, 256> map_{};
};

}  // namespace micr_bench
