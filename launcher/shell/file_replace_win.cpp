#include "launcher/shell/file_replace.hpp"

#include "launcher/shell/safe_path.hpp"

#include <windows.h>

namespace launcher {
namespace {

// The launcher's paths are in the ANSI code page.
std::wstring widenAnsi(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

} // namespace

bool replaceFileOnPlatform(const std::string& from, const std::string& to) {
    const std::wstring source = widenAnsi(from);
    const std::wstring target = widenAnsi(to);
    return !source.empty() && !target.empty() && clearLinkAt(to) &&
           MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void resetFileAttributes(const std::string& path) {
    if (!isLinkAt(path) && !hasOtherNames(path)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

bool removeFile(const std::string& path) {
    return isLinkAt(path) ? clearLinkAt(path) : DeleteFileA(path.c_str()) != FALSE;
}

} // namespace launcher
