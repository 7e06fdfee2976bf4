#include "support/planted_link.hpp"

#include "support/host_path_win.hpp"

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

DWORD attributes_of(const std::filesystem::path& path) {
    return GetFileAttributesW(path.wstring().c_str());
}

bool is_link(const std::filesystem::path& path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A host program acts within this long, or the link counts as not planted.
constexpr int kHostTimeoutMs = 5000;

} // namespace

PlantedLink plant_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    const std::wstring unix_link = unix_name(link);
    if (unix_link.empty()) {
        return PlantedLink::none;
    }
    return run_on_host(
               L"Z:\\bin\\ln -s \"" + unix_name(target) + L"\" \"" + unix_link + L"\"", [&] { return is_link(link); },
               kHostTimeoutMs)
               ? PlantedLink::wine_unix_link
               : PlantedLink::none;
}

bool file_links_show() {
    return false;
}

void remove_planted_link(const std::filesystem::path& link) {
    if (!RemoveDirectoryW(link.wstring().c_str())) {
        const std::wstring unix_link = unix_name(link);
        if (!unix_link.empty()) {
            // Waits until the name is free (a hard link is no reparse point): under Wine, an entry that a host rm
            // removes while the caller's remove_all lists the folder can make remove_all spin on it for good.
            run_on_host(
                L"Z:\\bin\\rm -f \"" + unix_link + L"\"",
                [&] { return attributes_of(link) == INVALID_FILE_ATTRIBUTES; }, kHostTimeoutMs);
        }
    }
}

} // namespace kyrtest
