// The shell: the server list's actions on the window thread, the rows they show, the notifications that
// bring the workers' results back, the latency probes, and the removal of the launcher left by an update.

#include "launcher/shell/server_list_actions.hpp"

#include "launcher/servers/endpoint_probe.hpp"
#include "launcher/servers/server_list_worker.hpp"
#include "launcher/shell/ini_value.hpp"
#include "launcher/shell/leftover_program.hpp"
#include "launcher/shell/server_rows.hpp"
#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace launcher {
namespace {

using kyrtest::Status;

// A network source that always delivers one server and remembers the header it was given.
struct OneServerSource : DirectoryDocumentSource {
    bool fetch(const std::wstring& accessCodeHeader, std::string& body, std::string&) override {
        header = accessCodeHeader;
        body = R"({"schema":1,"servers":[{"slug":"alpha","endpoints":[{"ip":"127.0.0.1","port":7000}]}]})";
        return true;
    }
    std::wstring header;
};

ServerEntry server(const std::string& slug, int endpoints, const char* state = "online") {
    ServerEntry entry;
    entry.slug = entry.name = slug;
    entry.state = state;
    for (int i = 1; i <= endpoints; ++i) {
        const std::string n = std::to_string(i);
        entry.endpoints.push_back({"r" + n, "R" + n, "127.0.0.1", 7000 + i, i, 100 - i});
    }
    return entry;
}

class ServerListActions : public ::testing::Test {
protected:
    void SetUp() override {
        h.state.serverDirectory.servers = {server("aa", 3), server("bb", 1), server("none", 0)};
        h.state.connectProbe = [](const std::string&, int) { return 5; };
        h.state.directorySources.primary = &source;
    }
    OneServerSource source;
    kyrtest::LauncherHarness h;
};

TEST_F(ServerListActions, ApplyingTheCodeTwiceStartsOneWorkerAndAFailedStartIsReported) {
    h.view.setAccessCode("Ab 1!");
    applyAccessCode(h.state);
    applyAccessCode(h.state);
    EXPECT_EQ(h.view.serverListStatuses,
              (std::vector<Status>{{"Buscando servidores...", false},
                                   {"Ya se esta buscando la lista de servidores...", false}}));
    EXPECT_EQ(h.preferences.value("AccessCode"), "Ab 1!");
    h.settle();
    EXPECT_EQ(h.workers.started(), 2) << "the list worker, then the probe it leads to";
    EXPECT_EQ(source.header, L"X-Valdra-Access-Code: Ab1\r\n");
    h.workers.failStarts(true);
    startServerListFetch(h.state);
    EXPECT_EQ(h.view.lastServerListStatus(), (Status{"No se pudo iniciar la busqueda de servidores.", true}));
    EXPECT_EQ(h.state.serverListBusy.load(), 0);
    startProbe(h.state);
    EXPECT_EQ(h.state.probeBusy.load(), 0) << "a probe that cannot start goes back to idle";
    EXPECT_EQ(sanitizeIniValue(std::string(70, 'K') + " b!\xc3\xb1", 64, true), std::string(64, 'K'));
}

TEST_F(ServerListActions, ResultStatusFollowsItsSource) {
    const char* const outdated = "Tu launcher esta desactualizado: actualizalo para ver todos los servidores.";
    const struct {
        bool ok;
        int source;
        bool cache, client, newerSchema;
        Status want;
    } cases[] = {{false, -1, false, false, false, {"No server configured (error 0x00000000)", true}},
                 {true, -1, true, true, true, {outdated, true}},
                 {true, -1, true, false, false, {"Sin conexion: se usa la ultima lista guardada.", true}},
                 {true, 0, false, false, false, {"Lista del Servidor Primario.", false}},
                 {true, 1, false, false, false, {"Lista del Servidor Secundario.", false}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want.text);
        kyrtest::LauncherHarness fresh;
        fresh.state.serverDirectory.newerSchema = c.newerSchema;
        fresh.state.serverListBusy = 1;
        ServerListResult result;
        result.ok = c.ok;
        result.source = c.source;
        result.fromCache = c.cache;
        result.fromClient = c.client;
        result.error = c.ok ? "x" : c.want.text;
        onServerListDone(fresh.state, result);
        EXPECT_EQ(fresh.view.lastServerListStatus(), c.want);
        EXPECT_EQ(fresh.view.rowSets.size(), c.ok ? 1u : 0u) << "a failure leaves the rows untouched";
    }
}

TEST_F(ServerListActions, RowsShowTheChosenEndpointAndTheSelectedServersHeadline) {
    h.workers.failStarts(true); // no probe changes the latencies meanwhile
    h.state.serverDirectory.servers[1].ratesDrop = "x5";
    h.state.serverDirectory.servers.push_back(server("cc", 1, "unknown"));
    h.state.serverDirectory.servers.push_back(server("dd", 1, "closed"));
    for (const char* gone : {"zz", "", "AA"}) {
        selectServer(gone, h.state);
    }
    EXPECT_EQ(h.preferences.value("Last"), "<absent>") << "a row of a server the directory no longer has";
    std::string seen;
    for (const char* slug : {"bb", "cc", "dd"}) {
        selectServer(slug, h.state);
        const Headline& headline = h.view.headlines.back();
        seen += headline.text + (headline.statusOk ? "+ " : "- ");
    }
    EXPECT_EQ(seen, "bb+ cc+ dd- ");
    EXPECT_EQ(h.preferences.value("Last"), "dd");
    EXPECT_EQ(h.view.selectedRows.back(), 4);
    const std::vector<ServerRow>& rows = h.view.rowSets.back();
    EXPECT_EQ(rows[0].bestLabel + " " + std::to_string(rows[0].bestLatencyMs), "R3 97");
    EXPECT_EQ(ratesText(h.state.serverDirectory.servers[1]), "DROP x5");
    h.state.serverDirectory.servers[1].ratesExp = "x9";
    EXPECT_EQ(ratesText(h.state.serverDirectory.servers[1]), "EXP x9  -  DROP x5");
}

// The probe worker: the selected server first, each endpoint once a pass in groups of four, latencies kept by
// address and port on a refresh; a request to probe again restarts the pass, a bounded number of times.
TEST(ProbeWorker, ProbesEachEndpointOnceSelectedFirstAndKeepsLatenciesPerAddress) {
    for (const auto& [askedBefore, askedOnEveryProbe, probes] :
         {std::tuple{0, false, 6}, {1, false, 6}, {0, true, (kProbesPerGroup + 1) * kMaxProbeRestarts}}) {
        SCOPED_TRACE(askedBefore * 100 + probes);
        kyrtest::LauncherHarness h;
        h.state.serverDirectory.servers = {server("bb", 1), server("aa", kProbesPerGroup + 1)};
        h.state.selectedServerId = "aa";
        const ServerDirectory fresh = h.state.serverDirectory;
        std::mutex lock;
        std::vector<int> probed;
        h.state.connectProbe = [&, always = askedOnEveryProbe](const std::string&, int port) {
            const std::lock_guard<std::mutex> held(lock);
            probed.push_back(port);
            if (always) {
                startProbe(h.state); // the player selects a server meanwhile: the busy worker is asked again
            }
            return port - 6990;
        };
        h.state.probeAgain = askedBefore;
        h.state.probeBusy = 1; // as startProbe leaves it for the worker
        probeWorker(h.state);
        EXPECT_EQ(probed.size(), static_cast<std::size_t>(probes));
        EXPECT_EQ(probed.back(), askedOnEveryProbe ? 7001 + kProbesPerGroup : 7001) << "bb after the selected aa";
        installServerDirectory(h.state, fresh, false);
        for (const ServerEndpoint& endpoint : h.state.serverDirectory.servers[1].endpoints) {
            EXPECT_EQ(endpoint.latencyMs, endpoint.port - 6990) << endpoint.port;
        }
    }
}

// The endpoint that the player pins stays pinned across the list fetches that follow every update: it is
// known by its region, address and port. A value of earlier versions (the region alone) pins the first
// endpoint of that region.
TEST(PinnedEndpoint, StaysPinnedAcrossListFetches) {
    const auto endpoint = [](const char* region, const char* ip, int port) {
        return ServerEndpoint{region, region, ip, port, 1, -1};
    };
    const std::vector<ServerEndpoint> pinned = {endpoint("eu", "127.0.0.1", 7000), endpoint("eu", "127.0.0.2", 7000),
                                                endpoint("", "127.0.0.3", 7000)};
    const struct {
        const char* earlier; // stored by an earlier version; null: none
        int steps;           // forward steps of the region
        std::vector<ServerEndpoint> fetched;
        const char* stored;
        int want;
    } cases[] = {{nullptr, 2, pinned, "eu@127.0.0.2:7000", 1},
                 {nullptr, 3, pinned, "@127.0.0.3:7000", 2},
                 {nullptr, 2, {pinned[2], pinned[1], pinned[0]}, "eu@127.0.0.2:7000", 1},
                 {nullptr, 2, {pinned[0], endpoint("eu", "127.0.0.2", 7001)}, "eu@127.0.0.2:7000", -1},
                 {nullptr, 4, pinned, "", -1},
                 {"eu", 0, {pinned[2], pinned[1], pinned[0]}, "eu", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        kyrtest::LauncherHarness h;
        h.workers.failStarts(true);
        ServerEntry entry = server("aa", 0);
        entry.endpoints = pinned;
        h.state.serverDirectory.servers = {entry};
        h.state.selectedServerId = "aa";
        if (c.earlier != nullptr) {
            h.preferences.setPinnedEndpoint("aa", c.earlier);
        }
        for (int step = 0; step < c.steps; ++step) {
            cycleRegion(+1, h.state);
        }
        EXPECT_EQ(h.preferences.value("Region.aa"), c.stored);
        ServerDirectory fetched;
        entry.endpoints = c.fetched;
        fetched.servers = {entry};
        installServerDirectory(h.state, fetched, false);
        EXPECT_EQ(h.state.serverDirectory.servers[0].selectedEndpoint, c.want);
    }
}

// Each notification reaches its handler once, routed by the main loop or only by the window procedure.
TEST(MessageRouting, EachNotificationIsHandledOnceOnEitherPath) {
    for (bool mainLoop : {true, false}) {
        kyrtest::LauncherHarness h;
        static int updates = 0;
        updates = 0;
        h.state.onUpdateDone = [](LauncherState&, const UpdateResult&) { ++updates; };
        const std::pair<unsigned, void*> notifications[] = {{WM_APP_UPDATE_PROGRESS, nullptr},
                                                            {WM_APP_UPDATE_DONE, new UpdateResult},
                                                            {WM_APP_SERVERS_DONE, new ServerListResult},
                                                            {WM_APP_PROBE_DONE, nullptr}};
        for (const auto& [message, record] : notifications) {
            const auto lParam = reinterpret_cast<std::intptr_t>(record);
            std::uintptr_t wParam = 0;
            EXPECT_EQ(mainLoop && routeFromMessageLoop(h.state, message, wParam, lParam), mainLoop);
            EXPECT_TRUE(routeFromWindowProcedure(h.state, message, wParam, lParam));
        }
        EXPECT_EQ(h.view.progress.size() + updates + h.view.serverListStatuses.size() + h.view.rowSets.size(), 4u);
    }
}

TEST(LeftoverProgram, RemovalIsTriedAsOftenAsAskedWithAPauseBetweenTries) {
    for (const auto& [succeedsOn, want] : {std::pair{std::size_t{1}, "t+"}, {3, "tptpt+"}, {4, "tptpt-"}}) {
        std::string log;
        const auto attempt = [&, on = succeedsOn] { return (log += 't').size() == 2 * on - 1; }; // the try numbered on
        const auto pause = [&] { log += 'p'; };
        const bool removed = removeWithRetries(attempt, pause, 3);
        EXPECT_EQ(log + (removed ? "+" : "-"), want);
    }
}

} // namespace
} // namespace launcher
