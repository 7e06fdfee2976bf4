#include "patch/folder_cleanup.hpp"

#include "patch/link_test.hpp"

#include <string>

#include <windows.h>

namespace gu::patch {
namespace {

bool gone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// For attributes read through a handle, which is_link (by name) cannot be asked about.
bool has_reparse_point(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction or folder link goes as a link. (Wine shows a Unix symbolic link to a folder as a folder with a
// reparse point but cannot remove it at all: it stays, and so does everything it points to.)
bool remove_folder_link(const std::wstring& path) {
    return RemoveDirectoryW(path.c_str()) || gone(GetLastError());
}

bool remove_entry(const std::wstring& path);

bool remove_folder_entries(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        return gone(GetLastError());
    }
    bool removed = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            removed = remove_entry(folder + L"\\" + name) && removed;
        }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return removed;
}

bool remove_real_folder(const std::wstring& path) {
    // Opened on the link itself should it have become one, with listing access but without
    // FILE_SHARE_DELETE (a handle without data access would not count for sharing): while it is open the
    // folder cannot be renamed away and replaced by a junction.
    const HANDLE folder =
        CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return gone(GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(folder, &info) != FALSE;
    const bool link = !known || has_reparse_point(info.dwFileAttributes);
    const bool emptied = !link && remove_folder_entries(path);
    CloseHandle(folder);
    if (link) {
        return known && remove_folder_link(path);
    }
    return (RemoveDirectoryW(path.c_str()) || gone(GetLastError())) && emptied;
}

bool remove_entry(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return gone(GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // A file symbolic link is deleted as a link.
        return DeleteFileW(path.c_str()) || gone(GetLastError());
    }
    return is_link(path) ? remove_folder_link(path) : remove_real_folder(path);
}

} // namespace

bool remove_tree_no_follow(const std::filesystem::path& path) {
    const std::filesystem::path target = path.has_filename() ? path : path.parent_path();
    return remove_entry(target.wstring());
}

} // namespace gu::patch
