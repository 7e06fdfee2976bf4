#include "launcher/servers/client_server_file.hpp"

#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace launcher {
namespace {

using kyrtest::ValdraMainLayout;

TEST(ClientServerTransform, KnownStoredBytes) {
    const struct {
        const char* name;
        std::uint8_t stored;
        std::uint64_t offset;
        std::uint8_t plain;
    } cases[] = {
        {"first key, no rotation left", 0x52, 0, 0xF9},
        {"second key and step", 0x79, 1, 0x0D},
        {"last key", 0x00, 7, 0xF1},
        {"end of the first step cycle", 0xFF, 255, 0xB2},
        {"step cycle starts again", 0x10, 256, 0x1D},
        {"far offset", 0xAB, 1000, 0xD0},
        {"offset beyond 32 bits", 0x42, 0x100000003ull, 0x29},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plainClientByte(c.stored, c.offset), c.plain);
    }
}

TEST(ClientServerTransform, EncoderIsItsInverseAtEveryOffsetAndValue) {
    for (std::uint64_t offset = 0; offset < 1024; ++offset) {
        for (int plain = 0; plain < 256; ++plain) {
            const auto stored = kyrtest::storedValdraByte(static_cast<std::uint8_t>(plain), offset);
            ASSERT_EQ(plainClientByte(stored, offset), plain) << "offset " << offset;
        }
    }
    std::string bytes = "\x01\x02\x03 any stored run";
    std::string expected = bytes;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = static_cast<char>(plainClientByte(static_cast<std::uint8_t>(bytes[i]), 300 + i));
    }
    decodeClientBytes(bytes, 300);
    EXPECT_EQ(bytes, expected);
}

struct Expected {
    const char* slug;
    const char* ip;
    int port;
};

class ClientServerFile : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(scratch_ / "Data" / "Local"); }
    void writeFile(const std::string& bytes) const {
        kyrtest::write_bytes(scratch_ / "Data" / "Local" / "valdra.main", bytes);
    }
    std::string folder() const { return scratch_.path().string(); }

    kyrtest::ScratchFolder scratch_;
};

TEST_F(ClientServerFile, BuildsTheServersOfBothAddresses) {
    ValdraMainLayout layout;
    layout.addressA = "203.0.113.7";
    layout.portA = 44405;
    layout.flagB = 1;
    layout.portB = 55901;
    layout.addressB = "198.51.100.20";
    layout.size = 400;
    writeFile(kyrtest::encodeValdraMain(layout));

    ServerDirectory directory;
    directory.servers.resize(3);
    ASSERT_TRUE(loadClientServerList(folder(), directory));
    EXPECT_EQ(directory.schema, 1);
    EXPECT_TRUE(directory.fromClient);
    ASSERT_EQ(directory.servers.size(), 2u);

    const ServerEntry& b = directory.servers[0];
    EXPECT_EQ(b.slug, "valdra-2");
    EXPECT_EQ(b.name, "7Q Valdra 2");
    EXPECT_EQ(b.shortName, "7Q 2");
    EXPECT_EQ(b.kind, "oficial");
    EXPECT_EQ(b.order, 1);
    const ServerEntry& a = directory.servers[1];
    EXPECT_EQ(a.slug, "valdra");
    EXPECT_EQ(a.name, "7Q Valdra");
    EXPECT_EQ(a.shortName, "7Q");
    EXPECT_EQ(a.kind, "battle");
    EXPECT_EQ(a.order, 2);
    for (const ServerEntry* server : {&a, &b}) {
        SCOPED_TRACE(server->slug);
        EXPECT_EQ(server->access, "public");
        EXPECT_EQ(server->state, "unknown");
        EXPECT_EQ(server->description, "Direccion guardada en el cliente (sin conexion con la lista).");
        EXPECT_EQ(server->selectedEndpoint, -1);
        EXPECT_TRUE(server->channels.empty());
        ASSERT_EQ(server->endpoints.size(), 1u);
        const ServerEndpoint& endpoint = server->endpoints[0];
        EXPECT_EQ(endpoint.region, "auto");
        EXPECT_EQ(endpoint.label, "AUTO");
        EXPECT_EQ(endpoint.priority, 1);
        EXPECT_EQ(endpoint.latencyMs, -1);
    }
    EXPECT_EQ(a.endpoints[0].ip, "203.0.113.7");
    EXPECT_EQ(a.endpoints[0].port, 44405);
    EXPECT_EQ(b.endpoints[0].ip, "198.51.100.20");
    EXPECT_EQ(b.endpoints[0].port, 55901);
}

