#include "launcher/game/engine_files.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

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

bool deleteFile(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

bool copyFileNew(const std::string& from, const std::string& to) {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec) && !ec;
}

} // namespace launcher
