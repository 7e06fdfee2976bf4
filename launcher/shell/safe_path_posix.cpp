#include "launcher/shell/safe_path.hpp"

#include <sys/stat.h>
#include <unistd.h>

namespace launcher {

bool clearLinkAt(const std::string& path) {
    return !isLinkAt(path) || ::unlink(path.c_str()) == 0;
}

bool hasOtherNames(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && info.st_nlink > 1;
}

namespace detail {

// Without an object namespace, any link that resolves to a folder leads to one on a drive.
bool linkLeadsToDriveFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace detail
} // namespace launcher
