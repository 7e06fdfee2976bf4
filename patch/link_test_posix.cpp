#include "patch/link_test.hpp"

#include <cerrno>

#include <sys/stat.h>

namespace gu::patch {

bool is_link(const std::filesystem::path& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return errno != ENOENT && errno != ENOTDIR;
    }
    return S_ISLNK(status.st_mode);
}

} // namespace gu::patch
