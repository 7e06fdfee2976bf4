#include "patch/durable_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/errors.hpp"

namespace gu::patch {
namespace {

void observe(const std::filesystem::path& path, Flush how) {
    if (flush_observer != nullptr) {
        flush_observer(path, how);
    }
}

void throw_if_failed(const std::error_code& ec, const std::filesystem::path& path) {
    if (ec) {
        throw LocalWriteError("write failed: cannot flush " + path_text(path) + " to disk: " + ec.message());
    }
}

void flush(const std::filesystem::path& path, bool is_folder) {
    observe(path, Flush::alone);
    throw_if_failed(detail::flush_to_disk(path, is_folder), path);
}

} // namespace

void flush_file_to_disk(const std::filesystem::path& file) {
    flush(file, false);
}

void flush_files_to_disk(const std::vector<std::filesystem::path>& files) {
    std::vector<std::filesystem::path> together;
    for (const std::filesystem::path& file : files) {
        if (flushes_files_together(file)) {
            observe(file, Flush::with_file_system);
            together.push_back(file);
        } else {
            flush(file, false);
        }
    }
    std::size_t failed = 0;
    if (const std::error_code ec = detail::flush_file_systems(together, failed)) {
        throw_if_failed(ec, together[failed]);
    }
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
