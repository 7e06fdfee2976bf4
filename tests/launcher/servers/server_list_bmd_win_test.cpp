#include "launcher/servers/server_list_bmd.hpp"

#include "support/held_file_win.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

using kyrtest::read_bytes;
using kyrtest::write_bytes;

class ServerListBmdWin : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(scratch_ / "Data" / "Local");
        server_.description = "Servidor";
        server_.channels.push_back(ServerChannel{3, "Canal", "Main"});
        write_bytes(bmd(), gameFile_);
    }
    void TearDown() override {
        SetFileAttributesA(bmd().c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA(orig().c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    std::string bmd() const { return (scratch_ / "Data" / "Local" / "ServerList.bmd").string(); }
    std::string orig() const { return bmd() + ".orig"; }
    std::string tmp() const { return bmd() + ".tmp"; }
    bool write() { return writeServerListBmd(scratch_.path().string(), server_, "", newStamp_, message_); }

    // One record of group 0 with a description, as the game's own file could hold it.
    const std::string gameFile_ = [] {
        BmdRecord record;
        record.name = "Juego";
        record.description = "Del juego";
        std::string bytes;
        appendBmdRecord(bytes, record);
        return bytes;
    }();
    kyrtest::ScratchFolder scratch_;
    ServerEntry server_;
    std::string newStamp_ = "untouched";
    std::string message_ = "untouched";
};

TEST_F(ServerListBmdWin, FileInUseByTheGameIsKeptWhole) {
    {
        const kyrtest::HeldFile game(bmd(), GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(game.isOpen());
        EXPECT_FALSE(write());
    }
    EXPECT_EQ(message_, "No se pudo reemplazar Data\\Local\\ServerList.bmd.");
    EXPECT_EQ(newStamp_, "untouched");
    EXPECT_EQ(read_bytes(bmd()), gameFile_);
    EXPECT_EQ(read_bytes(orig()), gameFile_);
    EXPECT_EQ(GetFileAttributesA(tmp().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ServerListBmdWin, TemporaryInUseCannotBeWritten) {
    const kyrtest::HeldFile other(tmp(), GENERIC_WRITE, 0);
    ASSERT_TRUE(other.isOpen());
    EXPECT_FALSE(write());
    EXPECT_EQ(message_, "No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo lectura).");
    EXPECT_EQ(newStamp_, "untouched");
    EXPECT_EQ(read_bytes(bmd()), gameFile_);
}

TEST_F(ServerListBmdWin, ReadOnlyHiddenFilesAreStillRefreshed) {
    write_bytes(orig(), "older template");
    const DWORD locked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesA(orig().c_str(), locked));
    ASSERT_TRUE(SetFileAttributesA(bmd().c_str(), locked));
    ASSERT_TRUE(write());
    EXPECT_EQ(message_, "untouched");
    EXPECT_EQ(read_bytes(orig()), gameFile_);
    EXPECT_EQ(GetFileAttributesA(orig().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    const std::string written = read_bytes(bmd());
    EXPECT_EQ(newStamp_, stampOf(written));
    const std::vector<BmdRecord> records = decodeBmdRecords(written);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "Main");
    EXPECT_EQ(records[0].description, std::string("Del juego\0", 10));
}

} // namespace
} // namespace launcher
