#include "launcher/game/game_launch.hpp"
#include "launcher/game/message_box_texts.hpp"

#include "launcher/game/game_config.hpp"
#include "launcher/game/game_settings.hpp"
#include "launcher/game/message_box.hpp"
#include "launcher/game/video_engine.hpp"
#include "launcher/servers/endpoint_choice.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/program_start.hpp"
#include "launcher/shell/window_messages.hpp"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace launcher {
namespace {


void showError(const LauncherState& state, const char* text) {
    showMessageBox({state.windowHandle, text, kLauncherErrorTitle, MessageBoxIcon::Error});
}

// The game's group list for the server. A failure is shown in the status line; the game still starts
// with whatever ServerList.bmd is on disk.
void writeGameServerList(LauncherState& state, const ServerEntry& server) {
    std::string newStamp;
    std::string message;
    const bool written =
        writeServerListBmd(state.folder, server, readBmdStamp(state.launcherIniPath), newStamp, message);
    if (!written && state.window != nullptr) {
        state.window->setUpdateStatus("Aviso: " + message, true);
    }
    if (!newStamp.empty()) {
        writeBmdStamp(state.launcherIniPath, newStamp);
    }
}

// True when the game was started.
bool prepareAndStartGame(LauncherState& state) {
    ServerEntry server;
    bool found = false;
    bool fromClient = false;
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        fromClient = state.directoryFromClient;
        const int index = findServer(state.serverDirectory, state.selectedServerId);
        if (index >= 0) {
            server = state.serverDirectory.servers[static_cast<std::size_t>(index)];
            found = true;
        }
    }
    std::string host;
    int port = 0;
    // With the client's own server list the game offers its own choice: no ServerList.bmd, no address.
    if (found && !fromClient) {
        const int endpoint = chooseEndpoint(server);
        if (endpoint >= 0) {
            host = server.endpoints[static_cast<std::size_t>(endpoint)].ip;
            port = server.endpoints[static_cast<std::size_t>(endpoint)].port;
        }
        writeGameServerList(state, server);
    }

    IniGameConfig config(state.configIniPath);
    const VideoEngine engine =
        videoEngineFromText(config.readText(kLauncherSection, kEngineKey, "Auto", kEngineBuffer));
    std::string engineFailure;
    if (!applyVideoEngine(state.folder, engine, config, state.windowHandle, engineFailure)) {
        showError(state, engineFailure.c_str());
        return false;
    }
    if (!startProgramInFolder(state.folder, buildGameCommandLine(state.folder, host, port))) {
        showError(state, kGameNotStartedText);
        return false;
    }
    if (state.poster != nullptr) {
        state.poster->post(kWindowCloseMessage, nullptr);
    }
    return true;
}

} // namespace

void launchGame(LauncherState& state) {
    // The launch takes the update slot for itself: no game starts on a folder that an update is rewriting,
    // and while a box of this launch runs its message loop, neither VERIFY nor FORCE can start an update
    // under it, nor PLAY a second launch. A game started keeps the slot until the launcher has closed.
    std::int32_t idle = 0;
    if (!state.updateRunning.compare_exchange_strong(idle, 1)) {
        return;
    }
    if (!prepareAndStartGame(state)) {
        state.updateRunning.exchange(0);
    }
}

} // namespace launcher
