#pragma once

#include <string>
#include <string_view>

namespace gu::patch {

// Standard alphabet. "=", blanks, tabs and line breaks are skipped wherever they stand; any other
// character outside the alphabet yields an empty result (callers' length checks then fail).
std::string base64_decode(std::string_view text);

} // namespace gu::patch
