#include "launcher/shell/file_replace.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace launcher {

bool replaceFileOnPlatform(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void resetFileAttributes(const std::string& path) {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                 ignored);
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool copyFileOver(const std::string& from, const std::string& to) {
    resetFileAttributes(to);
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    return !ec;
}

} // namespace launcher
