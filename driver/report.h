// The comparison report: one block per test case, parsed fields beside the
// expected ones, every difference marked with '*'.
#pragma once

#include <cstdio>

#include "micr.h"

namespace micr {

// Prints the block for one test case on `out`.  Returns the number of field
// lines marked as differing.
int report_case(std::FILE* out, const char* label, const char* description, const char* micr_text,
                const micr_result& parsed, const micr_result& expected);

}  // namespace micr
