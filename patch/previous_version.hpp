#pragma once
// The verified manifest of the last successful run, kept beside the patch state. At the start of the next
// run it maps every chunk of the files that are still as that run left them to its place on disk, so an
// incremental update downloads only the chunks that really changed.

#include "patch/chunk_fetch.hpp"
#include "patch/patch_state.hpp"
#include "patch/store_records.hpp"

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gu::patch {

inline constexpr const char* kPreviousManifestFile = "patchstate.manifest.json";

// Saved through a ".tmp" companion; throws std::runtime_error like the patch state's save.
void save_previous_manifest(const std::filesystem::path& root, std::string_view manifest_text);

// The manifest of the last successful run; an empty one when it is missing or cannot be read.
Manifest load_previous_manifest(const std::filesystem::path& root);

class PreviousVersionChunks {
public:
    // Never fails. Only files of `previous` whose patch state entry still names its hash and whose size on
    // disk matches are mapped; every entry is verified again by hash when it is read.
    static PreviousVersionChunks load(const std::filesystem::path& root, const Manifest& previous,
                                      const PatchState& state);

    LocalChunkMap& chunks() { return chunks_; }
    const LocalChunkMap& chunks() const { return chunks_; }

    // The file at `path` was replaced: its old bytes are gone and must not be read. A chunk that another
    // file of the previous version holds as well is read from there from now on.
    void forget_file(const std::string& path);

private:
    LocalChunkMap chunks_; // the place fetch_chunk tries
    // Every file of the previous version that holds a chunk (its first place in each), in manifest order,
    // and the chunks of each file.
    std::unordered_map<std::string, std::vector<LocalChunkRef>> places_;
    std::unordered_map<std::string, std::vector<std::string>> hashes_by_path_;
};

} // namespace gu::patch
