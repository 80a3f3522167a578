// The comparison report: one block per test case, parsed fields beside the
// expected ones, every difference marked with '*'.
#pragma once

#include <string>
#include <string_view>

#include "micr.h"

namespace micr {

// Room for a block besides its label, MICR line and description: the dash
// lines and headings (226 bytes at most) and eight field lines, each marked
// (83 bytes).
inline constexpr std::size_t block_room_besides_texts = 1024;

// Writes the block for one test case at `out`, which has room for
// block_room_besides_texts bytes and the three texts, and returns its end.
// Sets `differing` to one bit per field that differs, 1u << its field_index.
char* report_block(char* out, std::string_view label, std::string_view description, std::string_view micr_text,
                   const micr_result& parsed, const micr_result& expected, unsigned& differing);

}  // namespace micr
