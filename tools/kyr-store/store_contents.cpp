#include "tools/kyr-store/store_contents.hpp"

#include "tools/kyr-store/staged_file.hpp"

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <tuple>

#include <sys/stat.h>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

enum class EntryKind { file, folder };

// Names of the regular files or the folders in a store folder, sorted; none when the folder does not exist.
std::vector<std::string> entry_names(const fs::path& folder, EntryKind kind) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (kind == EntryKind::file ? it->is_regular_file() : it->is_directory()) {
            names.push_back(it->path().filename().u8string());
        }
    }
    if (error && error != std::errc::no_such_file_or_directory) {
        throw std::runtime_error("cannot list " + folder.u8string() + ": " + error.message());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> file_names(const fs::path& folder) {
    return entry_names(folder, EntryKind::file);
}

std::vector<std::string> folder_names(const fs::path& folder) {
    return entry_names(folder, EntryKind::folder);
}

std::vector<std::string> documents_in(const fs::path& store, const std::string& folder, const std::string& prefix) {
    std::vector<std::string> paths;
    for (const std::string& name : file_names(store / folder)) {
        if (name.rfind(prefix, 0) == 0 && fs::path(name).extension() == ".json") {
            paths.push_back(folder + "/" + name);
        }
    }
    return paths;
}

std::vector<StoreFile> with_sizes(const fs::path& store, const std::string& folder,
                                  const std::vector<std::string>& names) {
    std::vector<StoreFile> files;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        std::error_code error;
        const std::uintmax_t size = fs::file_size(store / path, error);
        files.push_back({path, error ? 0 : static_cast<std::uint64_t>(size)});
    }
    return files;
}

std::vector<PublishedVersion> read_history(const fs::path& store) {
    std::vector<PublishedVersion> versions;
    std::istringstream lines(read_store_file(store / kHistoryFile).value_or(""));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        PublishedVersion version;
        if (words >> version.channel >> version.manifest_path) {
            versions.push_back(version);
        }
    }
    return versions;
}

std::string history_text(const std::vector<PublishedVersion>& versions) {
    std::string text;
    for (const PublishedVersion& version : versions) {
        text += version.channel + " " + version.manifest_path + "\n";
    }
    return text;
}

fs::file_time_type modified(const fs::path& file) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(file, error);
    return error ? fs::file_time_type::min() : time;
}

} // namespace

std::vector<std::string> channel_paths(const fs::path& store) {
    return documents_in(store, "v1/channels", "");
}

std::vector<std::string> pack_index_paths(const fs::path& store) {
    return documents_in(store, "v1/packs", "index-");
}

std::vector<std::string> manifest_paths(const fs::path& store) {
    std::vector<std::string> paths = documents_in(store, "v1/manifests", "");
    for (const std::string& platform : folder_names(store / "v1/manifests")) {
        const std::vector<std::string> more = documents_in(store, "v1/manifests/" + platform, "");
        paths.insert(paths.end(), more.begin(), more.end());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<StoreFile> pack_files(const fs::path& store) {
    std::vector<std::string> names = file_names(store / "v1/packs");
    names.erase(std::remove_if(names.begin(), names.end(), [](auto& name) { return name.rfind("index-", 0) == 0; }),
                names.end());
    return with_sizes(store, "v1/packs", names);
}

std::vector<StoreFile> chunk_files(const fs::path& store) {
    std::vector<StoreFile> files;
    for (const std::string& prefix : folder_names(store / "v1/chunks")) {
        const std::string folder = "v1/chunks/" + prefix;
        const std::vector<StoreFile> more = with_sizes(store, folder, file_names(store / folder));
        files.insert(files.end(), more.begin(), more.end());
    }
    return files;
}

std::vector<std::string> current_manifests(const fs::path& store, const gu::patch::Channel& channel) {
    std::vector<std::string> present;
    for (std::string candidate : {"v1/manifests/" + channel.platform + "/" + channel.latest + ".json",
                                  "v1/manifests/" + channel.latest + ".json"}) {
        if (fs::exists(store / candidate)) {
            present.push_back(std::move(candidate));
        }
    }
    return present;
}

void record_publish(const fs::path& store, const std::string& channel, const std::string& manifest_path) {
    std::vector<PublishedVersion> versions = read_history(store);
    versions.push_back({channel, manifest_path});
    rewrite_history(store, versions);
}

void rewrite_history(const fs::path& store, const std::vector<PublishedVersion>& versions) {
    write_staged(store / kHistoryFile, history_text(versions), true);
}

std::vector<PublishedVersion> versions_in_publish_order(const fs::path& store) {
    const std::vector<std::string> on_disk = manifest_paths(store);
    std::set<std::string> unrecorded(on_disk.begin(), on_disk.end());
    // The last line of a manifest is its latest publish; collected newest first, then turned around.
    std::vector<PublishedVersion> recorded;
    const std::vector<PublishedVersion> history = read_history(store);
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        if (unrecorded.erase(it->manifest_path) != 0) {
            recorded.push_back(*it);
        }
    }
    std::reverse(recorded.begin(), recorded.end());

    std::vector<std::tuple<fs::file_time_type, std::string, std::string>> older;
    for (const std::string& path : unrecorded) {
        const std::string text = read_store_file(store / path).value_or("");
        try {
            older.emplace_back(modified(store / path), path, gu::patch::parse_manifest(text).channel);
        } catch (const gu::patch::ManifestError& e) {
            throw std::runtime_error(path + " is unreadable (" + e.what() + ") and the history does not name it");
        }
    }
    std::sort(older.begin(), older.end());
    std::vector<PublishedVersion> versions;
    for (const auto& [time, path, channel] : older) {
        versions.push_back({channel, path});
    }
    versions.insert(versions.end(), recorded.begin(), recorded.end());
    return versions;
}

} // namespace kyrstore
