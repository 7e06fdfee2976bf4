#include "launcher/servers/endpoint_probe.hpp"

#include "launcher/shell/server_list_actions.hpp"
#include "support/http_test_server.hpp"
#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using launcher::kProbeFailed;
using launcher::ServerEndpoint;
using launcher::ServerEntry;
using launcher::tcpConnectMs;

constexpr auto kPatience = std::chrono::seconds(10);

// Probes only ever go to loopback; the fakes below never connect at all.
std::string loopback(int host) {
    return "127.0.0." + std::to_string(host);
}

ServerEntry server(const std::string& slug, const std::vector<int>& hosts, int port = 7000) {
    ServerEntry entry;
    entry.slug = slug;
    entry.name = slug;
    for (int host : hosts) {
        ServerEndpoint endpoint;
        endpoint.ip = loopback(host);
        endpoint.port = port;
        entry.endpoints.push_back(endpoint);
    }
    return entry;
}

void install(launcher::LauncherState& state, std::vector<ServerEntry> servers, const std::string& selected = "") {
    std::lock_guard<std::mutex> lock(state.launcherLock);
    state.serverDirectory.servers = std::move(servers);
    state.selectedServerId = selected;
}

std::vector<int> latencies(launcher::LauncherState& state, const std::string& slug) {
    std::lock_guard<std::mutex> lock(state.launcherLock);
    std::vector<int> found;
    const int index = launcher::findServer(state.serverDirectory, slug);
    if (index >= 0) {
        for (const ServerEndpoint& endpoint : state.serverDirectory.servers[index].endpoints) {
            found.push_back(endpoint.latencyMs);
        }
    }
    return found;
}

// A connect fake that records which addresses were probed, in order.
class ProbeLog {
public:
    void add(const std::string& ip) {
        std::lock_guard<std::mutex> lock(mutex_);
        ips_.push_back(ip);
    }
    std::vector<std::string> ips() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ips_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> ips_;
};

// One-shot signal between the test and a probe thread.
class Signal {
public:
    void raise() {
        std::lock_guard<std::mutex> lock(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

TEST(TcpConnectMs, MeasuresAListeningLoopbackPort) {
    kyrtest::HttpTestServer listener([](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; });
    const int latency = tcpConnectMs("127.0.0.1", listener.port());
    EXPECT_GE(latency, 0);
    EXPECT_LE(latency, launcher::kProbeTimeoutMs);
}

TEST(TcpConnectMs, ClosedLoopbackPortFails) {
    int port;
    {
        kyrtest::HttpTestServer listener([](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; });
        port = listener.port();
    }
    EXPECT_EQ(tcpConnectMs("127.0.0.1", port), kProbeFailed);
}

TEST(TcpConnectMs, RejectsWhatIsNotALiteralAddressAndPortWithoutConnecting) {
    const struct {
        const char* name;
        const char* ip;
        int port;
    } cases[] = {
        {"empty address", "", 7000},
        {"host name", "localhost", 7000},
        {"group above 255", "256.0.0.1", 7000},
        {"three groups, which inet_addr would take", "127.1", 7000},
        {"five groups", "127.0.0.1.5", 7000},
        {"trailing blank", "127.0.0.1 ", 7000},
        {"signed group", "-1.0.0.1", 7000},
        {"port 0", "127.0.0.1", 0},
        {"port above 65535", "127.0.0.1", 70000},
        {"negative port", "127.0.0.1", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tcpConnectMs(c.ip, c.port), kProbeFailed);
    }
}

TEST(ProbeWorker, MeasuresTheSelectedServerFirstAndStoresEveryLatency) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1, 2}), server("bb", {3}), server("cc", {})}, "bb");
    const std::map<std::string, int> answers = {{loopback(1), 25}, {loopback(2), kProbeFailed}, {loopback(3), 7}};
    ProbeLog log;
    h.state.connectProbe = [&](const std::string& ip, int) {
        log.add(ip);
        return answers.at(ip);
    };

    launcher::startProbe(h.state);
    h.settle();

    const std::vector<std::string> probed = log.ips();
    ASSERT_EQ(probed.size(), 3u);
    EXPECT_EQ(probed[0], loopback(3));
    EXPECT_EQ(latencies(h.state, "aa"), (std::vector<int>{25, kProbeFailed}));
    EXPECT_EQ(latencies(h.state, "bb"), (std::vector<int>{7}));
    EXPECT_EQ(h.queue.postedCount(), 2u) << "one notification per measured server; none for one without endpoints";
    EXPECT_EQ(h.state.probeBusy.load(), 0);
    ASSERT_FALSE(h.view.rowSets.empty()) << "each notification refreshes the rows";
    EXPECT_EQ(h.view.rowSets.back()[1].bestLatencyMs, 7);
}

