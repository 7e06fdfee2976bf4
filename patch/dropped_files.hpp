#pragma once
// Files that the previous version installed and the new one no longer lists. Left in place they break
// games after restructurings (a stale script or library that the game still loads), so a run may remove
// them, but only those still holding exactly the bytes that version installed: whatever the player
// changed or added stays.

#include "patch/durable_file.hpp"
#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gu::patch {

// Whether the regular file at `relative` below `root`, reached through no link, still holds exactly the
// bytes that `installed` names. Always judged by the bytes, never by the patch state's record: the state
// says what was installed, not that the player left it alone, and a removal cannot be undone.
bool holds_installed_bytes(const std::filesystem::path& root, std::string_view relative, const ManifestFile& installed);

// The files of `previous` (a proven manifest: previous_version.hpp) that `current` does not list
// (compared as Windows compares names), that no preserve pattern of either covers, and whose bytes,
// hashed, are still the ones `previous` named.
std::vector<std::string> dropped_files(const std::filesystem::path& root, const Manifest& previous,
                                       const Manifest& current);

// Removes those files, then every folder that became empty on the way up to the root. A path that leads
// through a link is never followed; a file that cannot be removed is logged and left. The folders that
// lost an entry are added to `changed` for their flush. Returns the paths removed.
std::vector<std::string> remove_dropped_files(const std::filesystem::path& root, const std::vector<std::string>& paths,
                                              const std::function<void(const std::string&)>& log,
                                              FolderFlushes& changed);

} // namespace gu::patch
