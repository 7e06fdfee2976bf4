#include "launcher/shell/folder_path.hpp"

#include <windows.h>

namespace launcher {

std::string enginePath(const std::string& path) {
    const int length = static_cast<int>(path.size());
    const int wideChars = MultiByteToWideChar(CP_ACP, 0, path.data(), length, nullptr, 0);
    if (wideChars <= 0) {
        return path;
    }
    std::wstring wide(static_cast<std::size_t>(wideChars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), length, wide.data(), wideChars);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideChars, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return path;
    }
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideChars, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

} // namespace launcher