TEST_F(ClientServerFile, AddressesPortsAndFlagRules) {
    ValdraMainLayout base;
    base.addressA = "10.0.0.1";
    base.portA = 1000;
    base.flagB = 1;
    base.portB = 2000;
    base.addressB = "10.0.0.2";

    const struct {
        const char* name;
        void (*change)(ValdraMainLayout&);
        std::vector<Expected> want; // in directory order; empty: the load fails
    } cases[] = {
        {"smallest file", [](ValdraMainLayout&) {}, {{"valdra-2", "10.0.0.2", 2000}, {"valdra", "10.0.0.1", 1000}}},
        {"127 bytes", [](ValdraMainLayout& l) { l.size = 127; }, {}},
        {"empty file", [](ValdraMainLayout& l) { l.size = 0; }, {}},
        {"other magic", [](ValdraMainLayout& l) { l.magic = "RK27Corf"; }, {}},
        {"magic in lower case", [](ValdraMainLayout& l) { l.magic = "rk27core"; }, {}},
        {"port A 0 means 44000",
         [](ValdraMainLayout& l) { l.portA = 0; },
         {{"valdra-2", "10.0.0.2", 2000}, {"valdra", "10.0.0.1", 44000}}},
        {"port A 65535 kept",
         [](ValdraMainLayout& l) { l.portA = 65535; },
         {{"valdra-2", "10.0.0.2", 2000}, {"valdra", "10.0.0.1", 65535}}},
        {"port B 0 means 44000",
         [](ValdraMainLayout& l) { l.portB = 0; },
         {{"valdra-2", "10.0.0.2", 44000}, {"valdra", "10.0.0.1", 1000}}},
        {"port B 70000 means 44000",
         [](ValdraMainLayout& l) { l.portB = 70000; },
         {{"valdra-2", "10.0.0.2", 44000}, {"valdra", "10.0.0.1", 1000}}},
        {"port B 65535 kept",
         [](ValdraMainLayout& l) { l.portB = 65535; },
         {{"valdra-2", "10.0.0.2", 65535}, {"valdra", "10.0.0.1", 1000}}},
        {"port B 65536 means 44000",
         [](ValdraMainLayout& l) { l.portB = 65536; },
         {{"valdra-2", "10.0.0.2", 44000}, {"valdra", "10.0.0.1", 1000}}},
        {"flag B zero", [](ValdraMainLayout& l) { l.flagB = 0; }, {{"valdra", "10.0.0.1", 1000}}},
        {"flag B only in its top byte",
         [](ValdraMainLayout& l) { l.flagB = 0x01000000; },
         {{"valdra-2", "10.0.0.2", 2000}, {"valdra", "10.0.0.1", 1000}}},
        {"host name for A",
         [](ValdraMainLayout& l) { l.addressA = "play.example.net"; },
         {{"valdra-2", "10.0.0.2", 2000}}},
        {"host name for B",
         [](ValdraMainLayout& l) { l.addressB = "play.example.net"; },
         {{"valdra", "10.0.0.1", 1000}}},
        {"no dotted quad at all",
         [](ValdraMainLayout& l) {
             l.addressA = "1.2.3";
             l.addressB = "";
         },
         {}},
        {"group above 255", [](ValdraMainLayout& l) { l.addressA = "256.1.1.1"; }, {{"valdra-2", "10.0.0.2", 2000}}},
        {"five groups", [](ValdraMainLayout& l) { l.addressB = "1.2.3.4.5"; }, {{"valdra", "10.0.0.1", 1000}}},
        {"address filling its field without a zero",
         [](ValdraMainLayout& l) { l.addressA = std::string(32, '1'); },
         {{"valdra-2", "10.0.0.2", 2000}}},
        {"text after the zero byte ignored",
         [](ValdraMainLayout& l) { l.addressA = std::string("10.0.0.9\0garbage", 16); },
         {{"valdra-2", "10.0.0.2", 2000}, {"valdra", "10.0.0.9", 1000}}},
        {"trailing control byte cleaned away",
         [](ValdraMainLayout& l) { l.addressB = "10.0.0.3\x01"; },
         {{"valdra-2", "10.0.0.3", 2000}, {"valdra", "10.0.0.1", 1000}}},
        {"blocks read from the end of a long file",
         [](ValdraMainLayout& l) { l.size = 70000; },
         {{"valdra-2", "10.0.0.2", 2000}, {"valdra", "10.0.0.1", 1000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ValdraMainLayout layout = base;
        c.change(layout);
        writeFile(kyrtest::encodeValdraMain(layout));
        ServerDirectory directory;
        EXPECT_EQ(loadClientServerList(folder(), directory), !c.want.empty());
        EXPECT_EQ(directory.schema, 1);
        EXPECT_TRUE(directory.fromClient);
        ASSERT_EQ(directory.servers.size(), c.want.size());
        for (std::size_t i = 0; i < c.want.size(); ++i) {
            EXPECT_EQ(directory.servers[i].slug, c.want[i].slug);
            EXPECT_EQ(directory.servers[i].endpoints.at(0).ip, c.want[i].ip);
            EXPECT_EQ(directory.servers[i].endpoints.at(0).port, c.want[i].port);
        }
    }
}

TEST_F(ClientServerFile, PlainFileIsNotAccepted) {
    std::string plain(256, '\0');
    plain.replace(0, 8, "RK27Core");
    plain.replace(48, 8, "10.0.0.1");
    writeFile(plain);
    ServerDirectory directory;
    EXPECT_FALSE(loadClientServerList(folder(), directory));
}

TEST_F(ClientServerFile, FolderWithTrailingSeparatorAndMissingFile) {
    ValdraMainLayout layout;
    layout.addressA = "10.0.0.1";
    writeFile(kyrtest::encodeValdraMain(layout));
    ServerDirectory directory;
    EXPECT_TRUE(loadClientServerList(folder() + "/", directory));
    EXPECT_EQ(directory.servers.size(), 1u);

    directory.fromCache = true;
    EXPECT_FALSE(loadClientServerList((scratch_ / "elsewhere").string(), directory));
    EXPECT_TRUE(directory.servers.empty());
    EXPECT_TRUE(directory.fromClient);
    EXPECT_TRUE(directory.fromCache);
}

} // namespace
} // namespace launcher
