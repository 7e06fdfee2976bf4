#include "patch/durable_file.hpp"

#include <windows.h>

namespace gu::patch {

// Each file is flushed on its own: a whole volume is flushed only through a handle to the volume, which
// needs administrator rights.
bool flushes_files_together(const std::filesystem::path&) {
    return false;
}

void start_writing_to_disk(const std::filesystem::path&) {}

void start_writing_to_disk(std::FILE*, std::uint64_t, std::uint64_t) {}

} // namespace gu::patch

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

// Never given a file (none flushes together); each on its own all the same.
std::error_code flush_file_systems(const std::vector<std::filesystem::path>& files, std::size_t& failed) {
    for (failed = 0; failed < files.size(); ++failed) {
        if (const std::error_code ec = flush_to_disk(files[failed], false)) {
            return ec;
        }
    }
    return {};
}

} // namespace gu::patch::detail
