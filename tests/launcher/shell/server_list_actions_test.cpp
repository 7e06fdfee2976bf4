#include "launcher/shell/server_list_actions.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using launcher::ServerEndpoint;
using launcher::ServerEntry;
using launcher::ServerListResult;

const char kSearching[] = "Buscando servidores...";
const char kAlreadySearching[] = "Ya se esta buscando la lista de servidores...";
const char kOutdated[] = "Tu launcher esta desactualizado: actualizalo para ver todos los servidores.";
const char kClient[] = "Sin conexion: se usan los servidores guardados en el cliente y se eligen dentro del juego.";
const char kCache[] = "Sin conexion: se usa la ultima lista guardada.";
const char kPrimary[] = "Lista del Servidor Primario.";
const char kSecondary[] = "Lista del Servidor Secundario.";

const char kDocument[] = R"({"schema":1,"servers":[{"slug":"alpha","endpoints":[{"ip":"127.0.0.1","port":7000}]}]})";

// A network source that always delivers kDocument, counting how many workers ask at once.
class CountingSource : public launcher::DirectoryDocumentSource {
public:
    bool fetch(const std::wstring& accessCodeHeader, std::string& body, std::string&) override {
        const int now = ++inFlight;
        int seen = maxInFlight.load();
        while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            lastHeader = accessCodeHeader;
        }
        ++calls;
        std::this_thread::yield();
        body = kDocument;
        --inFlight;
        return true;
    }

    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::wstring lastHeader;
};

ServerEntry server(const std::string& slug, int endpoints) {
    ServerEntry entry;
    entry.slug = slug;
    for (int i = 1; i <= endpoints; ++i) {
        ServerEndpoint endpoint;
        endpoint.region = "r" + std::to_string(i);
        endpoint.label = "R" + std::to_string(i);
        endpoint.ip = "127.0.0." + std::to_string(i);
        endpoint.port = 7000;
        entry.endpoints.push_back(endpoint);
    }
    return entry;
}

// Handlers with a directory of three servers already installed and a probe that never connects.
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

TEST_F(ServerListActions, ApplyingTheCodeTwiceStartsOneWorker) {
    h.view.setAccessCode("Ab 1!");
    launcher::applyAccessCode(h.state);
    launcher::applyAccessCode(h.state);

    EXPECT_EQ(h.view.serverListStatuses,
              (std::vector<kyrtest::Status>{{kSearching, false}, {kAlreadySearching, false}}));
    EXPECT_EQ(h.preferences.value("AccessCode"), "Ab 1!");
    h.workers.joinAll();
    EXPECT_EQ(h.workers.started(), 1);
    EXPECT_EQ(source.lastHeader, L"X-Valdra-Access-Code: Ab1\r\n") << "the worker got the window's code";
    EXPECT_EQ(h.state.serverListBusy.load(), 1) << "busy until the window thread handled the result";

    h.settle();
    EXPECT_EQ(h.state.serverListBusy.load(), 0);
    EXPECT_EQ(h.view.lastServerListStatus(), (kyrtest::Status{kPrimary, false}));
    launcher::startServerListFetch(h.state);
    EXPECT_EQ(h.view.lastServerListStatus(), (kyrtest::Status{kSearching, false}));
}

TEST_F(ServerListActions, WorkerThatCannotStartIsReported) {
    h.workers.failStarts(true);
    launcher::startServerListFetch(h.state);
    EXPECT_EQ(h.view.lastServerListStatus(), (kyrtest::Status{"No se pudo iniciar la busqueda de servidores.", true}));
    EXPECT_EQ(h.state.serverListBusy.load(), 0);
    EXPECT_EQ(h.queue.postedCount(), 0u);

    launcher::startProbe(h.state);
    EXPECT_EQ(h.state.probeBusy.load(), 0) << "a probe that cannot start goes back to idle";
}

