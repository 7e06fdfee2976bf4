#pragma once
// A path that changes kind between versions: the new version has a folder where the installed one has a
// file ("Data/x" becomes "Data/x/a.txt"), or a file where it has a folder. What stands in the way goes
// first, but only when the previous version installed all of it and it is unchanged: anything of the
// player's in the way stops the run with a message naming it, and nothing of theirs is deleted.

#include "patch/durable_file.hpp"
#include "patch/store_records.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace gu::patch {

struct PathObstacle {
    std::string path;                   // relative to the root, as the new file's path spells it
    std::vector<std::string> installed; // the previous version's paths of the files it is made of
};

// What stands in the way of `files` below `root`. `installed` is the previous version's proven manifest
// (previous_version.hpp), or an empty one. Throws std::runtime_error naming the new file and the path in
// the way when anything there is not a file of `installed` holding its bytes: a file it did not install
// or that changed, a link, or a folder holding any such thing. Reads only.
std::vector<PathObstacle> find_path_obstacles(const std::filesystem::path& root, const std::vector<ManifestFile>& files,
                                              const Manifest& installed);

// Removes them, never following a link; the folders that lost an entry are added to `changed`. Throws
// std::runtime_error when one cannot be removed.
void remove_path_obstacles(const std::filesystem::path& root, const std::vector<PathObstacle>& obstacles,
                           FolderFlushes& changed);

} // namespace gu::patch
