#include "launcher/servers/endpoint_choice.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

struct Ep {
    int latency;
    int priority;
    const char* region = "eu";
    const char* ip = "127.0.0.1";
    int port = 7000;
};

ServerEntry serverWith(const std::string& slug, const std::vector<Ep>& endpoints, int pinned = -1) {
    ServerEntry server;
    server.slug = slug;
    server.selectedEndpoint = pinned;
    for (const Ep& e : endpoints) {
        server.endpoints.push_back({e.region, e.region, e.ip, e.port, e.priority, e.latency});
    }
    return server;
}

TEST(ChooseEndpoint, FollowsPinThenLatencyThenPriorityThenOrder) {
    const struct {
        const char* name;
        std::vector<Ep> endpoints;
        int pinned;
        int want;
    } cases[] = {
        {"no endpoints", {}, 0, -1},
        {"equal latency goes to the smaller priority", {{40, 2}, {40, 1}}, -1, 1},
        {"equal latency, smaller priority first", {{40, 1}, {40, 2}}, -1, 0},
        {"smaller latency wins over priority", {{40, 1}, {35, 9}}, -1, 1},
        {"equal latency and priority go to the earlier", {{40, 1}, {40, 1}}, -1, 0},
        {"zero is a measured latency", {{-1, 0}, {0, 5}}, -1, 1},
        {"unmeasured fall back to priority", {{-2, 5}, {-1, 3}}, -1, 1},
        {"pinned wins whatever the latencies", {{10, 0}, {999, 9}}, 1, 1},
        {"pin past the list counts as automatic", {{50, 0}, {20, 0}}, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(chooseEndpoint(serverWith("s", c.endpoints, c.pinned)), c.want);
    }
}

TEST(CarryOverLatencies, KeepsMeasurementsOfUnchangedAddressesOfTheSameServerOnly) {
    ServerDirectory current;
    current.servers = {serverWith("alpha", {{41, 0, "eu", "127.0.0.1"}, {120, 0, "us", "127.0.0.2"}}),
                       serverWith("beta", {{15, 0, "eu", "127.0.0.9"}})};
    ServerDirectory fresh;
    fresh.servers = {serverWith("alpha", {{-1, 0, "new", "127.0.0.1"}, {-1, 0, "us", "127.0.0.2", 7001}}),
                     serverWith("gamma", {{-1, 0, "eu", "127.0.0.9"}})};
    carryOverLatencies(current, fresh);
    EXPECT_EQ(fresh.servers[0].endpoints[0].latencyMs, 41) << "same ip and port, new label";
    EXPECT_EQ(fresh.servers[0].endpoints[1].latencyMs, -1) << "port changed";
    EXPECT_EQ(fresh.servers[1].endpoints[0].latencyMs, -1) << "latencies never move between servers";
}

TEST(RestorePinnedRegions, PinsTheFirstEndpointOfTheStoredRegion) {
    ServerDirectory directory;
    directory.servers = {serverWith("alpha", {{-1, 0, "eu"}, {-1, 0, "sa"}, {-1, 0, "sa"}}, 0),
                         serverWith("beta", {{-1, 0, "eu"}}, 0), serverWith("delta", {{-1, 0, "EU"}}, 0)};
    restorePinnedRegions(directory, [](const std::string& slug) {
        return slug == "alpha" ? "sa" : slug == "beta" ? "asia" : "eu";
    });
    EXPECT_EQ(directory.servers[0].selectedEndpoint, 1);
    EXPECT_EQ(directory.servers[1].selectedEndpoint, -1) << "a region no endpoint has";
    EXPECT_EQ(directory.servers[2].selectedEndpoint, -1) << "regions compare byte for byte";
}

TEST(StepPinnedEndpoint, WalksTheRingThroughAutomatic) {
    const struct {
        int selected, count, direction, want;
    } cases[] = {{-1, 3, 1, 0},  {1, 3, 1, 2}, {2, 3, 1, -1}, {-1, 3, -1, 2}, {0, 3, -1, -1},
                 {1, 3, 0, 0},   {7, 3, 1, 0}, {-1, 1, 1, 0}, {0, 1, 1, -1},  {0, 1, -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.selected) + " of " + std::to_string(c.count) + " by " +
                     std::to_string(c.direction));
        EXPECT_EQ(stepPinnedEndpoint(c.selected, c.count, c.direction), c.want);
    }
}

} // namespace
} // namespace launcher
