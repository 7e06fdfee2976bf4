#include "launcher/shell/server_rows.hpp"

#include "launcher/servers/endpoint_choice.hpp"
#include "launcher/shell/launcher_state.hpp"

#include <cstddef>
#include <utility>

namespace launcher {
namespace {

// States that the header shows with player counts rather than as "no connection".
bool isReachableState(const std::string& state) {
    return state == "online" || state == "maintenance" || state == "unknown";
}

ServerRow rowOf(const ServerEntry& server) {
    ServerRow row;
    row.id = server.slug;
    row.name = server.name;
    row.kind = server.kind;
    row.ratesText = ratesText(server);
    const int best = chooseEndpoint(server);
    if (best >= 0) {
        row.bestLabel = server.endpoints[best].label;
        row.bestLatencyMs = server.endpoints[best].latencyMs;
    }
    row.state = server.state;
    row.online = server.online;
    row.maxOnline = server.maxOnline;
    row.needsCode = server.access == "code";
    row.regionPinned = server.selectedEndpoint >= 0;
    return row;
}

} // namespace

std::string ratesText(const ServerEntry& server) {
    std::string text;
    if (!server.ratesExp.empty()) {
        text = "EXP " + server.ratesExp;
    }
    if (!server.ratesDrop.empty()) {
        text += (text.empty() ? "DROP " : "  -  DROP ") + server.ratesDrop;
    }
    return text.empty() ? server.description : text;
}

ServerRowsSnapshot buildServerRows(const ServerDirectory& directory, const std::string& selectedServerId) {
    ServerRowsSnapshot snapshot;
    for (std::size_t i = 0; i < directory.servers.size(); ++i) {
        const ServerEntry& server = directory.servers[i];
        snapshot.rows.push_back(rowOf(server));
        if (server.slug == selectedServerId) {
            snapshot.selectedRow = static_cast<int>(i);
            snapshot.headline =
                Headline{server.name, server.online, server.maxOnline, isReachableState(server.state), true};
        }
    }
    return snapshot;
}

void refreshServerRows(LauncherState& state) {
    ServerRowsSnapshot snapshot;
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        snapshot = buildServerRows(state.serverDirectory, state.selectedServerId);
    }
    state.window->setServerRows(std::move(snapshot.rows));
    state.window->setSelectedRow(snapshot.selectedRow);
    if (snapshot.headline.visible) {
        state.window->setHeadline(snapshot.headline);
    }
}

} // namespace launcher
