#pragma once
// Windows tests run under Wine, on the host that built them: its paths and its programs.

#include <functional>
#include <string>

#include <windows.h>

namespace kyrtest {

// The build gives Unix paths; Wine reaches the Unix root as drive Z:.
inline std::string windowsPath(std::string hostPath) {
    if (!hostPath.empty() && hostPath.front() == '/') {
        hostPath = "Z:" + hostPath;
    }
    for (char& c : hostPath) {
        c = c == '/' ? '\\' : c;
    }
    return hostPath;
}

// Starts a host program as a Unix process and waits up to `timeout_ms` until `done` says it has acted:
// Wine gives no usable handle to such a process, so it cannot be waited for.
inline bool run_on_host(std::wstring command, const std::function<bool()>& done, int timeout_ms) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; waited < timeout_ms && !done(); waited += 20) {
        Sleep(20);
    }
    return done();
}

} // namespace kyrtest
