#include "patch/previous_version.hpp"

#include "patch/local_path.hpp"
#include "patch/path_rules.hpp"
#include "patch/state_file.hpp"
#include "patch/store_documents.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

// The whole file, or an empty text when it cannot be read or is larger than a store would send.
std::string read_text(const fs::path& file, std::uint64_t max_bytes) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > max_bytes) {
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool size_matches(const fs::path& file, std::uint64_t size) {
    std::error_code ec;
    const std::uintmax_t actual = fs::file_size(file, ec);
    return !ec && actual == size;
}

} // namespace

void save_previous_manifest(const fs::path& root, const SignedDocument& manifest) {
    // Whichever is saved first, a run cut off between the two leaves a pair that does not prove itself.
    save_state_text(root, kPreviousManifestSignatureFile, manifest.signature, "PreviousManifest");
    save_state_text(root, kPreviousManifestFile, manifest.text, "PreviousManifest");
}

bool previous_manifest_is(const fs::path& root, const SignedDocument& served) {
    try {
        return read_text(root / kPreviousManifestSignatureFile, kMaxSignatureBytes) == served.signature &&
               read_text(root / kPreviousManifestFile, kMaxDocumentBytes) == served.text;
    } catch (const std::exception&) {
        return false;
    }
}

PreviousManifest load_previous_manifest(const fs::path& root, std::string_view pubkey_b64, std::string_view product,
                                        std::string_view platform) {
    PreviousManifest previous;
    try {
        const std::string text = read_text(root / kPreviousManifestFile, kMaxDocumentBytes);
        previous.manifest = parse_manifest(text);
        const std::string signature = read_text(root / kPreviousManifestSignatureFile, kMaxSignatureBytes);
        if (signature_holds(text, signature, pubkey_b64)) {
            validate_manifest(previous.manifest, product, platform);
            previous.proven = true;
        }
    } catch (const std::exception&) {
        // Unreadable: nothing to reuse. Readable but not for this product or platform: reuse only.
    }
    return previous;
}

PreviousVersionChunks PreviousVersionChunks::load(const fs::path& root, const Manifest& previous,
                                                  const PatchState& state) {
    PreviousVersionChunks result;
    for (const ManifestFile& file : previous.files) {
        const auto known = state.files.find(file.path);
        // The saved copy is only a hint (every chunk is verified when read), but it is never allowed to
        // point outside the installation.
        if (!installed_path_problem(file.path).empty() || known == state.files.end() || known->second != file.sha256 ||
            !size_matches(local_path(root, file.path), file.size)) {
            continue;
        }
        std::vector<std::string>& hashes = result.hashes_by_name_[windows_key(file.path)];
        std::uint64_t offset = 0;
        for (const ManifestChunk& chunk : file.chunks) {
            std::vector<LocalChunkRef>& places = result.places_[chunk.h];
            if (places.empty() || places.back().path != file.path) {
                places.push_back(LocalChunkRef{file.path, offset, chunk.n});
                hashes.push_back(chunk.h);
                result.chunks_.emplace(chunk.h, places.front());
            }
            offset += chunk.n;
        }
    }
    return result;
}

std::vector<std::string> PreviousVersionChunks::forget_file(const std::string& path) {
    const std::string name = windows_key(path);
    const auto found = hashes_by_name_.find(name);
    if (found == hashes_by_name_.end()) {
        return {};
    }
    std::vector<std::string> spellings;
    const auto is_this_file = [&](const LocalChunkRef& place) {
        if (windows_key(place.path) != name) {
            return false;
        }
        if (std::find(spellings.begin(), spellings.end(), place.path) == spellings.end()) {
            spellings.push_back(place.path);
        }
        return true;
    };
    for (const std::string& hash : found->second) {
        const auto places = places_.find(hash);
        if (places == places_.end()) {
            continue; // a name listed twice in the saved manifest
        }
        std::vector<LocalChunkRef>& others = places->second;
        others.erase(std::remove_if(others.begin(), others.end(), is_this_file), others.end());
        // An entry that fetch_chunk already dropped as stale stays dropped.
        const auto entry = chunks_.find(hash);
        if (entry != chunks_.end() && windows_key(entry->second.path) == name) {
            if (others.empty()) {
                chunks_.erase(entry);
            } else {
                entry->second = others.front();
            }
        }
        if (others.empty()) {
            places_.erase(places);
        }
    }
    hashes_by_name_.erase(found);
    return spellings;
}

} // namespace gu::patch
