#include "tools/kyr-store/prune.hpp"

#include "tools/kyr-store/staged_file.hpp"
#include "tools/kyr-store/store_lock.hpp"

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <map>
#include <set>
#include <stdexcept>
#include <system_error>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

std::string extension(const std::string& store_path) {
    return fs::path(store_path).extension().u8string();
}

// A document that decides what stays: when it cannot be read, nothing is removed.
template <typename Parse> auto read_deciding_document(const fs::path& store, const std::string& path, Parse parse) {
    const std::optional<std::string> text = read_store_file(store / path);
    if (!text) {
        throw std::runtime_error("cannot prune: " + path + " is missing");
    }
    try {
        return parse(*text);
    } catch (const gu::patch::ManifestError& e) {
        throw std::runtime_error("cannot prune: " + path + " is unreadable (" + e.what() + ")");
    }
}

struct Plan {
    std::vector<PublishedVersion> kept;
    std::vector<StoreFile> manifests; // of the removed versions, each ".sig" before its document
    std::vector<StoreFile> objects;   // packs, chunk objects and leftovers
};

// What the channels and pack indexes name now: the current manifests, the packs and their chunks.
void add_current(const fs::path& store, std::set<std::string>& manifests, std::set<std::string>& packs,
                 std::set<std::string>& chunks) {
    for (const std::string& path : channel_paths(store)) {
        const gu::patch::Channel channel = read_deciding_document(store, path, gu::patch::parse_channel);
        const std::vector<std::string> current = current_manifests(store, channel);
        manifests.insert(current.begin(), current.end());
        if (current.empty()) {
            throw std::runtime_error("cannot prune: " + path + " names version \"" + channel.latest +
                                     "\", whose manifest is missing");
        }
    }
    for (const std::string& path : pack_index_paths(store)) {
        const gu::patch::PackIndex index = read_deciding_document(store, path, gu::patch::parse_pack_index);
        for (const gu::patch::PackEntry& pack : index.packs) {
            packs.insert(pack.name);
        }
        for (const auto& chunk : index.chunks) {
            chunks.insert(chunk.first);
        }
    }
}

Plan plan_prune(const fs::path& store, std::uint64_t keep) {
    std::set<std::string> kept_manifests;
    std::set<std::string> kept_packs;
    std::set<std::string> kept_chunks;
    add_current(store, kept_manifests, kept_packs, kept_chunks);

    const std::vector<PublishedVersion> versions = versions_in_publish_order(store);
    std::map<std::string, std::uint64_t> newer_in_channel;
    for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
        if (++newer_in_channel[it->channel] <= keep) {
            kept_manifests.insert(it->manifest_path);
        }
    }
    Plan plan;
    for (const PublishedVersion& version : versions) {
        if (kept_manifests.count(version.manifest_path) != 0) {
            plan.kept.push_back(version);
            continue;
        }
        const fs::path document = store / version.manifest_path;
        if (fs::exists(fs::path(document) += ".sig")) {
            plan.manifests.push_back({version.manifest_path + ".sig", fs::file_size(fs::path(document) += ".sig")});
        }
        plan.manifests.push_back({version.manifest_path, fs::file_size(document)});
    }
    for (const std::string& path : kept_manifests) {
        const gu::patch::Manifest manifest = read_deciding_document(store, path, gu::patch::parse_manifest);
        for (const gu::patch::ManifestFile& file : manifest.files) {
            for (const gu::patch::ManifestChunk& chunk : file.chunks) {
                kept_chunks.insert(chunk.h);
            }
        }
    }

    for (const StoreFile& file : pack_files(store)) {
        const std::string kind = extension(file.path);
        const std::string name = fs::path(file.path).filename().u8string();
        if (kind == ".tmp" || (kind == ".pack" && kept_packs.count(name) == 0)) {
            plan.objects.push_back(file);
        }
    }
    for (const StoreFile& file : chunk_files(store)) {
        const std::string kind = extension(file.path);
        const std::string h = fs::path(file.path).stem().u8string();
        if (kind == ".tmp" || (kind == ".zst" && kept_chunks.count(h) == 0)) {
            plan.objects.push_back(file);
        }
    }
    return plan;
}

void remove_file(const fs::path& store, const StoreFile& file, const PruneOptions& options, PruneSummary& summary) {
    if (options.before_removal) {
        options.before_removal(file.path);
    }
    std::error_code error;
    if (!fs::remove(store / file.path, error) && error) {
        throw std::runtime_error("cannot remove " + file.path + ": " + error.message());
    }
    summary.removed.push_back(file);
    summary.bytes += file.size;
}

void count_kinds(PruneSummary& summary, const Plan& plan) {
    for (const StoreFile& file : plan.manifests) {
        summary.manifests += extension(file.path) == ".json" ? 1 : 0;
    }
    for (const StoreFile& file : plan.objects) {
        summary.chunk_objects += extension(file.path) == ".zst" ? 1 : 0;
        summary.packs += extension(file.path) == ".pack" ? 1 : 0;
    }
}

} // namespace

PruneSummary prune(const PruneOptions& options) {
    if (options.keep == 0) {
        throw std::runtime_error("--keep must be at least 1");
    }
    const fs::path& store = options.store_dir;
    if (!fs::is_directory(store / "v1")) {
        throw std::runtime_error(store.u8string() + " holds no store (no v1 folder)");
    }
    const StoreLock lock(store);
    const Plan plan = plan_prune(store, options.keep);
    PruneSummary summary;
    summary.kept = plan.kept;
    count_kinds(summary, plan);
    if (options.dry_run) {
        for (const auto* files : {&plan.manifests, &plan.objects}) {
            for (const StoreFile& file : *files) {
                summary.removed.push_back(file);
                summary.bytes += file.size;
            }
        }
        return summary;
    }
    // Old manifests go first and are gone on disk before any object goes: whatever moment a crash or a power
    // cut stops the prune at, every manifest left in the store still finds all of its objects, so each one
    // still installs (and a later prune finishes the job). Objects first would leave manifests that name
    // missing chunks. Packs and objects that only old versions used are named by nothing that stays.
    for (const StoreFile& file : plan.manifests) {
        remove_file(store, file, options, summary);
    }
    if (!plan.manifests.empty()) {
        flush_file_system();
    }
    rewrite_history(store, plan.kept);
    for (const StoreFile& file : plan.objects) {
        remove_file(store, file, options, summary);
    }
    return summary;
}

} // namespace kyrstore
