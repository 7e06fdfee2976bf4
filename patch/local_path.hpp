#pragma once

#include <filesystem>
#include <string_view>

namespace gu::patch {

// A store-relative path ("/" separators, UTF-8) below a local folder. u8path keeps non-ASCII names intact
// on Windows, where a narrow path would go through the ANSI code page.
inline std::filesystem::path local_path(const std::filesystem::path& root, std::string_view relative) {
    return root / std::filesystem::u8path(relative.begin(), relative.end());
}

} // namespace gu::patch
