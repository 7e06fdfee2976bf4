#pragma once
// The server list's actions on the window thread: starting the acquisition and the probe, the handler
// of the acquisition's result, and the three actions the window calls on player input.

#include <string>

namespace launcher {

struct LauncherState;
struct ServerListResult;

// Starts the server list worker unless one runs (serverListBusy); shows the outcome as the status.
void startServerListFetch(LauncherState& state);

// WM_APP_SERVERS_DONE: clears serverListBusy; on success refreshes the rows, shows where the list came
// from and starts probing. A failure shows its text and leaves the rows as they were.
void onServerListDone(LauncherState& state, const ServerListResult& result);

// Starts the probe worker, or asks the running one to start over with the current selection first.
// Safe from any thread.
void startProbe(LauncherState& state);

// The window's callbacks. A server is selected by its slug, which the row carries: the directory may have
// been replaced since the rows were drawn; a slug that it no longer holds selects nothing.
void selectServer(const std::string& slug, LauncherState& state);
void applyAccessCode(LauncherState& state);
void cycleRegion(int direction, LauncherState& state);

} // namespace launcher
