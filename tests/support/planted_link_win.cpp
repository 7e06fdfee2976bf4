#include "support/planted_link.hpp"

#include <functional>
#include <string>

#include <windows.h>

namespace kyrtest {
namespace {

// Under Wine only: the Unix name of a path whose folder exists.
std::wstring unix_name(const std::filesystem::path& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto to_unix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = to_unix != nullptr ? to_unix(path.parent_path().wstring().c_str()) : nullptr;
    if (name == nullptr) {
        return {};
    }
    const std::string folder = name;
    HeapFree(GetProcessHeap(), 0, name);
    return std::wstring(folder.begin(), folder.end()) + L"/" + path.filename().wstring(); // ASCII scratch names
}

bool is_link(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Under Wine only: runs a host program as a Unix process and waits up to five seconds until `done` says
// it has acted (Wine gives no usable handle to such a process, so it cannot be waited for).
bool run_on_host(std::wstring command, const std::function<bool()>& done) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int tries = 0; tries < 250 && !done(); ++tries) {
        Sleep(20);
    }
    return done();
}

} // namespace

PlantedLink plant_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    const std::wstring unix_link = unix_name(link);
    if (unix_link.empty()) {
        return PlantedLink::none;
    }
    return run_on_host(L"Z:\\bin\\ln -s \"" + unix_name(target) + L"\" \"" + unix_link + L"\"",
                       [&] { return is_link(link); })
               ? PlantedLink::wine_unix_link
               : PlantedLink::none;
}

void remove_planted_link(const std::filesystem::path& link) {
    if (!RemoveDirectoryW(link.wstring().c_str())) {
        const std::wstring unix_link = unix_name(link);
        if (!unix_link.empty()) {
            run_on_host(L"Z:\\bin\\rm -f \"" + unix_link + L"\"", [&] { return !is_link(link); });
        }
    }
}

} // namespace kyrtest
