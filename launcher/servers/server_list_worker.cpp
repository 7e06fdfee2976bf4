#include "launcher/servers/server_list_worker.hpp"

#include "launcher/servers/client_server_file.hpp"
#include "launcher/servers/endpoint_choice.hpp"
#include "launcher/servers/server_cache.hpp"
#include "launcher/shell/ini_value.hpp"
#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/server_preferences.hpp"
#include "launcher/shell/window_messages.hpp"

#include <cstdio>
#include <utility>

namespace launcher {
namespace {

constexpr const char* kNothingObtained = "No se pudo obtener la lista de servidores.";

std::string unconfiguredSourceText() {
    char text[128];
    std::snprintf(text, sizeof text, "%s (error 0x%08X)", "No server configured", 0u);
    return text;
}

bool readCachedDirectory(const std::string& cachePath, ServerDirectory& directory) {
    std::string text;
    return readTextFile(cachePath, text, kServerCacheLimit) && parseServerDirectory(text, directory, nullptr);
}

// Each source fills a directory of its own, so nothing of a source that failed halfway reaches the one
// that is installed.
void acquire(LauncherState& state, const std::string& accessCode, ServerListResult& result) {
    std::string networkError;
    std::string body;
    int source = -1;
    ServerDirectory fromNetwork;
    if (fetchServerDirectory(accessCode, fromNetwork, source, body, networkError, state.directorySources)) {
        saveServerCache(state.serversCachePath, body);
        result.ok = true;
        result.source = source;
        installServerDirectory(state, std::move(fromNetwork), false);
        return;
    }
    ServerDirectory fromCache;
    if (readCachedDirectory(state.serversCachePath, fromCache)) {
        fromCache.fromCache = true;
        result.ok = true;
        result.fromCache = true;
        result.error = networkError;
        installServerDirectory(state, std::move(fromCache), false);
        return;
    }
    ServerDirectory fromClient;
    if (loadClientServerList(state.folder, fromClient)) {
        result.ok = true;
        result.fromClient = true;
        result.error = networkError;
        installServerDirectory(state, std::move(fromClient), true);
        return;
    }
    result.error = networkError.empty() ? kNothingObtained : networkError;
}

} // namespace

void serverListWorker(std::unique_ptr<ServerListJob> job) {
    LauncherState& state = *job->state;
    auto result = std::make_unique<ServerListResult>();
    try {
        acquire(state, job->accessCode, *result);
    } catch (...) {
        // Out of memory halfway: still report, or serverListBusy would never be cleared.
        result->ok = false;
        result->error = kNothingObtained;
    }
    postRecord(*state.poster, WM_APP_SERVERS_DONE, std::move(result));
}

bool fetchServerDirectory(const std::string& accessCode, ServerDirectory& directory, int& source, std::string& body,
                          std::string& error, const DirectorySources& sources) {
    source = -1;
    const std::wstring header = buildAccessCodeHeader(accessCode);
    DirectoryDocumentSource* const ordered[] = {sources.primary, sources.secondary};
    std::string failures[2];
    for (int i = 0; i < 2; ++i) {
        if (ordered[i] == nullptr) {
            failures[i] = unconfiguredSourceText();
            continue;
        }
        std::string fetched;
        ServerDirectory parsed;
        if (ordered[i]->fetch(header, fetched, failures[i]) && parseServerDirectory(fetched, parsed, &failures[i])) {
            directory = std::move(parsed);
            source = i;
            body = std::move(fetched);
            return true;
        }
    }
    error = failures[0].empty() ? failures[1] : failures[0];
    return false;
}

std::wstring buildAccessCodeHeader(const std::string& accessCode) {
    const std::string code = sanitizeIniValue(accessCode, kAccessCodeLimit, true);
    if (code.empty()) {
        return {};
    }
    return L"X-Valdra-Access-Code: " + std::wstring(code.begin(), code.end()) + L"\r\n";
}

void installServerDirectory(LauncherState& state, ServerDirectory fresh, bool fromClient) {
    const ServerPreferences& preferences = *state.preferences;
    std::lock_guard<std::mutex> lock(state.launcherLock);
    carryOverLatencies(state.serverDirectory, fresh);
    state.serverDirectory = std::move(fresh);
    state.directoryFromClient = fromClient;
    ServerDirectory& directory = state.serverDirectory;
    restorePinnedEndpoints(directory, [&](const std::string& slug) { return preferences.pinnedEndpoint(slug); });
    if (directory.servers.empty() || findServer(directory, state.selectedServerId) >= 0) {
        return;
    }
    const std::string last = preferences.lastServer();
    state.selectedServerId = findServer(directory, last) >= 0 ? last : directory.servers.front().slug;
}

} // namespace launcher
