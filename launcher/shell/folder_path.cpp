#include "launcher/shell/folder_path.hpp"

namespace launcher {

std::string joinFolderPath(std::string_view folder, std::string_view relative) {
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    std::string path(folder);
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) {
        path.push_back(kSeparator);
    }
    for (const char c : relative) {
        path.push_back(c == '\\' ? kSeparator : c);
    }
    return path;
}

} // namespace launcher
