#include "launcher/servers/client_server_file.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/servers/text_rules.hpp"
#include "launcher/shell/folder_path.hpp"

#include <cstdio>
#include <string_view>

namespace launcher {

namespace {

constexpr std::size_t kMagicSize = 8;
constexpr long kBlockAOffset = 48;
constexpr std::size_t kBlockASize = 34;
constexpr std::size_t kBlockBSize = 40;
constexpr std::size_t kAddressSize = 32;

struct ClientServer {
    const char* slug;
    const char* name;
    const char* shortName;
    const char* kind;
    int order;
};

constexpr ClientServer kServerA = {"valdra", "7Q Valdra", "7Q", "battle", 2};
constexpr ClientServer kServerB = {"valdra-2", "7Q Valdra 2", "7Q 2", "oficial", 1};

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// The text before the first zero byte of the field, cleaned; empty unless it is a dotted quad.
std::string addressField(const std::string& bytes, std::size_t at) {
    const std::string_view field(bytes.data() + at, kAddressSize);
    const std::string address = cleanText(field.substr(0, field.find('\0')), kAddressSize);
    return isIPv4Literal(address) ? address : std::string();
}

bool readPlainBlock(std::FILE* file, long offset, std::size_t count, std::string& bytes) {
    bytes.assign(count, '\0');
    if (std::fseek(file, offset, SEEK_SET) != 0 || std::fread(bytes.data(), 1, count, file) != count) {
        return false;
    }
    decodeClientBytes(bytes, static_cast<std::uint64_t>(offset));
    return true;
}

void appendServer(ServerDirectory& directory, const ClientServer& fixed, const std::string& ip, int port) {
    ServerEntry server;
    server.slug = fixed.slug;
    server.name = fixed.name;
    server.shortName = fixed.shortName;
    server.kind = fixed.kind;
    server.access = "public";
    server.state = "unknown";
    server.description = "Direccion guardada en el cliente (sin conexion con la lista).";
    server.order = fixed.order;
    ServerEndpoint endpoint;
    endpoint.region = "auto";
    endpoint.label = "AUTO";
    endpoint.ip = ip;
    endpoint.port = port;
    endpoint.priority = 1;
    server.endpoints.push_back(endpoint);
    directory.servers.push_back(server);
}

} // namespace

std::uint8_t plainClientByte(std::uint8_t stored, std::uint64_t offset) {
    const auto key = static_cast<std::uint8_t>(kClientServerConstant[offset % 8]);
    const auto mixed = static_cast<std::uint8_t>(stored ^ key);
    const auto swapped = static_cast<std::uint8_t>((mixed >> 4) | (mixed << 4));
    return static_cast<std::uint8_t>(swapped + 0xF9 - 13 * (offset % 256));
}

void decodeClientBytes(std::string& bytes, std::uint64_t offset) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(plainClientByte(static_cast<std::uint8_t>(bytes[i]), offset + i));
    }
}

bool loadClientServerList(const std::string& folder, ServerDirectory& directory) {
    directory.servers.clear();
    directory.schema = 1;
    directory.fromClient = true;

    const std::string path = joinFolderPath(folder, kClientServerFilePath);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        size = std::ftell(file);
    }
    std::string magic;
    if (size < static_cast<long>(kClientServerMinSize) || !readPlainBlock(file, 0, kMagicSize, magic) ||
        magic != std::string_view(kClientServerConstant + 8, kMagicSize)) {
        std::fclose(file);
        return false;
    }
    std::string blockA;
    std::string blockB;
    const bool haveA = readPlainBlock(file, kBlockAOffset, kBlockASize, blockA);
    const bool haveB = readPlainBlock(file, size - static_cast<long>(kBlockBSize), kBlockBSize, blockB);
    std::fclose(file);

    if (haveA) {
        const std::string address = addressField(blockA, 0);
        const auto port = static_cast<int>(littleEndian(blockA, kAddressSize, 2));
        if (!address.empty()) {
            appendServer(directory, kServerA, address, port == 0 ? kClientServerDefaultPort : port);
        }
    }
    if (haveB) {
        const std::uint32_t flag = littleEndian(blockB, 0, 4);
        const std::uint32_t port = littleEndian(blockB, 4, 4);
        const std::string address = addressField(blockB, 8);
        if (flag != 0 && !address.empty()) {
            const int usable = port == 0 || port > 65535 ? kClientServerDefaultPort : static_cast<int>(port);
            appendServer(directory, kServerB, address, usable);
        }
    }
    if (directory.servers.empty()) {
        return false;
    }
    sortServers(directory.servers);
    return true;
}

} // namespace launcher
