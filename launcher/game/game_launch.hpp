#pragma once
// PLAY: prepares the game folder for the chosen server and engine, starts Main.exe and closes the
// launcher.

#include <string>

namespace launcher {

struct LauncherState;

// "\"<folder>\\Main.exe\" /u<host> /p<port>" when the host is set and the port is 1 to 65535; otherwise
// the quoted path alone, and the game offers its own server choice.
std::string buildGameCommandLine(const std::string& folder, const std::string& host, int port);

// On the window thread. Writes ServerList.bmd for the selected server (not for the client's own server
// list), applies the engine of config.ini and starts the game in the game folder with the launcher's
// environment. On success the window is asked to close; otherwise an error box (owned by the window) says
// why and the launcher stays open. Nothing happens while an update runs or another launch is under way
// (PLAY clicked while its box is open); meanwhile the launch holds updateRunning, so that VERIFY and FORCE
// start no update. Windows only.
void launchGame(LauncherState& state);

} // namespace launcher
