#include "launcher/servers/server_directory.hpp"

#include "launcher/servers/json_scanner.hpp"
#include "launcher/servers/text_rules.hpp"
#include "launcher/shell/debug_output.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace launcher {

namespace {

constexpr int kMaxServers = 64;
constexpr int kMaxEndpoints = 32;
constexpr int kMaxChannels = 260;
constexpr int kMaxTags = 8;

bool fail(std::string* error, const char* message) {
    if (error != nullptr) {
        *error = message;
    }
    return false;
}

bool startsWith(const JsonScanner& json, JsonSpan value, char open) {
    return json.text()[value.start] == open;
}

// A member that is not a string reads as empty text.
std::string readString(const JsonScanner& json, JsonSpan object, std::string_view name) {
    std::string text;
    JsonSpan value;
    if (json.findMember(object, name, value)) {
        json.decodeString(value, text);
    }
    return text;
}

// Calls visit for each object among the first `count` elements of an array; other elements are skipped.
template <typename Visit> void forEachObject(const JsonScanner& json, JsonSpan array, int count, Visit visit) {
    JsonSpan element;
    for (int i = 0; i < count && json.arrayElement(array, i, element); ++i) {
        if (startsWith(json, element, '{')) {
            visit(element);
        }
    }
}

bool isSlugByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isValidSlug(const std::string& slug) {
    return slug.size() >= 2 && slug.size() <= 32 && std::all_of(slug.begin(), slug.end(), isSlugByte);
}

std::string normaliseRegion(const std::string& cleaned) {
    std::string region;
    for (char c : cleaned) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.') {
            region.push_back(c);
        }
    }
    return region;
}

bool readEndpoint(const JsonScanner& json, JsonSpan object, ServerEndpoint& endpoint) {
    endpoint.region = normaliseRegion(cleanText(readString(json, object, "region"), 16));
    endpoint.label = cleanText(readString(json, object, "label"), 24);
    // Checked before any cut: cutting "192.168.100.2001" to 15 bytes would invent another valid address.
    // A literal has at most 15 bytes, so what is kept meets the 15-byte limit anyway.
    endpoint.ip = cleanText(readString(json, object, "ip"), std::string::npos);
    json.readInt(object, "port", endpoint.port);
    json.readInt(object, "priority", endpoint.priority);
    if (!isIPv4Literal(endpoint.ip) || endpoint.port < 1 || endpoint.port > 65535) {
        return false;
    }
    if (endpoint.label.empty()) {
        endpoint.label = endpoint.region.empty() ? "AUTO" : endpoint.region;
    }
    return true;
}

bool readChannel(const JsonScanner& json, JsonSpan object, ServerChannel& channel) {
    json.readInt(object, "code", channel.code);
    if (channel.code < 0 || channel.code > 255) {
        return false;
    }
    channel.name = cleanText(readString(json, object, "name"), 31);
    channel.group = cleanText(readString(json, object, "group"), 31);
    return true;
}

std::string readTags(const JsonScanner& json, JsonSpan object) {
    std::string tags;
    JsonSpan list;
    if (!json.findMember(object, "tags", list)) {
        return tags;
    }
    JsonSpan element;
    std::string tag;
    for (int i = 0; i < kMaxTags && json.arrayElement(list, i, element); ++i) {
        if (!json.decodeString(element, tag)) {
            continue;
        }
        tag = cleanText(tag, 16);
        if (!tag.empty()) {
            tags += tags.empty() ? tag : ", " + tag;
        }
    }
    return tags;
}

std::string readRate(const JsonScanner& json, JsonSpan rates, std::string_view name) {
    std::string text;
    json.readText(rates, name, text);
    return cleanText(text, 16);
}

