#pragma once
// How Windows compares names: NTFS upper-cases both, one UTF-16 code unit at a time, through the table
// that the volume was formatted with ($UpCase: a simple one-to-one mapping, no "ß" to "SS", no Turkish
// rules). Two names the table makes equal are one file on Windows, however different their bytes.

#include <string>
#include <string_view>

namespace gu::patch {

// `text` (UTF-8) with every character upper-cased as NTFS does. Bytes that are not valid UTF-8 stay as
// they are; characters beyond the Basic Multilingual Plane are never changed (NTFS sees two surrogates).
std::string windows_upcase(std::string_view text);

} // namespace gu::patch
