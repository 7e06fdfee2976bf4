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

using kyrtest::TemplateRecord;

ServerEntry serverWith(const std::vector<std::pair<int, const char*>>& channels,
                       const std::string& description = "Servidor de pruebas") {
    ServerEntry server;
    server.slug = "orvan";
    server.description = description;
    for (const auto& [code, group] : channels) {
        ServerChannel channel;
        channel.code = code;
        channel.group = group;
        server.channels.push_back(channel);
    }
    return server;
}

TemplateRecord templateRecord(std::uint16_t id, const std::string& name, std::uint8_t sequence) {
    TemplateRecord record;
    record.id = id;
    record.name = name;
    record.flags = static_cast<std::uint8_t>(0x40 + id);
    record.sequence = sequence;
    record.settings = {9, 8, 7, 6, 5, 4, 3, static_cast<std::uint8_t>(id)};
    record.extra = 0xA1B2C3D4u + id;
    record.extra2 = static_cast<std::uint16_t>(0xBEEF + id);
    record.extra3 = static_cast<std::uint8_t>(0x70 + id);
    record.description = "Grupo del juego " + std::to_string(id) + std::string(1, '\0');
    return record;
}

std::vector<BmdRecord> templateRecords(const std::vector<TemplateRecord>& records) {
    return decodeBmdRecords(kyrtest::bmdTemplateBytes(records));
}

TEST(BmdStamp, LengthAndFnv1aHash) {
    const struct {
        const char* name;
        std::string bytes;
        const char* want;
    } cases[] = {
        {"empty", "", "0-811c9dc5"},
        {"one byte", "a", "1-e40c292c"},
        {"abc", "abc", "3-1a47e90b"},
        {"every byte value",
         [] {
             std::string all;
             for (int i = 0; i < 256; ++i) {
                 all.push_back(static_cast<char>(i));
             }
             return all;
         }(),
         "256-90a458c5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stampOf(c.bytes), c.want);
    }
}

TEST(BmdRecordCodec, StoredBytesAreMaskedWithTheTable) {
    BmdRecord record;
    record.id = 0x0102;
    record.name = "A";
    record.description = "hi";
    std::string out;
    appendBmdRecord(out, record);
    ASSERT_EQ(out.size(), 53u + 3u);
    EXPECT_EQ(static_cast<std::uint8_t>(out[0]), 0x02 ^ 0x5A);
    EXPECT_EQ(static_cast<std::uint8_t>(out[1]), 0x01 ^ 0x3C);
    EXPECT_EQ(static_cast<std::uint8_t>(out[2]), 'A' ^ 0x96);
    EXPECT_EQ(static_cast<std::uint8_t>(out[3]), 0x00 ^ 0x5A);
    EXPECT_EQ(static_cast<std::uint8_t>(out[51]), 3 ^ 0x5A);
    EXPECT_EQ(static_cast<std::uint8_t>(out[52]), 0 ^ 0x3C);
    EXPECT_EQ(out.substr(53), std::string("\x32\x55\x96", 3)); // "hi" and its zero, masked from index 0 again
}

TEST(BmdRecordCodec, WritesTheGameLayout) {
    TemplateRecord expected = templateRecord(7, "Battle Zone", 42);
    expected.description = std::string("Carried \xC3\xA9 text", 15) + std::string(1, '\0');
    BmdRecord record;
    record.id = 7;
    record.name = "Battle Zone";
    record.flags = expected.flags;
    record.sequence = 42;
    record.settings = expected.settings;
    record.extra = expected.extra;
    record.extra2 = expected.extra2;
    record.extra3 = expected.extra3;
    record.description = std::string("Carried \xC3\xA9 text", 15);
    std::string out;
    appendBmdRecord(out, record);
    EXPECT_EQ(out, kyrtest::bmdTemplateBytes({expected}));

    const std::vector<BmdRecord> back = decodeBmdRecords(out);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].id, 7);
    EXPECT_EQ(back[0].name, "Battle Zone");
    EXPECT_EQ(back[0].flags, record.flags);
    EXPECT_EQ(back[0].sequence, 42);
    EXPECT_EQ(back[0].settings, record.settings);
    EXPECT_EQ(back[0].extra, record.extra);
    EXPECT_EQ(back[0].extra2, record.extra2);
    EXPECT_EQ(back[0].extra3, record.extra3);
    EXPECT_EQ(back[0].description, expected.description);
}

