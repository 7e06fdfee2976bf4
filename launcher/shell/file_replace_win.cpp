#include "launcher/shell/file_replace.hpp"

#include <windows.h>

namespace launcher {

bool replaceFileOnPlatform(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void resetFileAttributes(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool copyFileOver(const std::string& from, const std::string& to) {
    resetFileAttributes(to);
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

} // namespace launcher
