#include "patch/durable_file.hpp"

#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace gu::patch {
namespace {

// The file systems whose syncfs writes every file with its inode and folder, commits the journal (or
// tree) and empties the disk's cache. FUSE (ntfs-3g, sshfs) and network file systems do not pass syncfs
// on to where the data lives, only fsync; for tmpfs and anything unknown fsync is the one sure way too.
constexpr std::uint32_t kExtMagic = 0xEF53; // ext2, ext3, ext4
constexpr std::uint32_t kXfsMagic = 0x58465342;
constexpr std::uint32_t kBtrfsMagic = 0x9123683E;

bool syncfs_is_durable(std::uint32_t file_system_type) {
    return file_system_type == kExtMagic || file_system_type == kXfsMagic || file_system_type == kBtrfsMagic;
}

// Asked once per file system: on FUSE each statfs is a round trip to its daemon.
std::mutex known_lock;
std::map<dev_t, bool> known_together;

std::optional<bool> remembered(dev_t device) {
    const std::lock_guard<std::mutex> lock(known_lock);
    const auto found = known_together.find(device);
    return found != known_together.end() ? std::optional<bool>(found->second) : std::nullopt;
}

bool together_on(dev_t device, const std::filesystem::path& file) {
    if (file_system_type_probe != nullptr) {
        return syncfs_is_durable(file_system_type_probe(file));
    }
    if (const std::optional<bool> known = remembered(device)) {
        return *known;
    }
    struct statfs info {};
    if (statfs(file.c_str(), &info) != 0) {
        return false; // not remembered: the next file may be read
    }
    // The kernel's magic numbers are 32 bits; a 32-bit build's f_type is signed.
    const bool together = syncfs_is_durable(static_cast<std::uint32_t>(info.f_type));
    const std::lock_guard<std::mutex> lock(known_lock);
    known_together.emplace(device, together);
    return together;
}

} // namespace

bool flushes_files_together(const std::filesystem::path& file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 && together_on(info.st_dev, file);
}

void start_writing_to_disk(const std::filesystem::path& file) {
    if (!flushes_files_together(file)) {
        return;
    }
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

// A game folder may hold another file system's mount: each one the files are on is flushed.
std::error_code flush_file_systems(const std::vector<std::filesystem::path>& files, std::size_t& failed) {
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
