// The files the server list comes from or goes to: servers.cache.json, the client's valdra.main and
// Data\Local\ServerList.bmd.

#include "launcher/servers/client_server_file.hpp"
#include "launcher/servers/server_cache.hpp"
#include "launcher/servers/server_list_bmd.hpp"

#include "support/bmd_template.hpp"
#include "support/refusing_replacer.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace launcher {
namespace {

using kyrtest::bmdTemplateBytes;
using kyrtest::TemplateRecord;

TEST(ServerCache, ReadsUpToTheLimitAndKeepsThePreviousCacheOnAnyFailure) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "servers.cache.json").string();
    for (const auto& [size, limit] : {std::pair{8192, 8192}, std::pair{8193, 8192}, std::pair{1, 0}}) {
        kyrtest::write_bytes(path, std::string(static_cast<std::size_t>(size), 'x'));
        std::string text = "previous";
        EXPECT_EQ(readTextFile(path, text, static_cast<std::size_t>(limit)), size <= limit) << size;
        EXPECT_TRUE(size > limit || text == std::string(static_cast<std::size_t>(size), 'x'));
    }
    EXPECT_FALSE(saveServerCache(path, ""));
    kyrtest::write_bytes(path + ".tmp", "temporary left by a cut");
    EXPECT_TRUE(saveServerCache(path, "{}"));
    {
        const kyrtest::RefusingReplacer refusing;
        EXPECT_FALSE(saveServerCache(path, "next"));
    }
    EXPECT_EQ(kyrtest::read_bytes(path), "{}");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    // The client's valdra.main: known stored bytes, beyond 32 bits of offset too.
    EXPECT_EQ(plainClientByte(0x52, 0) * 1000 + plainClientByte(0x42, 0x100000003ull), 0xF9 * 1000 + 0x29);
}

TemplateRecord templateRecord(std::uint16_t id, const std::string& name, std::uint8_t sequence) {
    return {id,     name, static_cast<std::uint8_t>(0x40 + id), sequence, {9, 8, 7, 6, 5, 4, 3, 2}, 0xA1B2C3D4u,
            0xBEEF, 0x70, std::string("Grupo del juego\0", 16)};
}

// "id name sequence" of each record.
std::string records(const std::string& bytes) {
    std::string out;
    for (const BmdRecord& record : decodeBmdRecords(bytes)) {
        out += (out.empty() ? "" : ", ") + std::to_string(record.id) + " " + record.name + " " +
               std::to_string(record.sequence);
    }
    return out;
}

ServerEntry serverWith(const std::vector<std::pair<int, const char*>>& channels) {
    ServerEntry server;
    server.description = "Servidor de pruebas";
    for (const auto& [code, group] : channels) {
        server.channels.push_back({code, "", group});
    }
    return server;
}

TEST(ServerListBmd, WritesTheGameLayoutAndStopsReadingAtAMalformedRecord) {
    const TemplateRecord expected = templateRecord(7, "Battle Zone", 42);
    std::string out;
    appendBmdRecord(out, {7, "Battle Zone", expected.flags, 42, expected.settings, expected.extra, expected.extra2,
                          expected.extra3, "Grupo del juego"});
    EXPECT_EQ(out, bmdTemplateBytes({expected}));

    std::vector<TemplateRecord> list;
    for (int i = 0; i < 65; ++i) {
        list.push_back(templateRecord(static_cast<std::uint16_t>(i), "g", 0));
    }
    EXPECT_EQ(decodeBmdRecords(bmdTemplateBytes(list)).size(), 64u);
    for (const auto& [declared, want] : {std::pair{16, 3u}, std::pair{17, 2u}, std::pair{0x8000, 2u}}) {
        SCOPED_TRACE(declared);
        std::vector<TemplateRecord> three(list.begin(), list.begin() + 3);
        three[2].declaredLength = static_cast<std::uint16_t>(declared);
        EXPECT_EQ(decodeBmdRecords(bmdTemplateBytes(three)).size(), want);
    }
    std::string warning;
    const auto templates = decodeBmdRecords(bmdTemplateBytes({templateRecord(0, "", 254)}));
    EXPECT_EQ(records(buildServerListBmd(serverWith({{45, ""}, {0, "M"}, {21, ""}}), templates, warning)),
              "0 M 254, 1 Servidor 1 255");
    EXPECT_EQ(warning, "Demasiados grupos de servidor para ServerList.bmd: se escribieron los primeros.");
}

TEST(ServerListBmd, TheGamesFileBecomesTheTemplateAndFailuresKeepThePreviousFiles) {
    const kyrtest::ScratchFolder scratch;
    const std::filesystem::path local = scratch / "Data" / "Local", bmd = local / "ServerList.bmd";
    std::filesystem::create_directories(local);
    const std::string game = bmdTemplateBytes({templateRecord(0, "Juego 0", 3), templateRecord(1, "Juego 1", 4)});
    const ServerEntry server = serverWith({{45, ""}, {0, "Main"}, {1, "X"}, {21, ""}, {-1, "neg"}, {256, "big"}});
    std::string stamp, message = "untouched";
    const auto write = [&](std::string lastStamp) {
        return writeServerListBmd(scratch.path().string(), server, lastStamp, stamp, message);
    };
    kyrtest::write_bytes(bmd, game);
    ASSERT_TRUE(write(""));
    EXPECT_EQ(kyrtest::read_bytes(local / "ServerList.bmd.orig"), game);
    EXPECT_EQ(records(kyrtest::read_bytes(bmd)), "0 Main 3, 1 Juego 1 4, 2 Servidor 2 5");
    EXPECT_EQ(stamp, stampOf(kyrtest::read_bytes(bmd)));
    EXPECT_EQ(stampOf("abc"), "3-1a47e90b");
    ASSERT_TRUE(write(stamp));
    EXPECT_EQ(kyrtest::read_bytes(local / "ServerList.bmd.orig"), game) << "our own file is not a template";

    const std::string written = kyrtest::read_bytes(bmd);
    {
        const kyrtest::RefusingReplacer refusing;
        EXPECT_FALSE(write(stamp));
    }
    EXPECT_EQ(message, "No se pudo reemplazar Data\\Local\\ServerList.bmd.");
    std::filesystem::create_directory(local / "ServerList.bmd.tmp");
    EXPECT_FALSE(write(stamp));
    EXPECT_EQ(message, "No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo lectura).");
    EXPECT_EQ(kyrtest::read_bytes(bmd), written);
    EXPECT_EQ(kyrtest::read_bytes(local / "ServerList.bmd.orig"), game);
}

} // namespace
} // namespace launcher
