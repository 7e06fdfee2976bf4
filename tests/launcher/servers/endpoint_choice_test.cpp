#include "launcher/servers/endpoint_choice.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using launcher::ServerDirectory;
using launcher::ServerEndpoint;
using launcher::ServerEntry;

struct Ep {
    int latency;
    int priority;
};

ServerEntry serverWith(const std::vector<Ep>& endpoints, int pinned = -1) {
    ServerEntry server;
    server.slug = "s";
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        ServerEndpoint endpoint;
        endpoint.ip = "127.0.0." + std::to_string(i + 1);
        endpoint.port = 7000;
        endpoint.latencyMs = endpoints[i].latency;
        endpoint.priority = endpoints[i].priority;
        server.endpoints.push_back(endpoint);
    }
    server.selectedEndpoint = pinned;
    return server;
}

TEST(ChooseEndpoint, FollowsPinThenLatencyThenPriorityThenOrder) {
    const struct {
        const char* name;
        std::vector<Ep> endpoints;
        int pinned;
        int want;
    } cases[] = {
        {"no endpoints", {}, -1, -1},
        {"no endpoints, stale pin", {}, 0, -1},
        {"equal latency goes to smaller priority", {{40, 2}, {40, 1}}, -1, 1},
        {"smaller latency wins over priority", {{40, 1}, {35, 9}}, -1, 1},
        {"equal latency and priority go to the earlier", {{40, 1}, {40, 1}}, -1, 0},
        {"zero is a measured latency", {{-1, 0}, {0, 5}}, -1, 1},
        {"failed and unmeasured fall back to priority", {{-2, 5}, {-1, 3}}, -1, 1},
        {"unmeasured priority ties go to the earlier", {{-1, 3}, {-2, 3}, {-1, 4}}, -1, 0},
        {"single failed endpoint", {{-2, 9}}, -1, 0},
        {"measured beats better-priority unmeasured", {{-1, 0}, {900, 9}}, -1, 1},
        {"pinned wins whatever the latencies", {{10, 0}, {20, 0}, {999, 9}}, 2, 2},
        {"pin past the list counts as automatic", {{50, 0}, {20, 0}}, 2, 1},
        {"negative pin is automatic", {{50, 0}, {20, 0}}, -7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::chooseEndpoint(serverWith(c.endpoints, c.pinned)), c.want);
    }
}

ServerEndpoint endpoint(const std::string& region, const std::string& ip, int port, int latency = -1) {
    ServerEndpoint e;
    e.region = region;
    e.label = region;
    e.ip = ip;
    e.port = port;
    e.latencyMs = latency;
    return e;
}

ServerEntry named(const std::string& slug, std::vector<ServerEndpoint> endpoints) {
    ServerEntry server;
    server.slug = slug;
    server.endpoints = std::move(endpoints);
    return server;
}

TEST(CarryOverLatencies, KeepsMeasurementsOfUnchangedAddressesOnly) {
    ServerDirectory current;
    current.servers = {named("alpha", {endpoint("eu", "127.0.0.1", 7000, 41), endpoint("us", "127.0.0.2", 7000, 120),
                                       endpoint("us", "127.0.0.2", 7000, 999)}),
                       named("beta", {endpoint("eu", "127.0.0.9", 7000, 15)})};
    ServerDirectory fresh;
    fresh.servers = {
        named("alpha", {endpoint("relabelled", "127.0.0.1", 7000), endpoint("us", "127.0.0.2", 7001),
                        endpoint("dup", "127.0.0.2", 7000)}),
        named("gamma", {endpoint("eu", "127.0.0.9", 7000)}), // same address as beta, other server
    };
    launcher::carryOverLatencies(current, fresh);
    EXPECT_EQ(fresh.servers[0].endpoints[0].latencyMs, 41) << "same ip and port, new label";
    EXPECT_EQ(fresh.servers[0].endpoints[1].latencyMs, -1) << "port changed";
    EXPECT_EQ(fresh.servers[0].endpoints[2].latencyMs, 120) << "the first old endpoint with that address";
    EXPECT_EQ(fresh.servers[1].endpoints[0].latencyMs, -1) << "latencies never move between servers";
}

TEST(RestorePinnedRegions, PinsTheFirstEndpointOfTheStoredRegion) {
    ServerDirectory directory;
    directory.servers = {
        named("alpha",
              {endpoint("eu", "127.0.0.1", 1), endpoint("sa", "127.0.0.2", 1), endpoint("sa", "127.0.0.3", 1)}),
        named("beta", {endpoint("eu", "127.0.0.1", 1)}),
        named("gamma", {endpoint("eu", "127.0.0.1", 1)}),
        named("delta", {endpoint("EU", "127.0.0.1", 1)}),
    };
    for (ServerEntry& server : directory.servers) {
        server.selectedEndpoint = 0; // stale pins from before are dropped
    }
    const std::map<std::string, std::string> stored = {{"alpha", "sa"}, {"beta", "asia"}, {"delta", "eu"}};
    launcher::restorePinnedRegions(directory, [&](const std::string& slug) {
        const auto found = stored.find(slug);
        return found == stored.end() ? std::string() : found->second;
    });
    EXPECT_EQ(directory.servers[0].selectedEndpoint, 1);
    EXPECT_EQ(directory.servers[1].selectedEndpoint, -1) << "region no endpoint has";
    EXPECT_EQ(directory.servers[2].selectedEndpoint, -1) << "nothing stored";
    EXPECT_EQ(directory.servers[3].selectedEndpoint, -1) << "regions compare byte for byte";
}

TEST(StepPinnedEndpoint, WalksTheRingThroughAutomatic) {
    const struct {
        const char* name;
        int selected;
        int count;
        int direction;
        int want;
    } cases[] = {
        {"forward from automatic", -1, 3, 1, 0},
        {"forward", 0, 3, 1, 1},
        {"forward to the last", 1, 3, 1, 2},
        {"forward past the last is automatic", 2, 3, 1, -1},
        {"backward from automatic is the last", -1, 3, -1, 2},
        {"backward from the first is automatic", 0, 3, -1, -1},
        {"direction 0 counts as backward", 1, 3, 0, 0},
        {"large direction counts as forward", 1, 3, 5, 2},
        {"out-of-range pin counts as automatic", 7, 3, 1, 0},
        {"one endpoint toggles", -1, 1, 1, 0},
        {"one endpoint back to automatic", 0, 1, 1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::stepPinnedEndpoint(c.selected, c.count, c.direction), c.want);
    }
}

} // namespace
