// servers.cache.json with arbitrary bodies and read limits: saving an empty body fails and keeps the
// previous cache; any other body is read back byte for byte when it fits the limit and refused when it
// does not; and the directory read from the cache, into a record that held another list, is the one
// parsed from the body that was saved.

#include "fuzz/fuzz_support.hpp"
#include "launcher/servers/server_cache.hpp"
#include "launcher/servers/server_directory.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace {

std::string g_cache;

// What the list shows of a directory: its servers in order, with their endpoints.
std::string summary(const launcher::ServerDirectory& directory) {
    std::string text = std::to_string(directory.schema) + (directory.newerSchema ? "+" : "") + "\n";
    for (const launcher::ServerEntry& server : directory.servers) {
        text += server.slug + "|" + server.name + "|" + server.state + "|" + std::to_string(server.order);
        for (const launcher::ServerEndpoint& endpoint : server.endpoints) {
            text += "|" + endpoint.ip + ":" + std::to_string(endpoint.port);
        }
        text += "\n";
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_cache = (kyrfuzz::scratch_folder() / "servers.cache.json").string();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t limit = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
    const std::string body = input.ConsumeRemainingBytesAsString();

    std::string previous;
    const bool hadCache = launcher::readTextFile(g_cache, previous, launcher::kServerCacheLimit);
    const bool saved = launcher::saveServerCache(g_cache, body);
    kyrfuzz::require(saved == !body.empty());
    if (!saved) {
        std::string kept;
        kyrfuzz::require(launcher::readTextFile(g_cache, kept, launcher::kServerCacheLimit) == hadCache &&
                         kept == previous);
        return 0;
    }

    std::string text = "stale";
    const bool fits = launcher::readTextFile(g_cache, text, limit);
    kyrfuzz::require(fits == (body.size() <= limit));
    if (fits) {
        kyrfuzz::require(text == body);
    }
    kyrfuzz::require(launcher::readTextFile(g_cache, text, launcher::kServerCacheLimit) && text == body);

    launcher::ServerDirectory fromBody;
    // A directory that held another list before: parsing starts it afresh.
    launcher::ServerDirectory fromCache;
    fromCache.schema = 7;
    fromCache.servers.resize(2);
    fromCache.servers[0].slug = "left-over";
    const bool bodyParses = launcher::parseServerDirectory(body, fromBody, nullptr);
    kyrfuzz::require(launcher::parseServerDirectory(text, fromCache, nullptr) == bodyParses);
    kyrfuzz::require(summary(fromCache) == summary(fromBody));
    return 0;
}
