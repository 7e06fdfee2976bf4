#pragma once
// The launcher runs elevated in a folder that every program of the player's can write. A link planted
// under one of the launcher's own names (a symbolic link, a junction, a hard link) must never carry a
// write, an attribute change or a removal out of the game folder. These are the checks its file work
// makes before it touches a name. Paths are byte strings for the platform's ANSI functions.

#include <string>
#include <string_view>

namespace launcher {

// True when the entry at path is itself a link (any reparse point on Windows), not followed. A path that
// does not exist is no link; one whose kind cannot be read counts as one.
bool isLinkAt(const std::string& path);

// Removes a link at path as a link, its target untouched; true when no link is left under the name.
bool clearLinkAt(const std::string& path);

// True when path is a file that has another name as well (a hard link): writing it in place, or changing
// its attributes, would change that other file too.
bool hasOtherNames(const std::string& path);

// For the writes that go through the name (the profile functions follow links): a link under the name is
// removed first; false when one stays, or the file has other names, so that nothing is written.
bool readyToWriteInPlace(const std::string& path);

// Whether each folder from root down to `relative` ('\\' or '/' separated) that exists is a real folder,
// or a link that resolves to a real folder on a drive (a Data folder moved elsewhere and linked back).
// A link that cannot be resolved, or leads into the object namespace, makes it false.
bool foldersStayOnDrives(const std::string& root, std::string_view relative);

// Whether a final path from GetFinalPathNameByHandleW names a place on a drive: "\\?\X:\..." or
// "\\?\UNC\...".
bool isDriveFinalPath(std::wstring_view finalPath);

namespace detail {
// Whether the link at path resolves to a real folder on a drive. (safe_path_win.cpp, safe_path_posix.cpp)
bool linkLeadsToDriveFolder(const std::string& path);
} // namespace detail

} // namespace launcher
