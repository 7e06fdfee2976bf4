#include "launcher/servers/endpoint_choice.hpp"

#include "launcher/servers/latency_display.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

struct Ep {
    int latency, priority;
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

TEST(EndpointChoice, FollowsPinThenLatencyThenPriorityThenOrder) {
    const struct {
        std::vector<Ep> endpoints;
        int pinned, want;
    } cases[] = {{{}, 0, -1},
                 {{{40, 2}, {40, 1}}, -1, 1},
                 {{{40, 1}, {40, 2}}, -1, 0},
                 {{{40, 1}, {35, 9}}, -1, 1},
                 {{{-1, 0}, {0, 5}}, -1, 1},
                 {{{-2, 5}, {-1, 3}}, -1, 1},
                 {{{10, 0}, {999, 9}}, 1, 1},
                 {{{50, 0}, {20, 0}}, 2, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.endpoints.size());
        EXPECT_EQ(chooseEndpoint(serverWith("s", c.endpoints, c.pinned)), c.want);
    }
    const struct {
        int selected, count, direction, want;
    } steps[] = {{-1, 3, 1, 0}, {2, 3, 1, -1}, {-1, 3, -1, 2}, {0, 3, -1, -1}, {7, 3, 1, 0}, {0, 1, 1, -1}};
    for (const auto& c : steps) {
        SCOPED_TRACE(std::to_string(c.selected) + " by " + std::to_string(c.direction));
        EXPECT_EQ(stepPinnedEndpoint(c.selected, c.count, c.direction), c.want);
    }
}

TEST(EndpointChoice, ANewDirectoryKeepsLatenciesOfUnchangedAddressesAndTheStoredRegions) {
    ServerDirectory current;
    current.servers = {serverWith("alpha", {{41, 0, "eu", "127.0.0.1"}}), serverWith("beta", {{15, 0, "eu", "127.0.0.9"}})};
    ServerDirectory fresh;
    fresh.servers = {serverWith("alpha", {{-1, 0, "new", "127.0.0.1"}, {-1, 0, "sa", "127.0.0.1", 7001}, {-1, 0, "sa"}}, 0),
                     serverWith("gamma", {{-1, 0, "EU", "127.0.0.9"}}, 0)};
    carryOverLatencies(current, fresh);
    restorePinnedRegions(fresh, [](const std::string& slug) { return slug == "alpha" ? "sa" : "eu"; });
    EXPECT_EQ(fresh.servers[0].endpoints[0].latencyMs, 41) << "same ip and port, new label";
    EXPECT_EQ(fresh.servers[0].endpoints[1].latencyMs, -1) << "port changed";
    EXPECT_EQ(fresh.servers[1].endpoints[0].latencyMs, -1) << "latencies never move between servers";
    EXPECT_EQ(fresh.servers[0].selectedEndpoint, 1) << "the first endpoint of the stored region";
    EXPECT_EQ(fresh.servers[1].selectedEndpoint, -1) << "regions compare byte for byte";
}

TEST(LatencyDisplay, TextAndColourFollowTheThresholds) {
    const struct {
        int latency;
        const char* text;
        std::uint32_t colour;
    } cases[] = {{-1, "-- ms", 0x585050}, {0, "0 ms", 0x5EC522},     {79, "79 ms", 0x5EC522},
                 {80, "80 ms", 0x1C9FFF}, {179, "179 ms", 0x1C9FFF}, {180, "180 ms", 0x4A30D9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latency);
        EXPECT_EQ(latencyText(c.latency), c.text);
        EXPECT_EQ(latencyColour(c.latency), c.colour);
    }
}

} // namespace
} // namespace launcher