TEST(ProbeWorker, AProbeThatThrowsCountsAsFailedAndTheOthersAreStillStored) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1, 2, 3})});
    h.state.connectProbe = [&](const std::string& ip, int) {
        if (ip == loopback(2)) {
            throw std::runtime_error("probe failed");
        }
        return ip == loopback(1) ? 11 : 33;
    };

    launcher::startProbe(h.state);
    h.settle();

    EXPECT_EQ(latencies(h.state, "aa"), (std::vector<int>{11, kProbeFailed, 33}));
    EXPECT_EQ(h.state.probeBusy.load(), 0);
}

TEST(ProbeWorker, RunsAtMostFourProbesAtOnceInGroups) {
    kyrtest::LauncherHarness h;
    constexpr int kEndpoints = 9;
    install(h.state, {server("big", {1, 2, 3, 4, 5, 6, 7, 8, 9})});
    std::mutex mutex;
    std::condition_variable changed;
    int inFlight = 0;
    int maxInFlight = 0;
    int finished = 0;
    std::vector<int> startedInGroup(3, 0);
    std::vector<int> finishedBeforeStart(kEndpoints, -1);
    h.state.connectProbe = [&](const std::string& ip, int) {
        const int index = std::stoi(ip.substr(ip.rfind('.') + 1)) - 1;
        const int group = index / 4;
        const int groupSize = std::min(4, kEndpoints - 4 * group);
        std::unique_lock<std::mutex> lock(mutex);
        finishedBeforeStart[index] = finished;
        maxInFlight = std::max(maxInFlight, ++inFlight);
        ++startedInGroup[group];
        changed.notify_all();
        // Every member of a group is in flight at once before any of them ends.
        changed.wait_for(lock, kPatience, [&] { return startedInGroup[group] == groupSize; });
        --inFlight;
        ++finished;
        return 10 * index;
    };

    launcher::startProbe(h.state);
    h.settle();

    EXPECT_EQ(maxInFlight, 4);
    for (int i = 0; i < kEndpoints; ++i) {
        SCOPED_TRACE("endpoint " + std::to_string(i));
        EXPECT_EQ(finishedBeforeStart[i], 4 * (i / 4)) << "a group starts once the previous one has ended";
    }
    EXPECT_EQ(latencies(h.state, "big"), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80}));
}

TEST(ProbeWorker, SelectionDuringAPassRestartsWithTheSelectedServerFirst) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1}), server("bb", {2}), server("cc", {3})}, "aa");
    ProbeLog log;
    Signal reachedB;
    Signal resume;
    h.state.connectProbe = [&](const std::string& ip, int) {
        log.add(ip);
        if (ip == loopback(2) && log.ips().size() == 2) {
            reachedB.raise();
            resume.wait();
        }
        return 1;
    };

    launcher::startProbe(h.state);
    ASSERT_TRUE(reachedB.wait());
    launcher::selectServer(2, h.state); // the window thread picks "cc" while "bb" is measured
    resume.raise();
    h.settle();

    EXPECT_EQ(log.ips(), (std::vector<std::string>{loopback(1), loopback(2), loopback(3), loopback(1), loopback(2)}));
    EXPECT_EQ(h.workers.started(), 1) << "the running worker starts over; no second one";
    EXPECT_EQ(h.queue.postedCount(), 5u);
    EXPECT_EQ(h.state.probeBusy.load(), 0);
}

