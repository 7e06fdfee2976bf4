#pragma once
// Holds a file open with chosen access and sharing, the way a running game or another program would, so
// that Windows refuses what that sharing forbids (a replace, a delete, another writer).

#include <windows.h>

#include <string>

namespace kyrtest {

class HeldFile {
public:
    HeldFile(const std::string& path, DWORD access, DWORD sharing)
        : handle_(CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

} // namespace kyrtest