TEST(BmdRecordCodec, NameAndDescriptionLimits) {
    const std::string cutTwoByte = std::string(249, 'a') + "\xC3\xA9" + "tail";
    const std::string completeThreeByte = std::string(247, 'b') + "\xE2\x82\xAC" + "zz";
    const struct {
        const char* name;
        int id;
        std::string recordName;
        std::string description;
        int wantId;
        std::string wantName;
        std::string wantDescription; // as stored, zero byte included
    } cases[] = {
        {"name of 40 bytes keeps 31", 1, std::string(40, 'n'), "d", 1, std::string(31, 'n'), std::string("d\0", 2)},
        {"name of 31 bytes kept", 1, std::string(31, 'm'), "d", 1, std::string(31, 'm'), std::string("d\0", 2)},
        {"id keeps its low 16 bits", 70000, "x", "d", 70000 & 0xFFFF, "x", std::string("d\0", 2)},
        {"empty description is one zero byte", 2, "x", "", 2, "x", std::string(1, '\0')},
        {"trailing zero bytes folded into one", 2, "x", std::string("abc\0\0\0", 6), 2, "x", std::string("abc\0", 4)},
        {"inner zero byte kept", 2, "x", std::string("a\0b", 3), 2, "x", std::string("a\0b\0", 4)},
        {"300 bytes cut to 250", 3, "x", std::string(300, 'd'), 3, "x", std::string(250, 'd') + '\0'},
        {"250 bytes kept whole", 3, "x", std::string(250, 'e'), 3, "x", std::string(250, 'e') + '\0'},
        {"cut inside a two-byte sequence drops it", 3, "x", cutTwoByte, 3, "x", std::string(249, 'a') + '\0'},
        {"complete sequence at the cut stays", 3, "x", completeThreeByte, 3, "x",
         std::string(247, 'b') + "\xE2\x82\xAC" + '\0'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmdRecord record;
        record.id = c.id;
        record.name = c.recordName;
        record.description = c.description;
        std::string out;
        appendBmdRecord(out, record);
        ASSERT_EQ(out.size(), 53u + c.wantDescription.size());
        const std::vector<BmdRecord> back = decodeBmdRecords(out);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].id, c.wantId);
        EXPECT_EQ(back[0].name, c.wantName);
        EXPECT_EQ(back[0].description, c.wantDescription);
    }
}

TEST(BmdRecordCodec, ReadingStopsAtTheRulesLimits) {
    const auto records = [](int count) {
        std::vector<TemplateRecord> list;
        for (int i = 0; i < count; ++i) {
            list.push_back(templateRecord(static_cast<std::uint16_t>(i), "g" + std::to_string(i), 0));
        }
        return list;
    };
    std::vector<TemplateRecord> pastEnd = records(5);
    pastEnd[4].declaredLength = static_cast<std::uint16_t>(pastEnd[4].description.size() + 1);
    std::vector<TemplateRecord> topBit = records(3);
    topBit[1].declaredLength = 0x8000;
    std::vector<TemplateRecord> zeroLength = records(1);
    zeroLength[0].description.clear();

    const struct {
        const char* name;
        std::string bytes;
        std::size_t want;
    } cases[] = {
        {"empty file", "", 0},
        {"shorter than a header", kyrtest::bmdTemplateBytes(records(1)).substr(0, 52), 0},
        {"header without its description", kyrtest::bmdTemplateBytes(records(1)).substr(0, 53), 0},
        {"description of length zero", kyrtest::bmdTemplateBytes(zeroLength), 1},
        {"fifth record runs past the end", kyrtest::bmdTemplateBytes(pastEnd), 4},
        {"length with its top bit set", kyrtest::bmdTemplateBytes(topBit), 1},
        {"trailing bytes shorter than a header", kyrtest::bmdTemplateBytes(records(2)) + std::string(52, 'x'), 2},
        {"64 records", kyrtest::bmdTemplateBytes(records(64)), 64},
        {"65 records give 64", kyrtest::bmdTemplateBytes(records(65)), 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<BmdRecord> got = decodeBmdRecords(c.bytes);
        ASSERT_EQ(got.size(), c.want);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].id, static_cast<int>(i));
            EXPECT_EQ(got[i].name, "g" + std::to_string(i));
        }
    }
}

