#include "launcher/shell/safe_path.hpp"

#include <windows.h>

#include <vector>

namespace launcher {
namespace {

class OpenHandle {
public:
    explicit OpenHandle(HANDLE handle) : handle_(handle) {}
    ~OpenHandle() {
        if (isOpen()) {
            CloseHandle(handle_);
        }
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Opens path only to query it; followLink false opens a link itself.
HANDLE openToQuery(const std::string& path, bool followLink) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       flags, nullptr);
}

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

bool clearLinkAt(const std::string& path) {
    if (!isLinkAt(path)) {
        return true;
    }
    // Both remove a link itself: RemoveDirectory a link to a folder (or a junction), DeleteFile one to a file.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool folderLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folderLink ? !RemoveDirectoryA(path.c_str()) : !DeleteFileA(path.c_str())) {
        return false;
    }
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES && isMissing(GetLastError());
}

bool hasOtherNames(const std::string& path) {
    const OpenHandle file(openToQuery(path, false));
    BY_HANDLE_FILE_INFORMATION information;
    return file.isOpen() && GetFileInformationByHandle(file.get(), &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && information.nNumberOfLinks > 1;
}

namespace detail {

bool linkLeadsToDriveFolder(const std::string& path) {
    const OpenHandle folder(openToQuery(path, true));
    BY_HANDLE_FILE_INFORMATION information;
    if (!folder.isOpen() || !GetFileInformationByHandle(folder.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    const DWORD length = GetFinalPathNameByHandleW(folder.get(), nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) {
        return false;
    }
    std::vector<wchar_t> finalPath(length + 1, L'\0');
    const DWORD written =
        GetFinalPathNameByHandleW(folder.get(), finalPath.data(), length + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return written != 0 && written <= length && isDriveFinalPath(std::wstring_view(finalPath.data(), written));
}

} // namespace detail
} // namespace launcher
