#include "patch/engine_file.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace gu::patch::detail {
namespace {

std::FILE* stdio_file(int fd, const char* mode) {
    std::FILE* file = fdopen(fd, mode);
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

} // namespace

bool remove_file_or_link(const std::filesystem::path& path) {
    // unlink never follows a link and refuses a real folder.
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::FILE* create_exclusively(const std::filesystem::path& path, bool& exists) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        return nullptr;
    }
    return stdio_file(fd, "wb");
}

} // namespace gu::patch::detail
