#pragma once
// WinHTTP, loaded at run time from the system folder only. winhttp.dll is not one of the libraries that
// Windows always takes from the system, so an import of it would be looked up in the game folder first,
// which the player (and anything they download) can write, while the launcher runs elevated.

#include <windows.h>
#include <winhttp.h>

namespace launcher {

// The WinHTTP functions that the launcher calls.
struct WinHttpLibrary {
    decltype(&::WinHttpCrackUrl) crackUrl = nullptr;
    decltype(&::WinHttpOpen) open = nullptr;
    decltype(&::WinHttpSetTimeouts) setTimeouts = nullptr;
    decltype(&::WinHttpSetOption) setOption = nullptr;
    decltype(&::WinHttpGetIEProxyConfigForCurrentUser) getIeProxyConfigForCurrentUser = nullptr;
    decltype(&::WinHttpConnect) connect = nullptr;
    decltype(&::WinHttpOpenRequest) openRequest = nullptr;
    decltype(&::WinHttpSendRequest) sendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) receiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) queryHeaders = nullptr;
    decltype(&::WinHttpQueryDataAvailable) queryDataAvailable = nullptr;
    decltype(&::WinHttpReadData) readData = nullptr;
    decltype(&::WinHttpCloseHandle) closeHandle = nullptr;
};

// Loaded on the first call, by whichever thread comes first. nullptr when the library or one of its
// functions is missing; the last error code then tells why.
const WinHttpLibrary* winHttpLibrary();

} // namespace launcher
