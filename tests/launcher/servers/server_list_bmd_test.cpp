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

ServerEntry serverWith(const std::vector<std::pair<int, const char*>>& channels) {
    ServerEntry server;
    server.description = "Servidor de pruebas";
    for (const auto& [code, group] : channels) {
        server.channels.push_back({code, "", group});
    }
    return server;
}

TemplateRecord templateRecord(std::uint16_t id, const std::string& name, std::uint8_t sequence) {
    return {id,   name, static_cast<std::uint8_t>(0x40 + id), sequence, {9, 8, 7, 6, 5, 4, 3, 2}, 0xA1B2C3D4u,
            0xBEEF, 0x70, std::string("Grupo del juego\0", 16)};
}

// "id name sequence" of each record, the description's size where asked.
std::string records(const std::string& bytes) {
    std::string out;
    for (const BmdRecord& record : decodeBmdRecords(bytes)) {
        out += (out.empty() ? "" : ", ") + std::to_string(record.id) + " " + record.name + " " +
               std::to_string(record.sequence);
    }
    return out;
}

TEST(BmdRecordCodec, WritesTheGameLayoutWithinItsLimits) {
    EXPECT_EQ(stampOf(""), "0-811c9dc5");
    EXPECT_EQ(stampOf("abc"), "3-1a47e90b");

    TemplateRecord expected = templateRecord(7, "Battle Zone", 42);
    BmdRecord record{7, "Battle Zone", expected.flags, 42, expected.settings, expected.extra, expected.extra2,
                     expected.extra3, "Grupo del juego"};
    std::string out;
    appendBmdRecord(out, record);
    EXPECT_EQ(out, bmdTemplateBytes({expected}));

    const struct {
        std::string name, description, wantName, wantDescription;
    } cases[] = {
        {std::string(40, 'n'), "d", std::string(31, 'n'), std::string("d\0", 2)},
        {"x", std::string("abc\0\0", 5), "x", std::string("abc\0", 4)},
        {"x", std::string(300, 'd'), "x", std::string(250, 'd') + '\0'},
        {"x", std::string(249, 'a') + "\xC3\xA9", "x", std::string(249, 'a') + '\0'},
        {"x", std::string(247, 'b') + "\xE2\x82\xAC", "x", std::string(247, 'b') + "\xE2\x82\xAC" + '\0'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description.size());
        std::string bytes;
        appendBmdRecord(bytes, {1, c.name, 0, 0, kBmdDefaultSettings, 0, 0, 0, c.description});
        const std::vector<BmdRecord> back = decodeBmdRecords(bytes);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].name, c.wantName);
        EXPECT_EQ(back[0].description, c.wantDescription);
    }
}

TEST(BmdRecordCodec, ReadingStopsAtAMalformedRecord) {
    std::vector<TemplateRecord> list;
    for (int i = 0; i < 65; ++i) {
        list.push_back(templateRecord(static_cast<std::uint16_t>(i), "g", 0));
    }
    std::vector<TemplateRecord> three(list.begin(), list.begin() + 3);
    const auto declaring = [&](std::uint16_t length) {
        std::vector<TemplateRecord> changed = three;
        changed[2].declaredLength = length;
        return bmdTemplateBytes(changed);
    };
    const struct {
        const char* name;
        std::string bytes;
        std::size_t want;
    } cases[] = {
        {"shorter than a header", bmdTemplateBytes(three).substr(0, 52), 0},
        {"description to the last byte", declaring(16), 3},
        {"description one past the end", declaring(17), 2},
        {"length with its top bit set", declaring(0x8000), 2},
        {"name field without a zero", bmdTemplateBytes({templateRecord(0, std::string(32, 'z'), 0)}), 1},
        {"65 records give 64", bmdTemplateBytes(list), 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeBmdRecords(c.bytes).size(), c.want);
    }
}

