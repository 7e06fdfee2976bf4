#pragma once
// Deleting what the updater leaves in the game folder (".updstage", ".updpacks", stale partial files).
// The player can write there while the launcher runs elevated, so a symbolic link or directory junction
// planted there must be removed as a link: following it would delete files anywhere on the machine.

#include <filesystem>

namespace gu::patch {

// Removes `path` and, when it is a real folder, everything below it, never following a link: a symbolic
// link or junction, at `path` or below, is removed as a link and its target is left untouched. A missing
// `path` counts as removed. Goes on past entries it cannot remove and returns false if there were any.
// Never throws, except std::bad_alloc.
//
// POSIX: each entry is unlinked through its parent folder's descriptor, and a folder is descended into
// only when it opens with O_NOFOLLOW, so a link swapped in at any moment is not followed. Windows: a
// folder with a reparse point (junction, symbolic link) is removed with RemoveDirectoryW without looking
// inside; a real folder is held open without delete sharing while its entries go, so that it cannot be
// swapped for a junction meanwhile. (MinGW's std::filesystem::remove_all follows junctions.)
bool remove_tree_no_follow(const std::filesystem::path& path);

} // namespace gu::patch
