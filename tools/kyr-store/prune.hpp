#pragma once
// Pruning a store that has grown version by version: the newest versions stay installable, what only older
// ones used goes. A version is a manifest; per channel, the newest `keep` manifests in publish order stay,
// and so does every manifest that a channel names now (also after a rollback). Removed are the other
// manifests with their ".sig", the chunk objects that no kept manifest names, the packs that no current pack
// index names (the store keeps one index per channel, so older versions' packs are named by none: a
// rollback packs anew from the kept chunk objects), and the "*.tmp" leftovers of failed publishes among the
// objects. Documents, the history and files of unknown kinds are never touched, except the history, which
// is rewritten to the kept versions.

#include "tools/kyr-store/store_contents.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kyrstore {

struct PruneOptions {
    std::filesystem::path store_dir;
    std::uint64_t keep = 0; // at least 1
    bool dry_run = false;
    // Called before each removal with its store path. Tests throw from it to stop a prune where a crash could.
    std::function<void(const std::string&)> before_removal;
};

struct PruneSummary {
    std::vector<PublishedVersion> kept; // oldest first
    std::vector<StoreFile> removed;     // in the order of removal (what would go, on a dry run)
    std::uint64_t manifests = 0;        // removed versions
    std::uint64_t chunk_objects = 0;
    std::uint64_t packs = 0;
    std::uint64_t bytes = 0; // freed
};

// Holds the publisher's lock throughout. Throws std::runtime_error, before removing anything, when a channel,
// a pack index or a kept manifest cannot be read, or a channel names a version whose manifest is missing.
PruneSummary prune(const PruneOptions& options);

} // namespace kyrstore
