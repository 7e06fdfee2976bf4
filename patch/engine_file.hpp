#pragma once
// Files and folders under the engine's own names in the game folder: "<file>.updpart", the ".tmp"
// companions of the state files, ".update_done", ".updstage" (and ".updpacks", which earlier versions
// kept packs in and a run removes).
// The player can write there while the launcher runs elevated, so a link planted under one of these names
// must never be written through: it is removed as a link (its target untouched) and the file or folder is
// made anew. Only these names are guarded: the player's own folders on the way (a Data folder moved to
// another drive and linked back) are followed as usual.

#include <cstdio>
#include <filesystem>
#include <string>

namespace gu::patch {

// A new, empty file at `path`, open for binary writing (stdio's default buffering). Whatever lies under
// the name first goes, a link as a link; then the file is created exclusively, so a link planted
// meanwhile is refused instead of followed (POSIX O_CREAT|O_EXCL|O_NOFOLLOW; Windows CREATE_NEW with
// FILE_FLAG_OPEN_REPARSE_POINT). A real folder under the name is never removed. nullptr on failure.
std::FILE* create_file_anew(const std::filesystem::path& path);

// Makes `path` a real folder, creating missing parents (the player's folders, followed). A link under
// the name is removed as a link first. Throws LocalWriteError "cannot create <path>: <reason>".
void make_engine_folder(const std::filesystem::path& path);

namespace detail {
// Removes the file or link (a link to a folder too) at `path`, never a real folder; true when the name
// is gone. (engine_file_posix.cpp, engine_file_win.cpp)
bool remove_file_or_link(const std::filesystem::path& path);
// create_file_anew's one exclusive attempt; `exists` tells that something already lies under the name.
std::FILE* create_exclusively(const std::filesystem::path& path, bool& exists);
} // namespace detail

} // namespace gu::patch
