#pragma once
// Which endpoint of a server the game connects to, and what of that choice survives a new directory.

#include "launcher/servers/server_directory.hpp"

#include <functional>
#include <string>

namespace launcher {

// The pinned endpoint when it is within the list; otherwise the fastest measured one (ties to the
// smaller priority, then the earlier endpoint); with nothing measured the only endpoint, or the one of
// smallest priority (ties to the earlier). -1 when the server has no endpoints.
int chooseEndpoint(const ServerEntry& server);

// Each endpoint of fresh takes the latency of the first endpoint with the same ip and port of the
// server with the same slug in current.
void carryOverLatencies(const ServerDirectory& current, ServerDirectory& fresh);

// What launcher.ini keeps of a pinned endpoint: "<region>@<ip>:<port>", each part as launcher.ini keeps
// text, so that two endpoints of one region, or one without a region, are told apart.
std::string pinnedEndpointText(const ServerEndpoint& endpoint);

// Pins each server to the endpoint that pinOf(slug) names: the one of that region, address and port; a
// value of earlier versions (a region alone) names the first endpoint of the region. Automatic (-1) when
// the value is empty or names no endpoint.
void restorePinnedEndpoints(ServerDirectory& directory,
                            const std::function<std::string(const std::string& slug)>& pinOf);

// Steps a pinned index through the ring automatic (-1), 0, ..., count - 1: backwards when direction is
// below 1, else forwards. An index outside the list counts as automatic.
int stepPinnedEndpoint(int selectedEndpoint, int count, int direction);

} // namespace launcher
