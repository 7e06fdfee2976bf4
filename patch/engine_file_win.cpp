#include "patch/engine_file.hpp"

#include "patch/link_test.hpp"

#include <cstdint>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace gu::patch::detail {
namespace {

// The sharing of the C library's own opens, so that readers of a part being written still open it.
constexpr DWORD kSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool gone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::FILE* stdio_file(HANDLE handle, const char* mode) {
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, mode);
    if (file == nullptr) {
        _close(fd);
    }
    return file;
}

} // namespace

bool remove_file_or_link(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return gone(GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // A junction or a link to a folder goes as a link (RemoveDirectoryW never enters it); a real
        // folder stays. (Wine cannot remove a Unix link to a folder at all.)
        return is_link(path) && (RemoveDirectoryW(path.c_str()) || gone(GetLastError()));
    }
    // A file's symbolic link is deleted as a link.
    return DeleteFileW(path.c_str()) || gone(GetLastError());
}

std::FILE* create_exclusively(const std::filesystem::path& path, bool& exists) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, kSharing, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return stdio_file(handle, "wb");
}

} // namespace gu::patch::detail
