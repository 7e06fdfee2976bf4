#pragma once
// Which files of a manifest must be fetched, which can stay, and which belong to the player.

#include "patch/patch_state.hpp"
#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace gu::patch {

struct UpdatePlan {
    std::vector<ManifestFile> to_fetch;                        // manifest order
    std::vector<std::string> current;                          // accepted as they are
    std::vector<std::pair<std::string, std::string>> to_record; // (path, sha256) verified by hashing
    std::vector<std::string> preserved;                        // the player's own files, left alone
    std::uint64_t download_bytes = 0;                          // "z" over the distinct chunks of to_fetch
};

// done, total
using PlanProgress = std::function<void(unsigned, unsigned)>;

// "preserve" entries: a run of "*" matches anything, "/" included; every other character is literal.
std::regex glob_to_regex(const std::string& pattern);

// Files whose patch state entry and size agree with the manifest are accepted without hashing; files the
// state does not know are hashed. Progress is reported after every 64th file and once at the end.
UpdatePlan plan_update(const Manifest& manifest, const PatchState& state, const std::filesystem::path& root,
                       const PlanProgress& plan_progress, const std::vector<std::string>& anchored);

} // namespace gu::patch
