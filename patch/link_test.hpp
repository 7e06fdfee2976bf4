#pragma once
// The one answer to "is this a link" for the engine. The launcher runs elevated in a folder every program
// of the player's can write, so a symbolic link or junction planted there must never be followed by a
// removal or a write. std::filesystem cannot be asked: MinGW's symlink_status follows links on Windows.

#include <filesystem>
#include <string_view>

namespace gu::patch {

// True when `path` itself is a symbolic link, a junction or any other reparse point, without following
// it. A path that does not exist is not a link; one whose kind cannot be read counts as a link, so that
// nothing is done through it. Windows: FILE_ATTRIBUTE_REPARSE_POINT; elsewhere: lstat.
bool is_link(const std::filesystem::path& path);

// True when any step from `root` (exclusive) down to `relative` (a store-relative path, "/" separators,
// UTF-8) is a link. The root itself may be a link: the player may have moved the game folder and linked it.
bool leads_through_link(const std::filesystem::path& root, std::string_view relative);

} // namespace gu::patch
