#pragma once
// What a store holds, as the commands that look after it (prune, verify) see it: its channels, pack
// indexes and manifests, the chunk objects and packs on disk, and the order in which versions were published.
//
// Publish order lives in ".kyr-store.history" at the store's root, beside the lock (clients never read it):
// one line "<channel> <manifest store path>" per publish, in the order of the publishes. A rollback (an old
// version published again) adds its line again, so that version counts as the newest. Manifests that no
// line names (stores published before the history existed) count as older than every recorded one, in the
// order of their file times.

#include "tools/kyr-store/store_files.hpp"

#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kyrstore {

inline constexpr const char* kHistoryFile = ".kyr-store.history";

// Paths below are store paths ("/" separators, relative to the store folder), sorted.
std::vector<std::string> channel_paths(const std::filesystem::path& store);    // v1/channels/*.json
std::vector<std::string> pack_index_paths(const std::filesystem::path& store); // v1/packs/index-*.json
// v1/manifests/*.json and v1/manifests/*/*.json: both layouts, as a store may hold both.
std::vector<std::string> manifest_paths(const std::filesystem::path& store);

// A store file with its size, for the objects that prune may remove.
struct StoreFile {
    std::string path;
    std::uint64_t size = 0;
};
std::vector<StoreFile> pack_files(const std::filesystem::path& store);  // v1/packs/* but the indexes
std::vector<StoreFile> chunk_files(const std::filesystem::path& store); // v1/chunks/*/*

// The manifests of a channel's current version that the store holds: the platform layout, then the flat
// one; empty when its manifest is missing.
std::vector<std::string> current_manifests(const std::filesystem::path& store, const gu::patch::Channel& channel);

struct PublishedVersion {
    std::string channel;
    std::string manifest_path;
};

// Records a publish in the history; called once the channel names the version.
void record_publish(const std::filesystem::path& store, const std::string& channel, const std::string& manifest_path);

// Replaces the history by these versions, oldest first.
void rewrite_history(const std::filesystem::path& store, const std::vector<PublishedVersion>& versions);

// Every manifest in the store once, oldest publish first. A manifest that the history does not name is
// read for its channel. Throws std::runtime_error when such a manifest cannot be read or parsed.
std::vector<PublishedVersion> versions_in_publish_order(const std::filesystem::path& store);

} // namespace kyrstore
