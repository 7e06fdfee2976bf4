#include "patch/durable_file.hpp"

#include <windows.h>

namespace gu::patch::detail {

std::error_code flush_to_disk(const std::filesystem::path& path, bool is_folder) {
    if (is_folder) {
        return {};
    }
    // FlushFileBuffers needs write access; every sharing mode, so that no other handle is disturbed.
    const HANDLE file =
        CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::error_code(static_cast<int>(GetLastError()), std::system_category());
    }
    const bool flushed = FlushFileBuffers(file) != FALSE;
    const DWORD error = GetLastError();
    CloseHandle(file);
    return flushed ? std::error_code() : std::error_code(static_cast<int>(error), std::system_category());
}

} // namespace gu::patch::detail