TEST(ProbeWorker, EndsAtTheEighthRestart) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1}), server("bb", {2})});
    ProbeLog log;
    h.state.connectProbe = [&](const std::string& ip, int) {
        log.add(ip);
        h.state.probeAgain.exchange(1); // someone asks again during every server
        return 1;
    };

    launcher::startProbe(h.state);
    h.settle();

    EXPECT_EQ(log.ips(), std::vector<std::string>(8, loopback(1)));
    EXPECT_EQ(h.workers.started(), 1);
    EXPECT_EQ(h.state.probeBusy.load(), 0);
    EXPECT_EQ(h.state.probeAgain.load(), 1) << "the last request is dropped; the next startProbe begins anew";
}

TEST(ProbeWorker, RequestRaisedAfterItsLastCheckStartsAnotherPass) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1})});
    ProbeLog log;
    h.state.connectProbe = [&](const std::string& ip, int) {
        log.add(ip);
        return 1;
    };
    // The first notification is posted after the worker's last look at probeAgain: a request made right
    // then finds the worker still busy.
    bool first = true;
    h.queue.setOnPost([&](unsigned message) {
        if (message == launcher::WM_APP_PROBE_DONE && first) {
            first = false;
            launcher::startProbe(h.state);
        }
    });

    launcher::startProbe(h.state);
    h.settle();

    EXPECT_EQ(log.ips().size(), 2u);
    EXPECT_EQ(h.workers.started(), 1);
    EXPECT_EQ(h.state.probeAgain.load(), 0);
    EXPECT_EQ(h.state.probeBusy.load(), 0);
}

TEST(ProbeWorker, StoresIntoTheDirectoryThatReplacedTheProbedOne) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1}), server("gone", {2})});
    Signal probing;
    Signal resume;
    h.state.connectProbe = [&](const std::string& ip, int) {
        if (ip == loopback(1)) {
            probing.raise();
            resume.wait();
        }
        return 42;
    };

    launcher::startProbe(h.state);
    ASSERT_TRUE(probing.wait());
    install(h.state, {server("aa", {9, 1}), server("other", {2})});
    resume.raise();
    h.settle();

    EXPECT_EQ(latencies(h.state, "aa"), (std::vector<int>{-1, 42})) << "matched by ip and port, not by position";
    EXPECT_EQ(latencies(h.state, "other"), (std::vector<int>{-1})) << "a server that is gone is not probed";
}

TEST(ProbeWorkerRace, TwoThreadsStartingProbesNeverRunTwoWorkers) {
    kyrtest::LauncherHarness h;
    install(h.state, {server("aa", {1}), server("bb", {2})});
    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    h.state.connectProbe = [&](const std::string&, int) {
        const int now = ++inFlight;
        int seen = maxInFlight.load();
        while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::yield();
        --inFlight;
        return 3;
    };

    auto hammer = [&] {
        for (int i = 0; i < 300; ++i) {
            launcher::startProbe(h.state);
        }
    };
    std::thread first(hammer);
    std::thread second(hammer);
    first.join();
    second.join();
    h.workers.joinAll();
    EXPECT_EQ(h.state.probeBusy.load(), 0);

    // Once the requests stop, one more gives a full pass (the hammering may have hit the restart limit).
    launcher::startProbe(h.state);
    h.settle();
    EXPECT_EQ(h.workers.maxRunning(), 1);
    EXPECT_EQ(maxInFlight.load(), 1) << "one endpoint per server: two probes at once mean two workers";
    EXPECT_EQ(h.state.probeBusy.load(), 0);
    EXPECT_EQ(latencies(h.state, "bb"), (std::vector<int>{3}));
}

} // namespace
