#include "patch/trust_anchor.hpp"

#include "patch/json_fields.hpp"
#include "patch/state_file.hpp"

#include <boost/json/serialize.hpp>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "trust_anchor.json";

std::mutex g_anchored_mutex;
std::vector<std::string> g_anchored;

struct CachedAnchor {
    fs::path dir;
    TrustAnchor anchor;
};

std::mutex g_cache_mutex;
std::optional<CachedAnchor> g_cache;

void drop_cached_anchor() {
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    g_cache.reset();
}

std::vector<std::string> hash_list(const boost::json::value& value) {
    std::vector<std::string> hashes;
    if (const boost::json::string* single = value.if_string()) {
        hashes.emplace_back(single->data(), single->size());
    } else if (const boost::json::array* list = value.if_array()) {
        for (const boost::json::value& element : *list) {
            if (const boost::json::string* hash = element.if_string()) {
                hashes.emplace_back(hash->data(), hash->size());
            }
        }
    }
    return hashes;
}

TrustAnchor read_anchor(const fs::path& file) {
    TrustAnchor anchor;
    const std::optional<boost::json::object> object = load_state_object(file);
    if (!object) {
        return anchor;
    }
    if (const boost::json::value* files = object->if_contains("files"); files != nullptr && files->is_object()) {
        for (const boost::json::key_value_pair& member : files->get_object()) {
            std::vector<std::string> hashes = hash_list(member.value());
            if (!hashes.empty()) {
                anchor.files.emplace(std::string(member.key()), std::move(hashes));
            }
        }
    }
    // A version without a single usable entry vouches for nothing.
    if (!anchor.files.empty()) {
        anchor.version = optional_string(*object, "version");
    }
    return anchor;
}

bool contains(const std::vector<std::string>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

TrustAnchor TrustAnchor::load(const fs::path& dir) {
    if (dir.empty()) {
        return {};
    }
    {
        std::lock_guard<std::mutex> lock(g_cache_mutex);
        if (g_cache && g_cache->dir == dir) {
            return g_cache->anchor;
        }
    }
    TrustAnchor anchor = read_anchor(dir / kFileName);
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    g_cache = CachedAnchor{dir, anchor};
    return anchor;
}

void TrustAnchor::save(const fs::path& dir) const {
    boost::json::object files_object;
    files_object.reserve(files.size());
    for (const auto& [path, hashes] : files) {
        if (hashes.empty()) {
            continue;
        }
        boost::json::array list;
        list.reserve(hashes.size());
        for (const std::string& hash : hashes) {
            list.emplace_back(hash);
        }
        files_object.emplace(path, std::move(list));
    }
    boost::json::object object;
    object.emplace("version", version);
    object.emplace("files", std::move(files_object));
    // Whatever happens to the file, the next load reads it again.
    drop_cached_anchor();
    save_state_text(dir, kFileName, boost::json::serialize(object), "TrustAnchor");
}

std::vector<std::string> anchored_paths() {
    std::lock_guard<std::mutex> lock(g_anchored_mutex);
    return g_anchored;
}

void set_anchored_paths(std::vector<std::string> paths) {
    std::lock_guard<std::mutex> lock(g_anchored_mutex);
    g_anchored = std::move(paths);
}

TrustAnchor anchor_from_manifest(const Manifest& manifest) {
    const std::vector<std::string> anchored = anchored_paths();
    TrustAnchor anchor;
    anchor.version = manifest.version;
    for (const ManifestFile& file : manifest.files) {
        if (contains(anchored, file.path)) {
            anchor.files[file.path] = {file.sha256};
        }
    }
    return anchor;
}

TrustAnchor merge_anchors(const TrustAnchor& current, const TrustAnchor& target) {
    TrustAnchor merged;
    merged.version = target.version;
    for (const auto& [path, hashes] : current.files) {
        std::vector<std::string> list = hashes;
        if (const auto found = target.files.find(path); found != target.files.end()) {
            for (const std::string& hash : found->second) {
                if (!contains(list, hash)) {
                    list.push_back(hash);
                }
            }
        }
        merged.files.emplace(path, std::move(list));
    }
    return merged;
}

void forget_anchored_file(const fs::path& dir, std::string_view path) {
    if (dir.empty() || !contains(anchored_paths(), path)) {
        return;
    }
    // Best effort: an anchor that cannot be deleted only makes the copied file fail its anchor check,
    // which is what a half-copied file deserves anyway.
    std::error_code ignored;
    fs::remove(dir / kFileName, ignored);
    drop_cached_anchor();
}

} // namespace gu::patch
