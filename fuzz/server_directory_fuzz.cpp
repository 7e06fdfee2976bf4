// Feeds arbitrary bytes to the server directory reader. The input is copied into a heap block of exactly
// its size, so AddressSanitizer reports any read past the end of the text. A directory it accepts is one
// the window and the game launch can use as it is: 1 to 64 servers in list order, each with a valid slug
// that finds it, a name, a state and an access, counts that are not negative, 1 to 32 endpoints at a
// dotted-quad address and a port, and channel codes of 0 to 255; a refusal says why and keeps nothing.

#include "fuzz/fuzz_support.hpp"
#include "launcher/servers/json_scanner.hpp"
#include "launcher/servers/server_directory.hpp"
#include "launcher/servers/text_rules.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

bool validSlug(const std::string& slug) {
    return slug.size() >= 2 && slug.size() <= 32 && std::all_of(slug.begin(), slug.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
           });
}

void checkServer(const launcher::ServerDirectory& directory, const launcher::ServerEntry& server) {
    kyrfuzz::require(validSlug(server.slug));
    const int found = launcher::findServer(directory, server.slug);
    kyrfuzz::require(found >= 0 && directory.servers[static_cast<std::size_t>(found)].slug == server.slug);
    kyrfuzz::require(!server.name.empty() && server.name.size() <= 40 && !server.state.empty() &&
                     !server.access.empty());
    kyrfuzz::require(server.online >= 0 && server.maxOnline >= 0);
    kyrfuzz::require(!server.endpoints.empty() && server.endpoints.size() <= 32);
    for (const launcher::ServerEndpoint& endpoint : server.endpoints) {
        kyrfuzz::require(launcher::isIPv4Literal(endpoint.ip) && endpoint.port >= 1 && endpoint.port <= 65535);
        kyrfuzz::require(!endpoint.label.empty() && endpoint.latencyMs == -1);
    }
    for (const launcher::ServerChannel& channel : server.channels) {
        kyrfuzz::require(channel.code >= 0 && channel.code <= 255);
    }
}

void checkDirectory(const launcher::ServerDirectory& directory, bool accepted, const std::string& error) {
    if (!accepted) {
        kyrfuzz::require(directory.servers.empty() && !error.empty());
        return;
    }
    kyrfuzz::require(directory.schema >= 1 && !directory.servers.empty() && directory.servers.size() <= 64);
    for (std::size_t i = 0; i < directory.servers.size(); ++i) {
        checkServer(directory, directory.servers[i]);
        if (i > 0) {
            const launcher::ServerEntry& before = directory.servers[i - 1];
            const launcher::ServerEntry& after = directory.servers[i];
            kyrfuzz::require(before.order < after.order ||
                             (before.order == after.order && !(after.name < before.name)));
        }
    }
}

void scanValue(const launcher::JsonScanner& json, launcher::JsonSpan span) {
    std::string text;
    int number = 0;
    json.decodeString(span, text);
    json.readInt(span, "a", number);
    json.readText(span, "a", text);
    launcher::JsonSpan inner;
    for (int i = 0; i < 4 && json.arrayElement(span, i, inner); ++i) {
        json.decodeString(inner, text);
    }
    if (json.findMember(span, "servers", inner)) {
        json.arrayElement(inner, 0, inner);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<char[]> block(new char[size]);
    if (size > 0) {
        std::memcpy(block.get(), data, size);
    }
    const std::string_view text(block.get(), size);

    launcher::ServerDirectory directory;
    std::string error;
    checkDirectory(directory, launcher::parseServerDirectory(text, directory, &error), error);

    const launcher::JsonScanner json(text);
    // Every start offset near the front, with ends exactly at, before and beyond the text's end.
    const std::size_t starts = size < 64 ? size + 1 : 64;
    for (std::size_t start = 0; start < starts; ++start) {
        std::size_t end = 0;
        json.skipString(start, end);
        if (json.valueEnd(start, end)) {
            scanValue(json, {json.skipSpace(start), end});
        }
        scanValue(json, {start, size});
        scanValue(json, {start, size + 16});
        scanValue(json, {start, start + size / 2});
    }

    launcher::cleanText(text, 40);
    launcher::cleanText(text, size / 2);
    launcher::isIPv4Literal(text);
    return 0;
}
