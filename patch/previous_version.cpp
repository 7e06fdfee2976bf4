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

std::string read_text(const fs::path& file) {
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

void save_previous_manifest(const fs::path& root, std::string_view manifest_text) {
    save_state_text(root, kPreviousManifestFile, manifest_text, "PreviousManifest");
}

Manifest load_previous_manifest(const fs::path& root) {
    try {
        return parse_manifest(read_text(root / kPreviousManifestFile));
    } catch (const std::exception&) {
        return Manifest{};
    }
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
        std::uint64_t offset = 0;
        for (const ManifestChunk& chunk : file.chunks) {
            std::vector<LocalChunkRef>& places = result.places_[chunk.h];
            if (places.empty() || places.back().path != file.path) {
                places.push_back(LocalChunkRef{file.path, offset, chunk.n});
                result.hashes_by_path_[file.path].push_back(chunk.h);
                result.chunks_.emplace(chunk.h, places.front());
            }
            offset += chunk.n;
        }
    }
    return result;
}

void PreviousVersionChunks::forget_file(const std::string& path) {
    const auto found = hashes_by_path_.find(path);
    if (found == hashes_by_path_.end()) {
        return;
    }
    for (const std::string& hash : found->second) {
        const auto places = places_.find(hash);
        if (places == places_.end()) {
            continue; // a path listed twice in the saved manifest
        }
        std::vector<LocalChunkRef>& others = places->second;
        others.erase(std::remove_if(others.begin(), others.end(),
                                    [&](const LocalChunkRef& place) { return place.path == path; }),
                     others.end());
        // An entry that fetch_chunk already dropped as stale stays dropped.
        const auto entry = chunks_.find(hash);
        if (entry != chunks_.end() && entry->second.path == path) {
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
    hashes_by_path_.erase(found);
}

} // namespace gu::patch
