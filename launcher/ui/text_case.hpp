#pragma once
// Letters in capitals, for the data texts that the window draws that way (a region label, a server kind).
// Windows maps them with its own case tables; the portable twin (native builds and their tests) covers the
// Latin letters: ASCII, the Latin-1 Supplement and Latin Extended-A.

#include <string>
#include <string_view>

namespace launcher {

// UTF-8 in and out; whatever has no capital (digits, signs, other scripts in the portable twin) stays.
// Bytes that are not UTF-8 stay as they are in the portable twin; on Windows they become U+FFFD, as they
// do when drawn.
std::string upperCaseText(std::string_view utf8);

} // namespace launcher
