#pragma once
// "patchstate.json" in the installation root: per relative path, the SHA-256 of the file the engine
// last installed or verified there, so the next run can accept it without hashing it again.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace gu::patch {

struct PatchState {
    std::string version;                      // manifest version of the last completed run
    std::map<std::string, std::string> files; // path -> SHA-256 hex, ordered byte-wise by path
    std::string apk_sha;                      // client package last seen; empty when none
    // product -> channel -> the highest channel serial that a completed run accepted. Saved with the
    // version, so it rises only together with what the run installed.
    std::map<std::string, std::map<std::string, std::uint64_t>> channel_serials;

    std::optional<std::uint64_t> channel_serial(const std::string& product, const std::string& channel) const;

    // Never fails: a missing, unreadable or malformed file loads as an empty record.
    static PatchState load(const std::filesystem::path& root);

    // Writes root/"patchstate.json" (compact JSON, paths ascending) through a ".tmp" companion. Throws
    // std::runtime_error with a "PatchState::save: " message, or the file system's error when the
    // root cannot be created.
    void save(const std::filesystem::path& root) const;
};

} // namespace gu::patch
