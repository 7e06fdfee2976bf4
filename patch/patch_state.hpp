#pragma once
// "patchstate.json" in the installation root: per relative path, the SHA-256 of the file the engine
// last installed or verified there, so the next run can accept it without hashing it again.

#include <filesystem>
#include <map>
#include <string>

namespace gu::patch {

struct PatchState {
    std::string version;                      // manifest version of the last completed run
    std::map<std::string, std::string> files; // path -> SHA-256 hex, ordered byte-wise by path
    std::string apk_sha;                      // client package last seen; empty when none

    // Never fails: a missing, unreadable or malformed file loads as an empty record.
    static PatchState load(const std::filesystem::path& root);

    // Writes root/"patchstate.json" (compact JSON, paths ascending) through a ".tmp" companion. Throws
    // std::runtime_error with a "PatchState::save: " message, or the file system's error when the
    // root cannot be created.
    void save(const std::filesystem::path& root) const;
};

} // namespace gu::patch
