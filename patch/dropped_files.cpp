#include "patch/dropped_files.hpp"

#include "patch/file_hash.hpp"
#include "patch/link_test.hpp"
#include "patch/local_path.hpp"
#include "patch/path_rules.hpp"
#include "patch/update_plan.hpp"

#include <algorithm>
#include <regex>
#include <system_error>
#include <unordered_set>

namespace gu::patch {

namespace {

namespace fs = std::filesystem;

std::vector<std::regex> preserve_patterns(const Manifest& previous, const Manifest& current) {
    std::vector<std::regex> patterns;
    for (const Manifest* manifest : {&previous, &current}) {
        for (const std::string& pattern : manifest->preserve) {
            patterns.push_back(glob_to_regex(pattern));
        }
    }
    return patterns;
}

void remove_empty_folders_above(const fs::path& root, const std::string& relative) {
    for (fs::path folder = fs::u8path(relative).parent_path(); !folder.empty(); folder = folder.parent_path()) {
        std::error_code ec;
        const fs::path at = root / folder;
        if (!fs::is_empty(at, ec) || ec || !fs::remove(at, ec)) {
            return;
        }
    }
}

// The highest of the removed file and the folders that went with it: its folder lost an entry.
fs::path highest_removed(const fs::path& root, const std::string& relative) {
    fs::path entry = local_path(root, relative);
    std::error_code ec;
    while (entry.parent_path() != root && !fs::is_directory(entry.parent_path(), ec)) {
        entry = entry.parent_path();
    }
    return entry;
}

} // namespace

bool holds_installed_bytes(const fs::path& root, std::string_view relative, const ManifestFile& installed) {
    const fs::path target = local_path(root, relative);
    std::error_code ec;
    if (leads_through_link(root, relative) || !fs::is_regular_file(target, ec) ||
        fs::file_size(target, ec) != installed.size || ec) {
        return false;
    }
    try {
        return sha256_hex_file(target) == installed.sha256;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> dropped_files(const fs::path& root, const Manifest& previous, const Manifest& current) {
    std::unordered_set<std::string> listed;
    for (const ManifestFile& file : current.files) {
        listed.insert(windows_key(file.path));
    }
    const std::vector<std::regex> preserve = preserve_patterns(previous, current);
    std::vector<std::string> dropped;
    for (const ManifestFile& file : previous.files) {
        const bool preserved = std::any_of(preserve.begin(), preserve.end(), [&](const std::regex& pattern) {
            return std::regex_match(file.path, pattern);
        });
        if (!is_safe_relative_path(file.path) || listed.count(windows_key(file.path)) != 0 || preserved ||
            !holds_installed_bytes(root, file.path, file)) {
            continue;
        }
        dropped.push_back(file.path);
    }
    return dropped;
}

std::vector<std::string> remove_dropped_files(const fs::path& root, const std::vector<std::string>& paths,
                                              const std::function<void(const std::string&)>& log,
                                              FolderFlushes& changed) {
    std::vector<std::string> removed;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (leads_through_link(root, path) || !fs::remove(local_path(root, path), ec)) {
            if (log) {
                log("dropped file " + path + " not removed" + (ec ? ": " + ec.message() : std::string()));
            }
            continue;
        }
        removed.push_back(path);
        remove_empty_folders_above(root, path);
    }
    // Only once all are gone: a folder that lost one file may have gone with the next.
    for (const std::string& path : removed) {
        changed.add_folders_of(highest_removed(root, path), root);
    }
    return removed;
}

} // namespace gu::patch