bool readServer(const JsonScanner& json, JsonSpan object, ServerEntry& server) {
    server.slug = readString(json, object, "slug");
    if (!isValidSlug(server.slug)) {
        return false;
    }
    JsonSpan list;
    if (json.findMember(object, "endpoints", list)) {
        forEachObject(json, list, kMaxEndpoints, [&](JsonSpan element) {
            ServerEndpoint endpoint;
            if (readEndpoint(json, element, endpoint)) {
                server.endpoints.push_back(std::move(endpoint));
            }
        });
    }
    if (server.endpoints.empty()) {
        return false;
    }
    if (json.findMember(object, "channels", list)) {
        forEachObject(json, list, kMaxChannels, [&](JsonSpan element) {
            ServerChannel channel;
            if (readChannel(json, element, channel)) {
                server.channels.push_back(std::move(channel));
            }
        });
    }
    server.name = cleanText(readString(json, object, "name"), 40);
    server.shortName = cleanText(readString(json, object, "shortName"), 16);
    server.kind = cleanText(readString(json, object, "kind"), 16);
    server.description = cleanText(readString(json, object, "description"), 160);
    JsonSpan rates;
    if (json.findMember(object, "rates", rates)) {
        server.ratesExp = readRate(json, rates, "exp");
        server.ratesDrop = readRate(json, rates, "drop");
    }
    server.tags = readTags(json, object);
    json.readInt(object, "order", server.order);
    server.access = cleanText(readString(json, object, "access"), 16);
    server.state = cleanText(readString(json, object, "state"), 16);
    json.readInt(object, "online", server.online);
    json.readInt(object, "maxOnline", server.maxOnline);
    server.clientVersion = cleanText(readString(json, object, "clientVersion"), 16);
    server.siteUrl = readString(json, object, "siteUrl");

    if (server.name.empty()) {
        server.name = server.slug;
    }
    if (server.access.empty()) {
        server.access = "public";
    }
    if (server.state.empty()) {
        server.state = "unknown";
    }
    server.online = std::max(server.online, 0);
    server.maxOnline = std::max(server.maxOnline, 0);
    return true;
}

void reportNewerSchema(int schema) {
    char line[128];
    std::snprintf(line, sizeof line, "[launcher] servers.json schema=%d > %d soportado: se ignora lo desconocido\n",
                  schema, kSupportedServerSchema);
    writeDebugLine(line);
}

} // namespace

bool parseServerDirectory(std::string_view text, ServerDirectory& directory, std::string* error) {
    directory.schema = 0;
    directory.servers.clear();

    const JsonScanner json(text);
    JsonSpan root{json.skipSpace(0), 0};
    if (root.start >= text.size() || text[root.start] != '{' || !json.valueEnd(root.start, root.end)) {
        return fail(error, "La lista de servidores no es un JSON valido.");
    }
    JsonSpan holder = root;
    JsonSpan list;
    if (!json.findMember(root, "servers", list) &&
        !(json.findMember(root, "data", holder) && json.findMember(holder, "servers", list))) {
        return fail(error, "La lista de servidores no trae el campo servers.");
    }
    int schema = 0;
    if (!json.readInt(holder, "schema", schema) || schema < 1) {
        return fail(error, "La lista de servidores no declara un schema valido.");
    }
    directory.schema = schema;
    const bool newerSchema = schema > kSupportedServerSchema;
    if (newerSchema) {
        reportNewerSchema(schema);
    }
    if (!startsWith(json, list, '[')) {
        return fail(error, "El campo servers no es una lista.");
    }

    forEachObject(json, list, kMaxServers, [&](JsonSpan element) {
        ServerEntry server;
        // Rows, selection, pinned regions and the launch all find a server by its slug: a second server of
        // the same slug would be shown in its own row and launched as the first.
        if (readServer(json, element, server) && findServer(directory, server.slug) < 0) {
            directory.servers.push_back(std::move(server));
        }
    });
    if (directory.servers.empty()) {
        return fail(error, "La lista de servidores llego vacia.");
    }
    sortServers(directory.servers);
    // Set only on success: a failed parse must not mark the directory that a fallback source fills next.
    if (newerSchema) {
        directory.newerSchema = true;
    }
    return true;
}

int findServer(const ServerDirectory& directory, std::string_view slug) {
    if (slug.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < directory.servers.size(); ++i) {
        if (directory.servers[i].slug == slug) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void sortServers(std::vector<ServerEntry>& servers) {
    // std::string compares its bytes as unsigned char, a shorter prefix first.
    std::stable_sort(servers.begin(), servers.end(), [](const ServerEntry& a, const ServerEntry& b) {
        if (a.order != b.order) {
            return a.order < b.order;
        }
        return a.name < b.name;
    });
}

} // namespace launcher
