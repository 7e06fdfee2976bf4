#include "patch/durable_file.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace gu::patch::detail {

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

} // namespace gu::patch::detail
