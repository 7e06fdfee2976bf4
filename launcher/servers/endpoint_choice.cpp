#include "launcher/servers/endpoint_choice.hpp"

#include <cstddef>

namespace launcher {
namespace {

// The first endpoint with the same ip and port, or null.
const ServerEndpoint* findSameAddress(const ServerEntry& server, const ServerEndpoint& wanted) {
    for (const ServerEndpoint& endpoint : server.endpoints) {
        if (endpoint.ip == wanted.ip && endpoint.port == wanted.port) {
            return &endpoint;
        }
    }
    return nullptr;
}

} // namespace

int chooseEndpoint(const ServerEntry& server) {
    const int count = static_cast<int>(server.endpoints.size());
    if (count == 0) {
        return -1;
    }
    if (server.selectedEndpoint >= 0 && server.selectedEndpoint < count) {
        return server.selectedEndpoint;
    }
    int best = -1;
    for (int i = 0; i < count; ++i) {
        const ServerEndpoint& candidate = server.endpoints[i];
        if (candidate.latencyMs < 0) {
            continue;
        }
        if (best < 0) {
            best = i;
            continue;
        }
        const ServerEndpoint& current = server.endpoints[best];
        if (candidate.latencyMs < current.latencyMs ||
            (candidate.latencyMs == current.latencyMs && candidate.priority < current.priority)) {
            best = i;
        }
    }
    if (best >= 0) {
        return best;
    }
    // Nothing measured (a single endpoint is its own smallest priority).
    best = 0;
    for (int i = 1; i < count; ++i) {
        if (server.endpoints[i].priority < server.endpoints[best].priority) {
            best = i;
        }
    }
    return best;
}

void carryOverLatencies(const ServerDirectory& current, ServerDirectory& fresh) {
    for (ServerEntry& server : fresh.servers) {
        const int previous = findServer(current, server.slug);
        if (previous < 0) {
            continue;
        }
        for (ServerEndpoint& endpoint : server.endpoints) {
            if (const ServerEndpoint* measured = findSameAddress(current.servers[previous], endpoint)) {
                endpoint.latencyMs = measured->latencyMs;
            }
        }
    }
}

void restorePinnedRegions(ServerDirectory& directory,
                          const std::function<std::string(const std::string& slug)>& regionOf) {
    for (ServerEntry& server : directory.servers) {
        server.selectedEndpoint = -1;
        const std::string region = regionOf(server.slug);
        if (region.empty()) {
            continue;
        }
        for (std::size_t i = 0; i < server.endpoints.size(); ++i) {
            if (server.endpoints[i].region == region) {
                server.selectedEndpoint = static_cast<int>(i);
                break;
            }
        }
    }
}

int stepPinnedEndpoint(int selectedEndpoint, int count, int direction) {
    const int positions = count + 1;
    const int position = selectedEndpoint >= 0 && selectedEndpoint < count ? selectedEndpoint + 1 : 0;
    const int step = direction < 1 ? -1 : 1;
    return (position + step + positions) % positions - 1;
}

} // namespace launcher