TEST(BmdRecordCodec, NamesAreReadUpToTheirZeroAndCleaned) {
    const struct {
        const char* name;
        std::string field;
        std::string want;
    } cases[] = {
        {"bytes after the zero ignored", std::string("Main\0junk", 9), "Main"},
        {"all 32 bytes without a zero", std::string(32, 'z'), std::string(32, 'z')},
        {"control bytes become one space", "Fast\r\nLane\x01", "Fast Lane"},
        {"cut sequence at the field end removed", std::string(31, 'q') + "\xC3", std::string(31, 'q')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemplateRecord record = templateRecord(1, c.field, 0);
        const std::vector<BmdRecord> got = templateRecords({record});
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].name, c.want);
    }
}

struct WantRecord {
    int id;
    std::string name;
    int sequence;
};

void expectRecords(const std::string& bytes, const std::vector<WantRecord>& want) {
    const std::vector<BmdRecord> got = decodeBmdRecords(bytes);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(got[i].id, want[i].id);
        EXPECT_EQ(got[i].name, want[i].name);
        EXPECT_EQ(got[i].sequence, want[i].sequence);
    }
}

TEST(BmdGroups, ChannelsGroupedByTwentyInAscendingOrder) {
    const struct {
        const char* name;
        ServerEntry server;
        std::vector<std::pair<int, std::string>> want;
    } cases[] = {
        {"codes 0, 1, 21 and 45",
         serverWith({{0, "Main"}, {1, ""}, {21, "PvP"}, {45, ""}}),
         {{0, "Main"}, {1, "PvP"}, {2, ""}}},
        {"descending channel order",
         serverWith({{255, "Last"}, {45, ""}, {0, "First"}}),
         {{0, "First"}, {2, ""}, {12, "Last"}}},
        {"first non-empty group text names the group",
         serverWith({{40, ""}, {41, "Second"}, {42, "Third"}}),
         {{2, "Second"}}},
        {"group boundary", serverWith({{19, "a"}, {20, "b"}}), {{0, "a"}, {1, "b"}}},
        {"codes outside 0 to 255 belong to no group", serverWith({{-1, "neg"}, {256, "big"}, {7, ""}}), {{0, ""}}},
        {"no channels", serverWith({}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<BmdGroup> groups = bmdGroupsOf(c.server);
        ASSERT_EQ(groups.size(), c.want.size());
        for (std::size_t i = 0; i < groups.size(); ++i) {
            EXPECT_EQ(groups[i].id, c.want[i].first);
            EXPECT_EQ(groups[i].name, c.want[i].second);
        }
    }
}

TEST(BmdBuild, NamesAndSequences) {
    const ServerEntry channels0_1_21_45 = serverWith({{0, "Main"}, {1, ""}, {21, ""}, {45, ""}});
    const struct {
        const char* name;
        ServerEntry server;
        std::vector<TemplateRecord> templates;
        std::vector<WantRecord> want;
    } cases[] = {
        {"no template", channels0_1_21_45, {}, {{0, "Main", 1}, {1, "Servidor 1", 2}, {2, "Servidor 2", 3}}},
        {"template sequence 7 for group 1",
         channels0_1_21_45,
         {templateRecord(1, "Uno", 7)},
         {{0, "Main", 1}, {1, "Uno", 7}, {2, "Servidor 2", 8}}},
        {"group text wins over the template name",
         channels0_1_21_45,
         {templateRecord(0, "Del juego", 0)},
         {{0, "Main", 1}, {1, "Servidor 1", 2}, {2, "Servidor 2", 3}}},
        {"template without a name",
         channels0_1_21_45,
         {templateRecord(2, "", 0)},
         {{0, "Main", 1}, {1, "Servidor 1", 2}, {2, "Servidor 2", 3}}},
        {"lower template sequence raised to the counter",
         channels0_1_21_45,
         {templateRecord(0, "Cero", 5), templateRecord(1, "Uno", 3)},
         {{0, "Main", 5}, {1, "Uno", 6}, {2, "Servidor 2", 7}}},
        {"first template record of an id counts",
         serverWith({{20, ""}}),
         {templateRecord(1, "Primero", 4), templateRecord(1, "Segundo", 9)},
         {{1, "Primero", 4}}},
        {"template records of other groups unused",
         serverWith({{240, ""}}),
         {templateRecord(3, "Tres", 200)},
         {{12, "Servidor 12", 1}}},
        {"sequence 255 on the last group",
         serverWith({{0, ""}, {20, ""}}),
         {templateRecord(1, "Fin", 255)},
         {{0, "Servidor 0", 1}, {1, "Fin", 255}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string warning;
        const std::string bytes = buildServerListBmd(c.server, templateRecords(c.templates), warning);
        EXPECT_EQ(warning, "");
        expectRecords(bytes, c.want);
    }
}

TEST(BmdBuild, TooManyGroupsKeepsTheFirst) {
    const ServerEntry server = serverWith({{0, "A"}, {20, "B"}, {40, "C"}});
    std::string warning;
    const std::string bytes = buildServerListBmd(server, templateRecords({templateRecord(0, "", 254)}), warning);
    EXPECT_EQ(warning, "Demasiados grupos de servidor para ServerList.bmd: se escribieron los primeros.");
    expectRecords(bytes, {{0, "A", 254}, {1, "B", 255}});
}

TEST(BmdBuild, CarriesTheTemplateFieldsOrUsesTheDefaults) {
    const ServerEntry server = serverWith({{5, "Main"}, {30, "Alt"}}, "Descripcion del servidor");
    std::string warning;
    const std::string bytes = buildServerListBmd(server, templateRecords({templateRecord(1, "", 0)}), warning);
    const std::vector<BmdRecord> got = decodeBmdRecords(bytes);
    ASSERT_EQ(got.size(), 2u);

    const BmdRecord& fresh = got[0];
    EXPECT_EQ(fresh.flags, 0);
    EXPECT_EQ(fresh.settings, (std::array<std::uint8_t, 8>{3, 3, 3, 3, 2, 1, 1, 1}));
    EXPECT_EQ(fresh.extra, 0u);
    EXPECT_EQ(fresh.extra2, 0u);
    EXPECT_EQ(fresh.extra3, 0);
    EXPECT_EQ(fresh.description, std::string("Descripcion del servidor\0", 25));

    const TemplateRecord model = templateRecord(1, "", 0);
    const BmdRecord& carried = got[1];
    EXPECT_EQ(carried.name, "Alt");
    EXPECT_EQ(carried.flags, model.flags);
    EXPECT_EQ(carried.settings, model.settings);
    EXPECT_EQ(carried.extra, model.extra);
    EXPECT_EQ(carried.extra2, model.extra2);
    EXPECT_EQ(carried.extra3, model.extra3);
    EXPECT_EQ(carried.description, model.description);
}

class ServerListBmdFile : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(scratch_ / "Data" / "Local"); }

    std::string folder() const { return scratch_.path().string(); }
    std::filesystem::path bmd() const { return scratch_ / "Data" / "Local" / "ServerList.bmd"; }
    std::filesystem::path orig() const { return scratch_ / "Data" / "Local" / "ServerList.bmd.orig"; }
    std::filesystem::path tmp() const { return scratch_ / "Data" / "Local" / "ServerList.bmd.tmp"; }
    std::string contents(const std::filesystem::path& file) const { return kyrtest::read_bytes(file); }

    // Runs the writer; newStamp and message start as "untouched" so that a write to them shows.
    bool write(const ServerEntry& server, const std::string& lastStamp) {
        newStamp_ = "untouched";
        message_ = "untouched";
        return writeServerListBmd(folder(), server, lastStamp, newStamp_, message_);
    }

    const std::string gameFile_ =
        kyrtest::bmdTemplateBytes({templateRecord(0, "Juego 0", 3), templateRecord(1, "Juego 1", 4)});
    const ServerEntry server_ = serverWith({{0, "Main"}, {21, ""}, {45, ""}});
    kyrtest::ScratchFolder scratch_;
    std::string newStamp_;
    std::string message_;
};

TEST_F(ServerListBmdFile, FirstLaunchSavesTheGameFileAndRewritesIt) {
    kyrtest::write_bytes(bmd(), gameFile_);
    ASSERT_TRUE(write(server_, ""));
    EXPECT_EQ(contents(orig()), gameFile_);
    const std::string written = contents(bmd());
    std::string warning;
    EXPECT_EQ(written, buildServerListBmd(server_, decodeBmdRecords(gameFile_), warning));
    expectRecords(written, {{0, "Main", 3}, {1, "Juego 1", 4}, {2, "Servidor 2", 5}});
    EXPECT_EQ(newStamp_, stampOf(written));
    EXPECT_EQ(message_, "untouched");
    EXPECT_FALSE(std::filesystem::exists(tmp()));
}

TEST_F(ServerListBmdFile, OwnFileKeepsTheTemplateAndIsRewrittenAlike) {
    kyrtest::write_bytes(bmd(), gameFile_);
    ASSERT_TRUE(write(server_, ""));
    const std::string firstStamp = newStamp_;
    const std::string firstFile = contents(bmd());

    ASSERT_TRUE(write(server_, firstStamp));
    EXPECT_EQ(contents(orig()), gameFile_);
    EXPECT_EQ(contents(bmd()), firstFile);
    EXPECT_EQ(newStamp_, firstStamp);
}

TEST_F(ServerListBmdFile, ForeignFileBecomesTheNewTemplate) {
    kyrtest::write_bytes(bmd(), gameFile_);
    ASSERT_TRUE(write(server_, ""));
    const std::string stamp = newStamp_;

    const std::string patched = kyrtest::bmdTemplateBytes({templateRecord(1, "Parche", 60)});
    kyrtest::write_bytes(bmd(), patched);
    ASSERT_TRUE(write(server_, stamp));
    EXPECT_EQ(contents(orig()), patched);
    expectRecords(contents(bmd()), {{0, "Main", 1}, {1, "Parche", 60}, {2, "Servidor 2", 61}});
}

TEST_F(ServerListBmdFile, ServerWithoutChannelsWritesNothing) {
    kyrtest::write_bytes(bmd(), gameFile_);
    kyrtest::write_bytes(orig(), "template");
    EXPECT_TRUE(write(serverWith({}), stampOf(gameFile_)));
    EXPECT_EQ(contents(bmd()), gameFile_);
    EXPECT_EQ(contents(orig()), "template");
    EXPECT_EQ(newStamp_, "untouched");
    EXPECT_EQ(message_, "untouched");
}

TEST_F(ServerListBmdFile, MissingFileUsesTheTemplateOrTheDefaults) {
    ASSERT_TRUE(write(server_, "12-0badc0de"));
    EXPECT_FALSE(std::filesystem::exists(orig()));
    expectRecords(contents(bmd()), {{0, "Main", 1}, {1, "Servidor 1", 2}, {2, "Servidor 2", 3}});

    std::filesystem::remove(bmd());
    kyrtest::write_bytes(orig(), gameFile_);
    ASSERT_TRUE(write(server_, ""));
    EXPECT_EQ(contents(orig()), gameFile_);
    expectRecords(contents(bmd()), {{0, "Main", 3}, {1, "Juego 1", 4}, {2, "Servidor 2", 5}});
}

TEST_F(ServerListBmdFile, TemplateWithoutRecordsFallsBackToTheCurrentFile) {
    kyrtest::write_bytes(orig(), "short");
    kyrtest::write_bytes(bmd(), gameFile_);
    ASSERT_TRUE(write(server_, stampOf(gameFile_)));
    EXPECT_EQ(contents(orig()), "short");
    expectRecords(contents(bmd()), {{0, "Main", 3}, {1, "Juego 1", 4}, {2, "Servidor 2", 5}});
}

TEST_F(ServerListBmdFile, FileTooLargeToReadIsStillSavedAsTheTemplate) {
    const std::string large = gameFile_ + std::string(kBmdFileLimit, 'x');
    kyrtest::write_bytes(bmd(), large);
    kyrtest::write_bytes(orig(), gameFile_);
    ASSERT_TRUE(write(server_, ""));
    EXPECT_EQ(contents(orig()), large);
    expectRecords(contents(bmd()), {{0, "Main", 1}, {1, "Servidor 1", 2}, {2, "Servidor 2", 3}});
}

TEST_F(ServerListBmdFile, TooManyGroupsStillWritesTheFirst) {
    kyrtest::write_bytes(bmd(), kyrtest::bmdTemplateBytes({templateRecord(1, "Uno", 255)}));
    ASSERT_TRUE(write(server_, ""));
    EXPECT_EQ(message_, "Demasiados grupos de servidor para ServerList.bmd: se escribieron los primeros.");
    EXPECT_EQ(newStamp_, stampOf(contents(bmd())));
    expectRecords(contents(bmd()), {{0, "Main", 1}, {1, "Uno", 255}});
}

TEST_F(ServerListBmdFile, FailuresKeepThePreviousFile) {
    const struct {
        const char* name;
        void (*prepare)(const std::filesystem::path& folder);
        bool refuseReplace;
        const char* message;
    } cases[] = {
        {"temporary cannot be created",
         [](const std::filesystem::path& local) { std::filesystem::create_directory(local / "ServerList.bmd.tmp"); },
         false, "No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo lectura)."},
        {"move refused", [](const std::filesystem::path&) {}, true,
         "No se pudo reemplazar Data\\Local\\ServerList.bmd."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(tmp());
        kyrtest::write_bytes(bmd(), gameFile_);
        c.prepare(bmd().parent_path());
        bool ok = true;
        if (c.refuseReplace) {
            const kyrtest::RefusingReplacer refusing;
            ok = write(server_, "");
            EXPECT_EQ(refusing.calls(), 1);
            EXPECT_FALSE(std::filesystem::exists(tmp()));
        } else {
            ok = write(server_, "");
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(message_, c.message);
        EXPECT_EQ(newStamp_, "untouched");
        EXPECT_EQ(contents(bmd()), gameFile_);
        EXPECT_EQ(contents(orig()), gameFile_);
    }
}

TEST_F(ServerListBmdFile, MissingDataFolderCannotBeWritten) {
    std::filesystem::remove_all(scratch_ / "Data");
    EXPECT_FALSE(write(server_, ""));
    EXPECT_EQ(message_, "No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo lectura).");
    EXPECT_EQ(newStamp_, "untouched");
}

TEST(ReadBmdRecords, MissingOrOversizedFileGivesNone) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "ServerList.bmd").string();
    EXPECT_TRUE(readBmdRecords(path).empty());
    const std::string two = kyrtest::bmdTemplateBytes({templateRecord(0, "a", 0), templateRecord(1, "b", 0)});
    kyrtest::write_bytes(path, two);
    EXPECT_EQ(readBmdRecords(path).size(), 2u);
    kyrtest::write_bytes(path, two + std::string(kBmdFileLimit - two.size() + 1, '\0'));
    EXPECT_TRUE(readBmdRecords(path).empty());
}

} // namespace
} // namespace launcher
