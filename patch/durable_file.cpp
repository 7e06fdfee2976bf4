#include "patch/durable_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/errors.hpp"

namespace gu::patch {
namespace {

void flush(const std::filesystem::path& path, bool is_folder) {
    if (flush_observer != nullptr) {
        flush_observer(path);
    }
    const std::error_code ec = detail::flush_to_disk(path, is_folder);
    if (ec) {
        throw LocalWriteError("write failed: cannot flush " + path_text(path) + " to disk: " + ec.message());
    }
}

} // namespace

void flush_file_to_disk(const std::filesystem::path& file) {
    flush(file, false);
}

void flush_folder_to_disk(const std::filesystem::path& folder) {
    flush(folder.empty() ? std::filesystem::path(".") : folder, true);
}

void FolderFlushes::add_folders_of(const std::filesystem::path& file, const std::filesystem::path& root) {
    std::filesystem::path folder = file.parent_path();
    // Stops at root, and at a folder that is already there with its parents.
    while (folders_.insert(folder).second && folder != root && folder.has_relative_path() &&
           folder.parent_path() != folder) {
        folder = folder.parent_path();
    }
}

void FolderFlushes::flush() {
    for (const std::filesystem::path& folder : folders_) {
        flush_folder_to_disk(folder);
    }
    folders_.clear();
}

} // namespace gu::patch
