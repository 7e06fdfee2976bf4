#include "launcher/shell/server_list_actions.hpp"

#include "launcher/servers/endpoint_choice.hpp"
#include "launcher/servers/endpoint_probe.hpp"
#include "launcher/servers/server_list_worker.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/server_preferences.hpp"
#include "launcher/shell/server_rows.hpp"
#include "launcher/shell/window_messages.hpp"

#include <memory>
#include <string>

namespace launcher {
namespace {

void showStatus(LauncherState& state, const char* text, bool error) {
    state.window->setServerListStatus(text, error);
}

const char* statusOf(const ServerListResult& result, bool newerSchema) {
    if (newerSchema) {
        return "Tu launcher esta desactualizado: actualizalo para ver todos los servidores.";
    }
    if (result.fromClient) {
        return "Sin conexion: se usan los servidores guardados en el cliente y se eligen dentro del juego.";
    }
    if (result.fromCache) {
        return "Sin conexion: se usa la ultima lista guardada.";
    }
    return result.source < 1 ? "Lista del Servidor Primario." : "Lista del Servidor Secundario.";
}

} // namespace

void startServerListFetch(LauncherState& state) {
    std::int32_t idle = 0;
    if (!state.serverListBusy.compare_exchange_strong(idle, 1)) {
        showStatus(state, "Ya se esta buscando la lista de servidores...", false);
        return;
    }
    auto job = std::make_unique<ServerListJob>(ServerListJob{&state, state.window->accessCode()});
    ServerListJob* const handedOver = job.get();
    if (state.startWorker([handedOver] { serverListWorker(std::unique_ptr<ServerListJob>(handedOver)); })) {
        job.release(); // the worker frees it
        showStatus(state, "Buscando servidores...", false);
        return;
    }
    state.serverListBusy.exchange(0);
    showStatus(state, "No se pudo iniciar la busqueda de servidores.", true);
}

void onServerListDone(LauncherState& state, const ServerListResult& result) {
    state.serverListBusy.exchange(0);
    if (!result.ok) {
        state.window->setServerListStatus(result.error, true);
        return;
    }
    refreshServerRows(state);
    bool newerSchema;
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        newerSchema = state.serverDirectory.newerSchema;
    }
    const bool fallback = newerSchema || result.fromClient || result.fromCache;
    showStatus(state, statusOf(result, newerSchema), fallback);
    startProbe(state);
}

// A request that finds a worker running raises probeAgain; if that worker ended just before seeing it,
// the flag is found idle on the re-check and a worker is started here instead.
void startProbe(LauncherState& state) {
    for (;;) {
        std::int32_t idle = 0;
        if (state.probeBusy.compare_exchange_strong(idle, 1)) {
            if (!state.startWorker([&state] { probeWorker(state); })) {
                state.probeBusy.exchange(0);
            }
            return;
        }
        state.probeAgain.exchange(1);
        if (state.probeBusy.load() != 0) {
            return;
        }
    }
}

void selectServer(const std::string& slug, LauncherState& state) {
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        if (findServer(state.serverDirectory, slug) < 0) {
            return;
        }
        state.selectedServerId = slug;
    }
    state.preferences->setLastServer(slug);
    refreshServerRows(state);
    startProbe(state);
}

void applyAccessCode(LauncherState& state) {
    state.preferences->setAccessCode(state.window->accessCode());
    startServerListFetch(state);
}

void cycleRegion(int direction, LauncherState& state) {
    std::string slug;
    std::string pin;
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        const int index = findServer(state.serverDirectory, state.selectedServerId);
        if (index >= 0 && !state.serverDirectory.servers[index].endpoints.empty()) {
            ServerEntry& server = state.serverDirectory.servers[index];
            const int count = static_cast<int>(server.endpoints.size());
            server.selectedEndpoint = stepPinnedEndpoint(server.selectedEndpoint, count, direction);
            slug = server.slug;
            if (server.selectedEndpoint >= 0) {
                pin = pinnedEndpointText(server.endpoints[server.selectedEndpoint]);
            }
        }
    }
    if (slug.empty()) {
        return;
    }
    state.preferences->setPinnedEndpoint(slug, pin);
    refreshServerRows(state);
}

} // namespace launcher
