#pragma once
// KyrLauncher.exe run as a process of its own from a test: started with a store override in its
// environment, its window found among the desktop's, and ended when a test leaves it running.

#include "launcher/ui/layout.hpp"
#include "support/host_path_win.hpp"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace kyrtest {

using Clock = std::chrono::steady_clock;

launcher::Point centre(const launcher::Rect& rect);

long long millisecondsSince(Clock::time_point start);

// Polls check every stepMs (pumping this thread's messages) until it holds or timeoutMs has passed.
bool waitFor(int timeoutMs, int stepMs, const std::function<bool()>& check);

// This process's environment with the store override in place of any inherited one.
std::string environmentWithStore(const std::string& url, const std::string& key);

// The launcher's visible window, or null while it has none.
HWND visibleLauncherWindow(DWORD process);
// The visible window of a launcher other than process (the one it restarted into), or null; owner
// receives that launcher's process id.
HWND visibleLauncherWindowBesides(DWORD process, DWORD& owner);

// The launcher program; still running at the end of a test, it is ended so that its folder can go.
class LauncherProcess {
public:
    LauncherProcess() = default;
    ~LauncherProcess();
    LauncherProcess(const LauncherProcess&) = delete;
    LauncherProcess& operator=(const LauncherProcess&) = delete;

    bool start(const std::string& program, const std::string& environment);
    // Takes over a launcher that another one started.
    bool adopt(DWORD id);
    DWORD id() const { return process_.dwProcessId; }
    bool ended(int timeoutMs) const;
    DWORD exitCode() const;

private:
    PROCESS_INFORMATION process_{};
};

} // namespace kyrtest
