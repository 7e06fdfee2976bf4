#pragma once
// Starting another program from the launcher: the game on PLAY, the launcher's own new version after a
// self-update.

#include <functional>
#include <string>

namespace launcher {

// Starts commandLine (its quoted first token names the program) with folder as its current folder and
// the launcher's own environment; true when it started. Neither waits for it nor watches it.
using ProgramStarter = std::function<bool(const std::string& folder, const std::string& commandLine)>;

// The launcher's starter (CreateProcessA). Windows only.
bool startProgramInFolder(const std::string& folder, const std::string& commandLine);

} // namespace launcher
