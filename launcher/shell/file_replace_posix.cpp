#include "launcher/shell/file_replace.hpp"

#include "launcher/shell/safe_path.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace launcher {

bool replaceFileOnPlatform(const std::string& from, const std::string& to) {
    return clearLinkAt(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

void resetFileAttributes(const std::string& path) {
    if (isLinkAt(path) || hasOtherNames(path)) {
        return;
    }
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                 ignored);
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

} // namespace launcher
