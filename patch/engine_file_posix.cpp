#include "patch/engine_file.hpp"

#include "patch/link_test.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gu::patch {
namespace {

std::FILE* stdio_file(int fd, const char* mode) {
    std::FILE* file = fdopen(fd, mode);
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

} // namespace

AppendFile open_to_append(const std::filesystem::path& path) {
    // O_NONBLOCK: a FIFO under the name would hold the open until someone reads from it.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return {nullptr, true};
        }
        return {nullptr, is_link(path) && detail::remove_file_or_link(path)};
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        close(fd);
        return {};
    }
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1) {
        close(fd);
        return {nullptr, detail::remove_file_or_link(path)};
    }
    fcntl(fd, F_SETFL, O_APPEND);
    return {stdio_file(fd, "ab"), false};
}

} // namespace gu::patch

namespace gu::patch::detail {

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
