#pragma once
// The projection of the shared server directory into the rows and headline that the window draws.

#include "launcher/servers/server_directory.hpp"
#include "launcher/shell/launcher_view.hpp"

#include <string>
#include <vector>

namespace launcher {

struct LauncherState;

struct ServerRowsSnapshot {
    std::vector<ServerRow> rows;
    int selectedRow = -1; // the row of the selected server; -1 when it is not in the directory
    Headline headline;    // visible only when the selected server was found
};

// "EXP " + exp, then "  -  DROP " + drop (or "DROP " + drop alone); the description when both are empty.
std::string ratesText(const ServerEntry& server);

ServerRowsSnapshot buildServerRows(const ServerDirectory& directory, const std::string& selectedServerId);

// Window thread: rebuilds the rows from the shared directory and gives them, the selected row and the
// selected server's headline to the window.
void refreshServerRows(LauncherState& state);

} // namespace launcher
