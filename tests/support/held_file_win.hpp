#pragma once
// Holds a file open with chosen access and sharing, the way a running game or another program would, so
// that Windows refuses what that sharing forbids (a replace, a delete, another writer). It also stands in
// for a read-only file: Wine running as root writes read-only files all the same, while sharing modes are
// always enforced.

#include <windows.h>

#include <string>

namespace kyrtest {

class HeldFile {
public:
    HeldFile(const std::string& path, DWORD access, DWORD sharing)
        : handle_(CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle_;
};

} // namespace kyrtest
