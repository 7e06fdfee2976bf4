#pragma once
// KyrLauncher.exe run as a process of its own from a test: started with a store override in its
// environment, its window found among the desktop's, and ended when a test leaves it running.

#include "launcher/ui/layout.hpp"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace kyrtest {

using Clock = std::chrono::steady_clock;

// The build gives Unix paths; Wine reaches the Unix root as drive Z:.
std::string windowsPath(std::string hostPath);

launcher::Point centre(const launcher::Rect& rect);

long long millisecondsSince(Clock::time_point start);

// Polls check every stepMs (pumping this thread's messages) until it holds or timeoutMs has passed.
bool waitFor(int timeoutMs, int stepMs, const std::function<bool()>& check);

// This process's environment with the store override in place of any inherited one.
std::string environmentWithStore(const std::string& url, const std::string& key);

// The launcher's visible window, or null while it has none.
HWND visibleLauncherWindow(DWORD process);

// The launcher program; still running at the end of a test, it is ended so that its folder can go.
class LauncherProcess {
public:
    LauncherProcess() = default;
    ~LauncherProcess();
    LauncherProcess(const LauncherProcess&) = delete;
    LauncherProcess& operator=(const LauncherProcess&) = delete;

    bool start(const std::string& program, const std::string& environment);
    DWORD id() const { return process_.dwProcessId; }
    bool ended(int timeoutMs) const;
    DWORD exitCode() const;

private:
    PROCESS_INFORMATION process_{};
};

} // namespace kyrtest