TEST_F(ServerListActions, ResultStatusFollowsItsSource) {
    struct Case {
        const char* name;
        ServerListResult result;
        bool newerSchema;
        kyrtest::Status want;
    };
    const auto result = [](bool ok, int from, bool cache, bool client, const char* error) {
        ServerListResult r;
        r.ok = ok;
        r.source = from;
        r.fromCache = cache;
        r.fromClient = client;
        r.error = error;
        return r;
    };
    const Case cases[] = {
        {"failure shows the worker's text",
         result(false, -1, false, false, "No server configured (error 0x00000000)"),
         false,
         {"No server configured (error 0x00000000)", true}},
        {"newer schema wins over the client file", result(true, -1, false, true, "x"), true, {kOutdated, true}},
        {"newer schema wins over the cache", result(true, -1, true, false, "x"), true, {kOutdated, true}},
        {"client file", result(true, -1, false, true, "x"), false, {kClient, true}},
        {"cache", result(true, -1, true, false, "x"), false, {kCache, true}},
        {"primary", result(true, 0, false, false, ""), false, {kPrimary, false}},
        {"source below 0 counts as primary", result(true, -1, false, false, ""), false, {kPrimary, false}},
        {"secondary", result(true, 1, false, false, ""), false, {kSecondary, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::LauncherHarness fresh;
        fresh.state.serverDirectory.servers = {server("aa", 1)};
        fresh.state.serverDirectory.newerSchema = c.newerSchema;
        fresh.state.connectProbe = [](const std::string&, int) { return 5; };
        fresh.state.serverListBusy = 1;

        launcher::onServerListDone(fresh.state, c.result);
        fresh.workers.joinAll();

        EXPECT_EQ(fresh.state.serverListBusy.load(), 0);
        EXPECT_EQ(fresh.view.lastServerListStatus(), c.want);
        EXPECT_EQ(fresh.view.rowSets.size(), c.result.ok ? 1u : 0u) << "a failure leaves the rows untouched";
        EXPECT_EQ(fresh.workers.started(), c.result.ok ? 1 : 0) << "only a success starts probing";
    }
}

TEST_F(ServerListActions, SelectingARowRemembersItAndProbesItFirst) {
    launcher::selectServer(1, h.state);
    EXPECT_EQ(h.state.selectedServerId, "bb");
    EXPECT_EQ(h.preferences.value("Last"), "bb");
    ASSERT_EQ(h.view.selectedRows, (std::vector<int>{1}));
    h.settle();
    EXPECT_EQ(h.workers.started(), 1);
    EXPECT_EQ(h.state.serverDirectory.servers[1].endpoints[0].latencyMs, 5);
}

TEST_F(ServerListActions, SelectingOutsideTheRowsChangesNothing) {
    h.state.selectedServerId = "aa";
    for (int index : {3, 100, -1}) {
        SCOPED_TRACE(index);
        launcher::selectServer(index, h.state);
    }
    EXPECT_EQ(h.state.selectedServerId, "aa");
    EXPECT_EQ(h.preferences.writeCount(), 0u);
    EXPECT_TRUE(h.view.rowSets.empty());
    EXPECT_EQ(h.workers.started(), 0);
}

TEST_F(ServerListActions, RegionStepsThroughEveryEndpointAndAutomatic) {
    h.state.selectedServerId = "aa";
    std::vector<std::string> stored;
    std::vector<bool> pinned;
    for (int i = 0; i < 4; ++i) {
        launcher::cycleRegion(1, h.state);
        stored.push_back(h.preferences.value("Region.aa"));
        pinned.push_back(h.view.rowSets.back()[0].regionPinned);
    }
    EXPECT_EQ(stored, (std::vector<std::string>{"r1", "r2", "r3", ""}));
    EXPECT_EQ(pinned, (std::vector<bool>{true, true, true, false}));

    launcher::cycleRegion(-1, h.state);
    EXPECT_EQ(h.preferences.value("Region.aa"), "r3") << "backward from automatic is the last endpoint";
    EXPECT_EQ(h.view.rowSets.back()[0].bestLabel, "R3");
    EXPECT_EQ(h.workers.started(), 0) << "stepping the region does not probe";
}

TEST_F(ServerListActions, RegionStepWithoutEndpointsOrSelectionChangesNothing) {
    for (const char* selected : {"none", "", "gone"}) {
        SCOPED_TRACE(selected);
        h.state.selectedServerId = selected;
        launcher::cycleRegion(1, h.state);
    }
    EXPECT_EQ(h.preferences.writeCount(), 0u);
    EXPECT_TRUE(h.view.rowSets.empty());
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
                launcher::routeFromMessageLoop(h.state, posted.message, wParam,
                                               reinterpret_cast<std::intptr_t>(posted.payload));
            }
        }
    });
    auto ask = [&] {
        for (int i = 0; i < kRequests; ++i) {
            launcher::startServerListFetch(h.state);
            std::this_thread::yield();
        }
    };
    std::thread first(ask);
    std::thread second(ask);
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
    EXPECT_EQ(h.state.probeBusy.load(), 0);
}

} // namespace
