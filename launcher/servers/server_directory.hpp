#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// The highest "schema" of servers.json that this launcher understands.
constexpr int kSupportedServerSchema = 1;

struct ServerEndpoint {
    std::string region;
    std::string label;
    std::string ip;
    int port = 0;
    int priority = 0;   // lower is preferred
    int latencyMs = -1; // -1 until measured
};

struct ServerChannel {
    int code = -1;
    std::string name;
    std::string group;
};

struct ServerEntry {
    std::string slug;
    std::string name;
    std::string shortName;
    std::string kind;
    std::string description;
    std::string ratesExp;
    std::string ratesDrop;
    std::string tags;
    int order = 0;
    std::string access;
    std::string state;
    int online = 0;
    int maxOnline = 0;
    std::string clientVersion;
    std::string siteUrl;
    std::vector<ServerEndpoint> endpoints;
    std::vector<ServerChannel> channels;
    int selectedEndpoint = -1; // -1: automatic choice
};

struct ServerDirectory {
    int schema = 0;
    std::vector<ServerEntry> servers;
    bool fromCache = false;
    bool fromClient = false;
    bool newerSchema = false;
};

// Reads a servers.json document. Bad servers, endpoints and channels are skipped one by one, and so is a
// server whose slug a usable server before it already has; only a document without a single usable server
// fails. Resets schema and servers first; leaves the flags alone
// except that a successful parse of a newer schema sets newerSchema. error (may be null) receives the
// reason on failure.
bool parseServerDirectory(std::string_view text, ServerDirectory& directory, std::string* error);

// Index of the first server whose slug equals slug byte for byte; -1 when slug is empty or not found.
int findServer(const ServerDirectory& directory, std::string_view slug);

// Stable: by order ascending, then by name with bytes compared as unsigned values (a prefix first).
void sortServers(std::vector<ServerEntry>& servers);

} // namespace launcher
