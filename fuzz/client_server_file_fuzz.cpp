// Reads arbitrary Data\Local\valdra.main files. The input is the file's plain form: it is stored with the
// tests' encoder, so the fuzzer works on what the reader sees after its transform (magic, addresses,
// ports) instead of guessing the stored bytes. Checks: the reader's transform undoes the encoder's at
// every offset; a file is accepted exactly when it yields a server; at most the two client servers, in
// their order, each with one endpoint at a dotted-quad address and a usable port; and an address field
// that already holds a dotted quad is taken as it is, with its port.

#include "fuzz/fuzz_support.hpp"
#include "launcher/servers/client_server_file.hpp"
#include "launcher/servers/text_rules.hpp"
#include "support/valdra_main_encoder.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlockAOffset = 48;
constexpr std::size_t kBlockBSize = 40;
constexpr std::size_t kAddressSize = 32;

std::uint32_t little_endian(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

// The field's text before its first zero byte when that is a dotted quad as it stands, else empty.
std::string literal_address(std::string_view plain, std::size_t at) {
    const std::string_view field = plain.substr(at, kAddressSize);
    const std::string_view text = field.substr(0, field.find('\0'));
    return launcher::isIPv4Literal(text) ? std::string(text) : std::string();
}

const launcher::ServerEntry* find(const launcher::ServerDirectory& directory, std::string_view slug) {
    for (const launcher::ServerEntry& server : directory.servers) {
        if (server.slug == slug) {
            return &server;
        }
    }
    return nullptr;
}

void check_server(const launcher::ServerEntry& server) {
    kyrfuzz::require(server.endpoints.size() == 1);
    const launcher::ServerEndpoint& endpoint = server.endpoints.front();
    kyrfuzz::require(launcher::isIPv4Literal(endpoint.ip));
    kyrfuzz::require(endpoint.port >= 1 && endpoint.port <= 65535);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fs::create_directories(kyrfuzz::scratch_folder() / "Data" / "Local");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string plain(reinterpret_cast<const char*>(data), size);
    std::string stored(size, '\0');
    for (std::size_t p = 0; p < size; ++p) {
        stored[p] = static_cast<char>(kyrtest::storedValdraByte(data[p], p));
    }
    std::string decoded = stored;
    launcher::decodeClientBytes(decoded, 0);
    kyrfuzz::require(decoded == plain);
    kyrtest::write_bytes(kyrfuzz::scratch_folder() / "Data" / "Local" / "valdra.main", stored);

    launcher::ServerDirectory directory;
    directory.servers.resize(3);
    const bool loaded = launcher::loadClientServerList(kyrfuzz::scratch_folder().string(), directory);
    kyrfuzz::require(directory.schema == 1 && directory.fromClient);
    kyrfuzz::require(loaded == !directory.servers.empty());
    kyrfuzz::require(directory.servers.size() <= 2);
    const launcher::ServerEntry* serverA = find(directory, "valdra");
    const launcher::ServerEntry* serverB = find(directory, "valdra-2");
    kyrfuzz::require(directory.servers.size() == static_cast<std::size_t>((serverA != nullptr) + (serverB != nullptr)));
    if (serverA != nullptr && serverB != nullptr) {
        kyrfuzz::require(&directory.servers.front() == serverB);
    }
    for (const launcher::ServerEntry& server : directory.servers) {
        check_server(server);
    }

    const std::string magic(launcher::kClientServerConstant + 8, 8);
    if (size < launcher::kClientServerMinSize || plain.compare(0, magic.size(), magic) != 0) {
        kyrfuzz::require(!loaded);
        return 0;
    }
    const std::string addressA = literal_address(plain, kBlockAOffset);
    if (!addressA.empty()) {
        const int port = static_cast<int>(little_endian(plain, kBlockAOffset + kAddressSize, 2));
        kyrfuzz::require(serverA != nullptr && serverA->endpoints.front().ip == addressA);
        kyrfuzz::require(serverA->endpoints.front().port == (port == 0 ? launcher::kClientServerDefaultPort : port));
    }
    const std::size_t blockB = size - kBlockBSize;
    const std::string addressB = literal_address(plain, blockB + 8);
    if (!addressB.empty() && little_endian(plain, blockB, 4) != 0) {
        kyrfuzz::require(serverB != nullptr && serverB->endpoints.front().ip == addressB);
    }
    return 0;
}
