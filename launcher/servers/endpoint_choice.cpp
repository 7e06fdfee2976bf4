#include "launcher/servers/endpoint_choice.hpp"

#include "launcher/shell/ini_value.hpp"
#include "launcher/shell/launcher_settings.hpp"

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

std::string storedRegion(const ServerEndpoint& endpoint) {
    return sanitizeIniValue(endpoint.region, kRegionLimit, false);
}

int findPinnedEndpoint(const ServerEntry& server, const std::string& pin) {
    const bool regionOnly = pin.find('@') == std::string::npos;
    for (std::size_t i = 0; i < server.endpoints.size(); ++i) {
        const ServerEndpoint& endpoint = server.endpoints[i];
        if (regionOnly ? storedRegion(endpoint) == pin : pinnedEndpointText(endpoint) == pin) {
            return static_cast<int>(i);
        }
    }
    return -1;
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

std::string pinnedEndpointText(const ServerEndpoint& endpoint) {
    return storedRegion(endpoint) + "@" + sanitizeIniValue(endpoint.ip, kPinnedEndpointLimit, false) + ":" +
           std::to_string(endpoint.port);
}

void restorePinnedEndpoints(ServerDirectory& directory,
                            const std::function<std::string(const std::string& slug)>& pinOf) {
    for (ServerEntry& server : directory.servers) {
        const std::string pin = pinOf(server.slug);
        server.selectedEndpoint = pin.empty() ? -1 : findPinnedEndpoint(server, pin);
    }
}

int stepPinnedEndpoint(int selectedEndpoint, int count, int direction) {
    const int positions = count + 1;
    const int position = selectedEndpoint >= 0 && selectedEndpoint < count ? selectedEndpoint + 1 : 0;
    const int step = direction < 1 ? -1 : 1;
    return (position + step + positions) % positions - 1;
}

} // namespace launcher
