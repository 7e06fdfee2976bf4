#pragma once
// Reading UTF-8 one character at a time, strictly: what a store document or a name may hold.

#include <cstddef>
#include <string_view>

namespace gu::patch {

// The code point of the well-formed UTF-8 sequence (no overlong form, no surrogate, at most U+10FFFF)
// at the start of `text`, and its length; length 0 when there is none (or `text` is empty).
std::size_t utf8_decode(std::string_view text, char32_t& code_point);

} // namespace gu::patch
