#pragma once
// "trust_anchor.json" in a separately configured folder: for a fixed list of anchored paths, every hash
// acceptable there. While an update is only partly applied it holds both the old and the new hashes.

#include "patch/store_records.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gu::patch {

struct TrustAnchor {
    std::string version;                                   // manifest version the anchor was made for
    std::map<std::string, std::vector<std::string>> files; // path -> acceptable hashes, never empty

    // Never fails. An empty `dir` gives an empty record without touching the disk; a missing, unreadable
    // or malformed file, or one without a usable file entry, gives an empty record too. The anchor last
    // loaded is kept process-wide, so loading the same folder again does not re-read the file until a
    // save or forget_anchored_file() drops the kept copy.
    static TrustAnchor load(const std::filesystem::path& dir);

    // Writes dir/"trust_anchor.json" (compact JSON, paths ascending) through a ".tmp" companion. Throws
    // std::runtime_error with a "TrustAnchor::save: " message, or the file system's error when the
    // folder cannot be created.
    void save(const std::filesystem::path& dir) const;
};

// Copy of the process-wide list of anchored relative paths. This launcher anchors nothing, so the list
// stays empty unless an installation configures one with set_anchored_paths().
std::vector<std::string> anchored_paths();
void set_anchored_paths(std::vector<std::string> paths);

// The anchor of a manifest: its version, and each anchored file's manifest hash.
TrustAnchor anchor_from_manifest(const Manifest& manifest);

// The transitional anchor while an update is applied: the target's version; for each path of `current`
// its hashes followed by the target's new ones for that path. Paths only in `target` are left out, and
// a `current` without files gives no files at all.
TrustAnchor merge_anchors(const TrustAnchor& current, const TrustAnchor& target);

// Called before an anchored file is replaced by copying (not atomically): the anchor can no longer
// vouch for it, so dir/"trust_anchor.json" is deleted and the kept copy dropped. Does nothing when
// `dir` is empty or `path` is not anchored.
void forget_anchored_file(const std::filesystem::path& dir, std::string_view path);

} // namespace gu::patch
