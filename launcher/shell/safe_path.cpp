#include "launcher/shell/safe_path.hpp"

#include "launcher/shell/folder_path.hpp"
#include "patch/link_test.hpp"

#include <filesystem>

namespace launcher {

// The engine's link test, so that the launcher and the engine never disagree on what a link is.
bool isLinkAt(const std::string& path) {
    return gu::patch::is_link(std::filesystem::u8path(enginePath(path)));
}

bool readyToWriteInPlace(const std::string& path) {
    return clearLinkAt(path) && !hasOtherNames(path);
}

bool isDriveFinalPath(std::wstring_view finalPath) {
    constexpr std::wstring_view kLocal = L"\\\\?\\";
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    if (finalPath.substr(0, kUnc.size()) == kUnc) {
        return finalPath.size() > kUnc.size();
    }
    if (finalPath.substr(0, kLocal.size()) != kLocal || finalPath.size() < kLocal.size() + 3) {
        return false;
    }
    const wchar_t drive = finalPath[kLocal.size()];
    const bool letter = (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    return letter && finalPath[kLocal.size() + 1] == L':' && finalPath[kLocal.size() + 2] == L'\\';
}

bool foldersStayOnDrives(const std::string& root, std::string_view relative) {
    std::string folder = root;
    while (!relative.empty()) {
        const std::size_t end = relative.find_first_of("\\/");
        folder = joinFolderPath(folder, relative.substr(0, end));
        relative = end == std::string_view::npos ? std::string_view() : relative.substr(end + 1);
        if (isLinkAt(folder) && !detail::linkLeadsToDriveFolder(folder)) {
            return false;
        }
    }
    return true;
}

} // namespace launcher
