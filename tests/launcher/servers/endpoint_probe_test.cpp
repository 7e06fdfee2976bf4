#include "launcher/servers/endpoint_probe.hpp"

#include "launcher/shell/server_list_actions.hpp"
#include "support/http_test_server.hpp"
#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace launcher {
namespace {

// Probes only ever go to loopback; the fakes below never connect at all.
ServerEntry server(const std::string& slug, const std::vector<int>& hosts) {
    ServerEntry entry;
    entry.slug = entry.name = slug;
    for (int host : hosts) {
        entry.endpoints.push_back({"", "", "127.0.0." + std::to_string(host), 7000});
    }
    return entry;
}

void install(LauncherState& state, std::vector<ServerEntry> servers, const std::string& selected = "") {
    std::lock_guard<std::mutex> lock(state.launcherLock);
    state.serverDirectory.servers = std::move(servers);
    state.selectedServerId = selected;
}

std::vector<int> latencies(LauncherState& state) {
    std::lock_guard<std::mutex> lock(state.launcherLock);
    std::vector<int> found;
    for (const ServerEntry& entry : state.serverDirectory.servers) {
        for (const ServerEndpoint& endpoint : entry.endpoints) {
            found.push_back(endpoint.latencyMs);
        }
    }
    return found;
}

TEST(TcpConnectMs, MeasuresOnlyALiteralAddressWithAListeningPort) {
    int closedPort = 0;
    {
        kyrtest::HttpTestServer listener([](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; });
        EXPECT_GE(tcpConnectMs("127.0.0.1", listener.port()), 0);
        closedPort = listener.port();
    }
    EXPECT_EQ(tcpConnectMs("127.0.0.1", closedPort), kProbeFailed);
    const struct {
        const char* ip;
        int port;
    } refused[] = {{"localhost", 7000}, {"127.1", 7000},  {"127.0.0.1 ", 7000},
                   {"127.0.0.1", 0},    {"127.0.0.1", 70000}};
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(c.ip) + ":" + std::to_string(c.port));
        EXPECT_EQ(tcpConnectMs(c.ip, c.port), kProbeFailed);
    }
}

struct ProbeFake {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> ips;
    int inFlight = 0, maxInFlight = 0;
};

TEST(ProbeWorker, SelectedServerFirstAtMostFourAtOnceAndAThrowIsAFailure) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1, 2, 3, 4, 5, 6}), server("bb", {9}), server("cc", {})}, "bb");
    ProbeFake fake;
    h.state.connectProbe = [&](const std::string& ip, int) {
        std::unique_lock<std::mutex> lock(fake.mutex);
        fake.ips.push_back(ip);
        fake.maxInFlight = std::max(fake.maxInFlight, ++fake.inFlight);
        fake.changed.notify_all();
        // Groups of 1 (the selected server), 4 and 2: a group's members are all in flight before any ends.
        fake.changed.wait_for(lock, std::chrono::seconds(5), [&] {
            const std::size_t n = fake.ips.size();
            return n == 1 || n == 5 || n == 7;
        });
        --fake.inFlight;
        if (ip == "127.0.0.2") {
            throw std::runtime_error("probe failed");
        }
        return ip.back() - '0';
    };
    startProbe(h.state);
    h.settle();
    EXPECT_EQ(fake.ips.front(), "127.0.0.9");
    EXPECT_EQ(fake.maxInFlight, 4);
    EXPECT_EQ(latencies(h.state), (std::vector<int>{1, kProbeFailed, 3, 4, 5, 6, 9}));
    EXPECT_EQ(h.queue.postedCount(), 2u) << "one notification per measured server";
    EXPECT_EQ(h.view.rowSets.back()[1].bestLatencyMs, 9);
    EXPECT_EQ(h.state.probeBusy.load(), 0);
}

TEST(ProbeWorker, EndsAtTheEighthRestart) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1}), server("bb", {2})});
    int probes = 0;
    h.state.connectProbe = [&](const std::string&, int) {
        ++probes;
        h.state.probeAgain.exchange(1); // someone asks again during every server
        return 1;
    };
    startProbe(h.state);
    h.settle();
    EXPECT_EQ(probes, 8);
    EXPECT_EQ(h.workers.started(), 1);
    EXPECT_EQ(h.state.probeBusy.load(), 0);
}

TEST(ProbeWorker, StoresIntoTheDirectoryThatReplacedTheProbedOneByAddress) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1}), server("gone", {2})});
    h.state.connectProbe = [&](const std::string& ip, int) {
        if (ip == "127.0.0.1") {
            install(h.state, {server("aa", {9, 1}), server("other", {2})});
        }
        return 42;
    };
    startProbe(h.state);
    h.settle();
    EXPECT_EQ(latencies(h.state), (std::vector<int>{-1, 42, -1}));
}

} // namespace
} // namespace launcher
