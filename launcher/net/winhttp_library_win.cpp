#include "launcher/net/winhttp_library_win.hpp"

#include <string>

namespace launcher {
namespace {

// GetProcAddress returns a generic function pointer; the detour through void (*)() keeps the compiler
// from warning about the cast between unrelated function types.
template <typename Function> bool lookUp(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr;
}

// Windows 7 without its loader update refuses the search flag: there the full path names the system's copy.
HMODULE loadFromSystemFolder(const wchar_t* name) {
    if (HMODULE library = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return library;
    }
    if (GetLastError() != ERROR_INVALID_PARAMETER) {
        return nullptr;
    }
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The library stays loaded for the whole run. False with the last error code of the failing step.
bool load(WinHttpLibrary& api) {
    const HMODULE library = loadFromSystemFolder(L"winhttp.dll");
    return library != nullptr && lookUp(library, "WinHttpCrackUrl", api.crackUrl) &&
           lookUp(library, "WinHttpOpen", api.open) && lookUp(library, "WinHttpSetTimeouts", api.setTimeouts) &&
           lookUp(library, "WinHttpSetOption", api.setOption) &&
           lookUp(library, "WinHttpGetIEProxyConfigForCurrentUser", api.getIeProxyConfigForCurrentUser) &&
           lookUp(library, "WinHttpConnect", api.connect) && lookUp(library, "WinHttpOpenRequest", api.openRequest) &&
           lookUp(library, "WinHttpSendRequest", api.sendRequest) &&
           lookUp(library, "WinHttpReceiveResponse", api.receiveResponse) &&
           lookUp(library, "WinHttpQueryHeaders", api.queryHeaders) &&
           lookUp(library, "WinHttpQueryDataAvailable", api.queryDataAvailable) &&
           lookUp(library, "WinHttpReadData", api.readData) && lookUp(library, "WinHttpCloseHandle", api.closeHandle);
}

struct LoadedLibrary {
    LoadedLibrary() : loaded(load(api)), error(loaded ? 0 : GetLastError()) {}
    WinHttpLibrary api;
    bool loaded;
    DWORD error;
};

} // namespace

const WinHttpLibrary* winHttpLibrary() {
    static const LoadedLibrary library;
    if (!library.loaded) {
        SetLastError(library.error);
        return nullptr;
    }
    return &library.api;
}

} // namespace launcher
