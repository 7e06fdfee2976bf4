#include "launcher/servers/client_server_file.hpp"

#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

TEST(ClientServerTransform, KnownStoredBytes) {
    const struct {
        std::uint8_t stored;
        std::uint64_t offset;
        std::uint8_t plain;
    } cases[] = {{0x52, 0, 0xF9},     {0x79, 1, 0x0D},    {0x00, 7, 0xF1},
                 {0xFF, 255, 0xB2},   {0x10, 256, 0x1D},  {0x42, 0x100000003ull, 0x29}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(plainClientByte(c.stored, c.offset), c.plain);
    }
}

// "slug ip:port" of each server built from the file, "refused" when the load fails.
std::string load(const std::string& folder, ServerDirectory& directory) {
    const bool ok = loadClientServerList(folder, directory);
    std::string out;
    for (const ServerEntry& server : directory.servers) {
        out += (out.empty() ? "" : " | ") + server.slug + " " + server.endpoints.at(0).ip + ":" +
               std::to_string(server.endpoints.at(0).port);
    }
    EXPECT_EQ(ok, !directory.servers.empty());
    return ok ? out : "refused";
}

TEST(ClientServerFile, ReadsBothAddressesWithTheirRules) {
    const std::string both = "valdra-2 10.0.0.2:2000 | valdra 10.0.0.1:1000";
    const struct {
        const char* name;
        kyrtest::ValdraMainLayout layout;
        std::string want;
    } cases[] = {
        {"smallest file", {"10.0.0.1", 1000, 1, 2000, "10.0.0.2"}, both},
        {"127 bytes", {"10.0.0.1", 1000, 1, 2000, "10.0.0.2", 127}, "refused"},
        {"other magic", {"10.0.0.1", 1000, 1, 2000, "10.0.0.2", 128, "RK27Corf"}, "refused"},
        {"blocks read from the end", {"10.0.0.1", 1000, 1, 2000, "10.0.0.2", 70000}, both},
        {"port 0 means 44000", {"10.0.0.1", 0, 1, 0, "10.0.0.2"}, "valdra-2 10.0.0.2:44000 | valdra 10.0.0.1:44000"},
        {"port B 65535 kept", {"10.0.0.1", 1000, 1, 65535, "10.0.0.2"}, "valdra-2 10.0.0.2:65535 | valdra 10.0.0.1:1000"},
        {"port B 65536", {"10.0.0.1", 1000, 1, 65536, "10.0.0.2"}, "valdra-2 10.0.0.2:44000 | valdra 10.0.0.1:1000"},
        {"flag B zero", {"10.0.0.1", 1000, 0, 2000, "10.0.0.2"}, "valdra 10.0.0.1:1000"},
        {"flag B in its top byte", {"10.0.0.1", 1000, 0x01000000, 2000, "10.0.0.2"}, both},
        {"host name", {"play.example.net", 1000, 1, 2000, "10.0.0.2"}, "valdra-2 10.0.0.2:2000"},
        {"group above 255", {"10.0.0.1", 1000, 1, 2000, "256.1.1.1"}, "valdra 10.0.0.1:1000"},
        {"no address at all", {"1.2.3", 1000, 1, 2000, ""}, "refused"},
        {"field without a zero", {std::string(32, '1'), 1000, 0, 2000, ""}, "refused"},
        {"text after the zero", {std::string("10.0.0.9\0x", 10), 1000, 0}, "valdra 10.0.0.9:1000"},
    };
    const kyrtest::ScratchFolder scratch;
    std::filesystem::create_directories(scratch / "Data" / "Local");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::write_bytes(scratch / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(c.layout));
        ServerDirectory directory;
        directory.servers.resize(3);
        EXPECT_EQ(load(scratch.path().string(), directory), c.want);
        EXPECT_TRUE(directory.fromClient);
        EXPECT_EQ(directory.schema, 1);
    }
    std::string plain(256, '\0');
    plain.replace(8, 8, "RK27Core").replace(48, 8, "10.0.0.1");
    kyrtest::write_bytes(scratch / "Data" / "Local" / "valdra.main", plain);
    ServerDirectory directory;
    EXPECT_EQ(load(scratch.path().string(), directory), "refused") << "a file stored without the transform";
    EXPECT_EQ(load((scratch / "elsewhere").string(), directory), "refused");
}

} // namespace
} // namespace launcher
