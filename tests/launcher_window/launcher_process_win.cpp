#include "launcher_window/launcher_process_win.hpp"

#include "launcher/ui/launcher_window.hpp"
#include "launcher_window/screen_tools_win.hpp"

#include <cstring>

namespace kyrtest {
namespace {

// A window of the process, or (when other is set) of any process but that one.
struct WindowSearch {
    DWORD process = 0;
    bool other = false;
    HWND found = nullptr;
    DWORD owner = 0;
};

BOOL CALLBACK matchLauncherWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    char name[64] = {};
    if (GetWindowThreadProcessId(window, &owner) != 0 && (owner == search->process) != search->other &&
        IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) > 0 &&
        std::strcmp(name, launcher::kLauncherWindowClassName) == 0) {
        search->found = window;
        search->owner = owner;
        return FALSE;
    }
    return TRUE;
}

} // namespace

launcher::Point centre(const launcher::Rect& rect) {
    return launcher::Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool waitFor(int timeoutMs, int stepMs, const std::function<bool()>& check) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (Clock::now() >= end) {
            return false;
        }
        pumpMessages(stepMs);
    }
    return true;
}

std::string environmentWithStore(const std::string& url, const std::string& key) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (std::strncmp(entry, "KYR_STORE_URL=", 14) != 0 && std::strncmp(entry, "KYR_STORE_PUBKEY=", 17) != 0) {
            block.append(entry).push_back('\0');
        }
    }
    FreeEnvironmentStringsA(strings);
    block.append("KYR_STORE_URL=" + url).push_back('\0');
    block.append("KYR_STORE_PUBKEY=" + key).push_back('\0');
    block.push_back('\0');
    return block;
}

HWND visibleLauncherWindow(DWORD process) {
    WindowSearch search{process, false};
    EnumWindows(matchLauncherWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND visibleLauncherWindowBesides(DWORD process, DWORD& owner) {
    WindowSearch search{process, true};
    EnumWindows(matchLauncherWindow, reinterpret_cast<LPARAM>(&search));
    owner = search.owner;
    return search.found;
}

LauncherProcess::~LauncherProcess() {
    if (process_.hProcess == nullptr) {
        return;
    }
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    if (process_.hThread != nullptr) {
        CloseHandle(process_.hThread);
    }
    CloseHandle(process_.hProcess);
}

bool LauncherProcess::start(const std::string& program, const std::string& environment) {
    std::string line = "\"" + program + "\"";
    std::string block = environment;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, block.data(), nullptr, &startup,
                          &process_) != FALSE;
}

bool LauncherProcess::adopt(DWORD id) {
    process_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    process_.dwProcessId = id;
    return process_.hProcess != nullptr;
}

bool LauncherProcess::ended(int timeoutMs) const {
    return WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

DWORD LauncherProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

} // namespace kyrtest
