#include "launcher/shell/server_list_actions.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace launcher {
namespace {

using kyrtest::Status;

const char kSearching[] = "Buscando servidores...";
const char kAlreadySearching[] = "Ya se esta buscando la lista de servidores...";

// A network source that always delivers one server, counting how many workers ask at once.
struct CountingSource : DirectoryDocumentSource {
    bool fetch(const std::wstring& accessCodeHeader, std::string& body, std::string&) override {
        const int now = ++inFlight;
        for (int seen = maxInFlight.load(); now > seen && !maxInFlight.compare_exchange_weak(seen, now);) {
        }
        if (++calls == 1) {
            firstHeader = accessCodeHeader;
        }
        std::this_thread::yield();
        body = R"({"schema":1,"servers":[{"slug":"alpha","endpoints":[{"ip":"127.0.0.1","port":7000}]}]})";
        --inFlight;
        return true;
    }
    std::atomic<int> inFlight{0}, maxInFlight{0}, calls{0};
    std::wstring firstHeader;
};

ServerEntry server(const std::string& slug, int endpoints) {
    ServerEntry entry;
    entry.slug = slug;
    for (int i = 1; i <= endpoints; ++i) {
        const std::string n = std::to_string(i);
        entry.endpoints.push_back({"r" + n, "R" + n, "127.0.0." + n, 7000});
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
    CountingSource source;
    kyrtest::LauncherHarness h;
};

TEST_F(ServerListActions, ApplyingTheCodeTwiceStartsOneWorkerAndAFailedStartIsReported) {
    h.view.setAccessCode("Ab 1!");
    applyAccessCode(h.state);
    applyAccessCode(h.state);
    EXPECT_EQ(h.view.serverListStatuses, (std::vector<Status>{{kSearching, false}, {kAlreadySearching, false}}));
    EXPECT_EQ(h.preferences.value("AccessCode"), "Ab 1!");
    h.settle();
    EXPECT_EQ(h.workers.started(), 2) << "the list worker, then the probe it leads to";
    EXPECT_EQ(source.firstHeader, L"X-Valdra-Access-Code: Ab1\r\n");
    EXPECT_EQ(h.state.serverListBusy.load(), 0);

    h.workers.failStarts(true);
    startServerListFetch(h.state);
    EXPECT_EQ(h.view.lastServerListStatus(), (Status{"No se pudo iniciar la busqueda de servidores.", true}));
    EXPECT_EQ(h.state.serverListBusy.load(), 0);
    startProbe(h.state);
    EXPECT_EQ(h.state.probeBusy.load(), 0) << "a probe that cannot start goes back to idle";
}

TEST_F(ServerListActions, ResultStatusFollowsItsSource) {
    const char* const outdated = "Tu launcher esta desactualizado: actualizalo para ver todos los servidores.";
    const struct {
        bool ok;
        int source;
        bool cache, client, newerSchema;
        Status want;
    } cases[] = {
        {false, -1, false, false, false, {"No server configured (error 0x00000000)", true}},
        {true, -1, false, true, true, {outdated, true}},
        {true, -1, true, false, true, {outdated, true}},
        {true, -1, false, true, false,
         {"Sin conexion: se usan los servidores guardados en el cliente y se eligen dentro del juego.", true}},
        {true, -1, true, false, false, {"Sin conexion: se usa la ultima lista guardada.", true}},
        {true, 0, false, false, false, {"Lista del Servidor Primario.", false}},
        {true, 1, false, false, false, {"Lista del Servidor Secundario.", false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want.text);
        kyrtest::LauncherHarness fresh;
        fresh.state.serverDirectory.servers = {server("aa", 1)};
        fresh.state.serverDirectory.newerSchema = c.newerSchema;
        fresh.state.connectProbe = [](const std::string&, int) { return 5; };
        fresh.state.serverListBusy = 1;
        ServerListResult result;
        result.ok = c.ok;
        result.source = c.source;
        result.fromCache = c.cache;
        result.fromClient = c.client;
        result.error = c.ok ? "x" : c.want.text;
        onServerListDone(fresh.state, result);
        fresh.workers.joinAll();
        EXPECT_EQ(fresh.state.serverListBusy.load(), 0);
        EXPECT_EQ(fresh.view.lastServerListStatus(), c.want);
        EXPECT_EQ(fresh.view.rowSets.size(), c.ok ? 1u : 0u) << "a failure leaves the rows untouched";
        EXPECT_EQ(fresh.workers.started(), c.ok ? 1 : 0) << "only a success starts probing";
    }
}

TEST_F(ServerListActions, SelectingARowRemembersItAndProbesIt) {
    h.state.selectedServerId = "aa";
    for (int outside : {3, -1}) {
        selectServer(outside, h.state);
    }
    EXPECT_EQ(h.state.selectedServerId, "aa");
    EXPECT_EQ(h.preferences.writeCount(), 0u);
    EXPECT_EQ(h.workers.started(), 0);
    selectServer(1, h.state);
    EXPECT_EQ(h.state.selectedServerId, "bb");
    EXPECT_EQ(h.preferences.value("Last"), "bb");
    EXPECT_EQ(h.view.selectedRows, (std::vector<int>{1}));
    h.settle();
    EXPECT_EQ(h.state.serverDirectory.servers[1].endpoints[0].latencyMs, 5);
}

TEST_F(ServerListActions, RegionStepsThroughEveryEndpointAndAutomatic) {
    h.state.selectedServerId = "none";
    cycleRegion(1, h.state);
    EXPECT_EQ(h.preferences.writeCount(), 0u) << "a server without endpoints has no region";
    h.state.selectedServerId = "aa";
    std::string stored;
    for (int direction : {1, 1, 1, 1, -1}) {
        cycleRegion(direction, h.state);
        stored += h.preferences.value("Region.aa") + (h.view.rowSets.back()[0].regionPinned ? "* " : " ");
    }
    EXPECT_EQ(stored, "r1* r2* r3*  r3* ");
    EXPECT_EQ(h.view.rowSets.back()[0].bestLabel, "R3");
    EXPECT_EQ(h.workers.started(), 0) << "stepping the region does not probe";
}

// Two threads ask for the list over and over while a third plays the window thread; only one worker may
// ever run, and every request is either started or told that a search runs.
TEST_F(ServerListActions, RequestsFromTwoThreadsNeverRunTwoWorkers) {
    constexpr int kRequests = 200;
    std::atomic<bool> stop{false};
    std::thread windowThread([&] {
        kyrtest::PostedMessage posted;
        while (!stop.load()) {
            if (h.queue.take(posted, std::chrono::milliseconds(1))) {
                std::uintptr_t wParam = 0;
                routeFromMessageLoop(h.state, posted.message, wParam, reinterpret_cast<std::intptr_t>(posted.payload));
            }
        }
    });
    auto ask = [&] {
        for (int i = 0; i < kRequests; ++i) {
            startServerListFetch(h.state);
            std::this_thread::yield();
        }
    };
    std::thread first(ask), second(ask);
    first.join();
    second.join();
    h.workers.joinAll();
    stop = true;
    windowThread.join();
    h.settle();
    EXPECT_EQ(source.maxInFlight.load(), 1);
    EXPECT_EQ(h.view.serverListStatusCount(kSearching), static_cast<std::size_t>(source.calls.load()));
    EXPECT_EQ(h.view.serverListStatusCount(kSearching) + h.view.serverListStatusCount(kAlreadySearching),
              static_cast<std::size_t>(2 * kRequests));
    EXPECT_EQ(h.state.serverListBusy.load(), 0);
}

} // namespace
} // namespace launcher
