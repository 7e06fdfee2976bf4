#pragma once
// The manifest of the last successful run, kept beside the patch state as served, with its signature. At
// the start of the next run it maps every chunk of the files that are still as that run left them to its
// place on disk, so an incremental update downloads only the chunks that really changed; and, once its
// signature is checked again, it tells which files the updater may remove.

#include "patch/chunk_fetch.hpp"
#include "patch/patch_state.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_records.hpp"

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gu::patch {

inline constexpr const char* kPreviousManifestFile = "patchstate.manifest.json";
inline constexpr const char* kPreviousManifestSignatureFile = "patchstate.manifest.json.sig";

// The manifest text exactly as served and its ".sig" text, each saved through a flushed ".tmp" companion;
// throws std::runtime_error like the patch state's save.
void save_previous_manifest(const std::filesystem::path& root, const SignedDocument& manifest);

struct PreviousManifest {
    Manifest manifest; // empty when missing or unreadable
    // Signed by the run's trust key and made for its product and platform. Anything that can write the
    // game folder can write the saved copy, so only a proven one may decide what is deleted. An unproven
    // one (an older installation saved no signature) still guides chunk reuse: every chunk read back is
    // checked by its hash.
    bool proven = false;
};

// Whether the saved manifest and signature are byte for byte the served ones (an installation already
// current): that copy need be neither parsed nor checked again, nor saved again. Never fails.
bool previous_manifest_is(const std::filesystem::path& root, const SignedDocument& served);

// The manifest of the last successful run. Never fails.
PreviousManifest load_previous_manifest(const std::filesystem::path& root, std::string_view pubkey_b64,
                                        std::string_view product, std::string_view platform);

class PreviousVersionChunks {
public:
    // Never fails. Only files of `previous` whose patch state entry still names its hash and whose size on
    // disk matches are mapped; every entry is verified again by hash when it is read.
    static PreviousVersionChunks load(const std::filesystem::path& root, const Manifest& previous,
                                      const PatchState& state);

    LocalChunkMap& chunks() { return chunks_; }
    const LocalChunkMap& chunks() const { return chunks_; }

    // The file at `path` was replaced: its old bytes are gone and must not be read, under any name that
    // Windows takes for the same file. A chunk that another file of the previous version holds as well is
    // read from there from now on. Returns the names the previous version gave the file.
    std::vector<std::string> forget_file(const std::string& path);

private:
    LocalChunkMap chunks_; // the place fetch_chunk tries
    // Every file of the previous version that holds a chunk (its first place in each), in manifest order,
    // and the chunks of each file.
    std::unordered_map<std::string, std::vector<LocalChunkRef>> places_;
    std::unordered_map<std::string, std::vector<std::string>> hashes_by_name_; // by windows_key
};

} // namespace gu::patch
