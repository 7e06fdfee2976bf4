#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace launcher {

// Limits outside text before it is stored or shown: at most limit bytes, each run of control bytes
// becomes one space (none at the start), trailing spaces go, and a UTF-8 sequence cut by the limit is
// removed whole. Complete sequences and other bytes are kept as they are.
std::string cleanText(std::string_view text, std::size_t limit);

// Removes the UTF-8 sequence that the end of the text cuts short (a lead byte with too few continuation
// bytes after it); complete sequences and stray continuation bytes stay.
void dropCutUtf8Sequence(std::string& text);

// A dotted-quad IPv4 address of 1 to 15 bytes: four groups of 1 to 3 digits, each at most 255.
bool isIPv4Literal(std::string_view text);

} // namespace launcher
