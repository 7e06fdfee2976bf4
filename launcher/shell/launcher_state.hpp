#pragma once
// Everything that lives for the whole run and is shared between the window thread and the workers.
// One instance, created by start-up and passed by pointer to every worker and window callback.
//
// Lock discipline: launcherLock guards the server fields, progressLock guards updateProgress; never both
// at once, never around I/O or a window call (copy in or out, leave the lock, then act). The flags are
// changed only with atomic exchange and compare-exchange.

#include "launcher/servers/directory_source.hpp"
#include "launcher/servers/server_directory.hpp"
#include "launcher/shell/program_start.hpp"
#include "launcher/shell/worker_thread.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace launcher {

class LauncherView;
class MessagePoster;
class ServerPreferences;
struct LauncherState;
struct UpdateResult;

struct UpdateProgress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::string statusText; // the updater's latest status line; empty when none is pending
    int source = -1;
};

// Measures the TCP connect time of one endpoint in milliseconds, or gives -2.
using ConnectProbe = std::function<int(const std::string& ip, int port)>;

// The window-thread handler of WM_APP_UPDATE_DONE, registered by the updater front end.
using UpdateDoneHandler = void (*)(LauncherState& state, const UpdateResult& result);

struct LauncherState {
    std::string folder; // launcher folder, no trailing separator
    std::string configIniPath;
    std::string launcherIniPath;
    std::string serversCachePath;
    std::string programName; // the launcher's exe in folder, whatever it is called; empty: unknown

    // Window thread only.
    LauncherView* window = nullptr;
    void* windowHandle = nullptr; // the window's HWND, owner of the message boxes of its actions
    UpdateDoneHandler onUpdateDone = nullptr;

    // Reached from any thread; start-up wires the launcher's own, tests wire fakes.
    MessagePoster* poster = nullptr; // the window's message queue
    ServerPreferences* preferences = nullptr;
    WorkerStarter startWorker = startDetachedWorker;
    ProgramStarter startProgram; // restarts the launcher after a self-update; empty: cannot
    ConnectProbe connectProbe;   // empty: tcpConnectMs
    DirectorySources directorySources;

    std::mutex launcherLock;
    ServerDirectory serverDirectory;
    std::string selectedServerId; // empty: none
    bool directoryFromClient = false;

    std::mutex progressLock;
    UpdateProgress updateProgress;

    // An update runs, or PLAY prepares the folder and starts the game: either holds the folder alone.
    std::atomic<std::int32_t> updateRunning{0};
    std::atomic<std::int32_t> serverListBusy{0};
    std::atomic<std::int32_t> probeBusy{0};
    std::atomic<std::int32_t> probeAgain{0};
    std::atomic<std::int32_t> forceSecondary{0};
};

} // namespace launcher
