#include "launcher/game/engine_files.hpp"

#include <sys/stat.h>

namespace launcher {

bool isFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool fileSize(const std::string& path, std::uint64_t& size) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

} // namespace launcher
