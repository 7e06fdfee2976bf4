#pragma once
// Holds a file open the way another program does (a running game, an editor), so that the launcher's
// writes to it fail. Windows only. It also stands in for a read-only config.ini: Wine running as root, as
// the test machines do, writes read-only files all the same, while sharing modes are always enforced.

#include <windows.h>

#include <string>

namespace kyrtest {

class HeldFile {
public:
    HeldFile(const std::string& path, DWORD sharing)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {}
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool isHeld() const { return handle_ != INVALID_HANDLE_VALUE; }
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
