// The comparison report: one block per test case, parsed fields beside the
// expected ones, every difference marked with '*'.
#pragma once

#include <string>
#include <string_view>

#include "micr.h"

namespace micr {

// Writes the block for one test case into `block`, replacing what it held
// (its room is kept from case to case).  Returns one bit per field that
// differs, 1u << its field_id.
unsigned report_block(std::string& block, std::string_view label, std::string_view description,
                      std::string_view micr_text, const micr_result& parsed, const micr_result& expected);

}  // namespace micr