TEST(BmdBuild, GroupsNamesAndSequences) {
    const ServerEntry four = serverWith({{45, ""}, {0, "Main"}, {1, "X"}, {21, ""}, {-1, "neg"}, {256, "big"}});
    const struct {
        const char* name;
        ServerEntry server;
        std::vector<TemplateRecord> templates;
        std::string want;
        const char* warning;
    } cases[] = {
        {"no template", four, {}, "0 Main 1, 1 Servidor 1 2, 2 Servidor 2 3", ""},
        {"template name and sequence", four, {templateRecord(1, "Uno", 7)}, "0 Main 1, 1 Uno 7, 2 Servidor 2 8", ""},
        {"lower sequence raised", four, {templateRecord(0, "Cero", 5), templateRecord(1, "Uno", 3)},
         "0 Main 5, 1 Uno 6, 2 Servidor 2 7", ""},
        {"group boundary", serverWith({{19, "a"}, {20, "b"}}), {}, "0 a 1, 1 b 2", ""},
        {"sequence 255 on the last group", serverWith({{0, ""}, {20, ""}}), {templateRecord(1, "Fin", 255)},
         "0 Servidor 0 1, 1 Fin 255", ""},
        {"sequences run out", four, {templateRecord(0, "", 254)}, "0 Main 254, 1 Servidor 1 255",
         "Demasiados grupos de servidor para ServerList.bmd: se escribieron los primeros."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string warning;
        const std::string bytes = buildServerListBmd(c.server, decodeBmdRecords(bmdTemplateBytes(c.templates)), warning);
        EXPECT_EQ(records(bytes), c.want);
        EXPECT_EQ(warning, c.warning);
    }
    std::string warning;
    const auto built = decodeBmdRecords(buildServerListBmd(four, decodeBmdRecords(bmdTemplateBytes({templateRecord(1, "", 0)})), warning));
    EXPECT_EQ(built[0].settings, kBmdDefaultSettings);
    EXPECT_EQ(built[0].description, std::string("Servidor de pruebas\0", 20));
    EXPECT_EQ(built[1].flags, 0x41);
    EXPECT_EQ(built[1].extra, 0xA1B2C3D4u);
    EXPECT_EQ(built[1].description, std::string("Grupo del juego\0", 16));
}

class ServerListBmdFile : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(local_); }
    bool write(const ServerEntry& server, std::string lastStamp) {
        stamp_ = message_ = "untouched";
        return writeServerListBmd(scratch_.path().string(), server, lastStamp, stamp_, message_);
    }
    std::string file(const char* name = "") const { return kyrtest::read_bytes(local_ / (std::string("ServerList.bmd") + name)); }
    void put(const std::string& bytes, const char* name = "") const {
        kyrtest::write_bytes(local_ / (std::string("ServerList.bmd") + name), bytes);
    }

    const std::string game_ = bmdTemplateBytes({templateRecord(0, "Juego 0", 3), templateRecord(1, "Juego 1", 4)});
    const ServerEntry server_ = serverWith({{0, "Main"}, {21, ""}, {45, ""}});
    kyrtest::ScratchFolder scratch_;
    std::filesystem::path local_ = scratch_ / "Data" / "Local";
    std::string stamp_, message_;
};

TEST_F(ServerListBmdFile, TheGamesFileBecomesTheTemplateUnlessTheStampSaysItIsOurs) {
    put(game_);
    ASSERT_TRUE(write(server_, ""));
    EXPECT_EQ(file(".orig"), game_);
    EXPECT_EQ(records(file()), "0 Main 3, 1 Juego 1 4, 2 Servidor 2 5");
    EXPECT_EQ(stamp_, stampOf(file()));
    EXPECT_EQ(message_, "untouched");

    ASSERT_TRUE(write(server_, stamp_));
    EXPECT_EQ(file(".orig"), game_) << "our own file is not a template";

    const std::string patched = bmdTemplateBytes({templateRecord(1, "Parche", 60)});
    put(patched);
    ASSERT_TRUE(write(server_, stamp_));
    EXPECT_EQ(file(".orig"), patched);
    EXPECT_EQ(records(file()), "0 Main 1, 1 Parche 60, 2 Servidor 2 61");

    put(game_ + std::string(kBmdFileLimit, 'x'));
    ASSERT_TRUE(write(server_, ""));
    EXPECT_EQ(file(".orig").size(), game_.size() + kBmdFileLimit) << "an oversized file is kept, not read";
    EXPECT_EQ(records(file()), "0 Main 1, 1 Servidor 1 2, 2 Servidor 2 3");

    ASSERT_TRUE(write(serverWith({}), ""));
    EXPECT_EQ(stamp_, "untouched") << "a server without channels writes nothing";
}

TEST_F(ServerListBmdFile, FailuresKeepThePreviousFiles) {
    put(game_);
    put(game_, ".orig");
    {
        const kyrtest::RefusingReplacer refusing;
        EXPECT_FALSE(write(server_, ""));
    }
    EXPECT_EQ(message_, "No se pudo reemplazar Data\\Local\\ServerList.bmd.");
    std::filesystem::create_directory(local_ / "ServerList.bmd.tmp");
    EXPECT_FALSE(write(server_, ""));
    EXPECT_EQ(message_, "No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo lectura).");
    EXPECT_EQ(stamp_, "untouched");
    EXPECT_EQ(file(), game_);
    EXPECT_EQ(file(".orig"), game_);
}

} // namespace
} // namespace launcher
