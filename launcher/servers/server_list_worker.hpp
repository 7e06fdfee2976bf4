#pragma once
// Obtains the server directory on a worker thread: the network sources, else servers.cache.json, else
// the client's Data\Local\valdra.main; installs it in the shared state and posts WM_APP_SERVERS_DONE.

#include "launcher/servers/directory_source.hpp"
#include "launcher/servers/server_directory.hpp"

#include <memory>
#include <string>

namespace launcher {

struct LauncherState;

// The worker's argument, built by startServerListFetch.
struct ServerListJob {
    LauncherState* state = nullptr;
    std::string accessCode; // a copy of the window's field
};

// Thread body: always posts exactly one ServerListResult to the state's window, and frees the job.
void serverListWorker(std::unique_ptr<ServerListJob> job);

// Asks the network sources, primary first. True with the parsed directory, its raw body and the
// source's index (0 primary, 1 secondary); false with the primary's failure text when it has one, else
// the secondary's. A source without an address fails with "No server configured (error 0x00000000)".
bool fetchServerDirectory(const std::string& accessCode, ServerDirectory& directory, int& source, std::string& body,
                          std::string& error, const DirectorySources& sources = {});

// "X-Valdra-Access-Code: " + the code's ASCII letters, digits, "-", "_" and "." (at most 64) + CRLF;
// empty when no character is left.
std::wstring buildAccessCodeHeader(const std::string& accessCode);

// Replaces the shared directory under launcherLock: keeps the latencies of unchanged endpoints,
// restores each server's pinned region from launcher.ini, and keeps or makes a selection.
void installServerDirectory(LauncherState& state, ServerDirectory fresh, bool fromClient);

} // namespace launcher
