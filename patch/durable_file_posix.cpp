#include "patch/durable_file.hpp"

#include <cerrno>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gu::patch {

bool flushes_files_together() {
    return true;
}

void start_writing_to_disk(const std::filesystem::path& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        close(fd);
    }
}

void start_writing_to_disk(std::FILE* file, std::uint64_t offset, std::uint64_t length) {
    sync_file_range(fileno(file), static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

} // namespace gu::patch

namespace gu::patch::detail {
namespace {

std::error_code last_error() {
    return std::error_code(errno, std::generic_category());
}

} // namespace

std::error_code flush_to_disk(const std::filesystem::path& path, bool is_folder) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | (is_folder ? O_DIRECTORY : 0));
    if (fd < 0) {
        return std::error_code(errno, std::generic_category());
    }
    // EINVAL: a file system that has nothing to flush for this kind of file (some refuse it for folders).
    const int result = fsync(fd);
    const int error = errno;
    close(fd);
    if (result != 0 && error != EINVAL) {
        return std::error_code(error, std::generic_category());
    }
    return {};
}

// syncfs writes every file of a file system, with its inode and folder, and then empties the disk's cache
// once. A game folder may hold another file system's mount: each one the files are on is flushed.
std::error_code flush_all_to_disk(const std::vector<std::filesystem::path>& files, std::size_t& failed) {
    std::set<dev_t> flushed;
    for (failed = 0; failed < files.size(); ++failed) {
        const int fd = open(files[failed].c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return last_error();
        }
        struct stat info {};
        int result = fstat(fd, &info);
        if (result == 0 && flushed.insert(info.st_dev).second) {
            result = syncfs(fd);
        }
        const std::error_code ec = result != 0 ? last_error() : std::error_code();
        close(fd);
        if (ec) {
            return ec;
        }
    }
    return {};
}

} // namespace gu::patch::detail
