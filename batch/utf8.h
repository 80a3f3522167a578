// The two ways micrparse writes the bytes of a line or a file name as text:
// as UTF-8 they already are, checked first, or each byte as the character of
// its value.
#pragma once

#include <string>
#include <string_view>

namespace micr::batch {

// U+FEFF as UTF-8: the mark some editors and readers put at the start of a file.
inline constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// Whether `bytes` are valid UTF-8: no overlong form, no surrogate, nothing
// beyond U+10FFFF.
bool valid_utf8(std::string_view bytes);

// Each byte as the Unicode code point of the same value, encoded as UTF-8: a
// reader's 8-bit text comes out as valid UTF-8 and nothing is lost.
std::string latin1_to_utf8(std::string_view bytes);

}  // namespace micr::batch
