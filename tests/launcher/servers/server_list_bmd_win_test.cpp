#include "launcher/servers/server_list_bmd.hpp"

#include "support/held_file_win.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

// Windows' own sharing and attribute rules on the real files: a file the game holds is never replaced
// half-way, and read-only hidden copies are still refreshed.
TEST(ServerListBmdWin, FileInUseIsKeptWholeAndReadOnlyFilesAreRefreshed) {
    const kyrtest::ScratchFolder scratch;
    const std::string bmd = (scratch / "Data" / "Local" / "ServerList.bmd").string();
    std::filesystem::create_directories(scratch / "Data" / "Local");
    kyrtest::write_bytes(bmd, "game file");
    ServerEntry server;
    server.channels.push_back(ServerChannel{3, "Canal", "Main"});
    std::string stamp = "untouched", message;
    {
        const kyrtest::HeldFile game(bmd, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(game.isOpen());
        EXPECT_FALSE(writeServerListBmd(scratch.path().string(), server, "", stamp, message));
    }
    EXPECT_EQ(message, "No se pudo reemplazar Data\\Local\\ServerList.bmd.");
    EXPECT_EQ(kyrtest::read_bytes(bmd), "game file");
    EXPECT_EQ(GetFileAttributesA((bmd + ".tmp").c_str()), INVALID_FILE_ATTRIBUTES);

    const DWORD locked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesA(bmd.c_str(), locked) && SetFileAttributesA((bmd + ".orig").c_str(), locked));
    message = "untouched";
    EXPECT_TRUE(writeServerListBmd(scratch.path().string(), server, "", stamp, message));
    EXPECT_EQ(message, "untouched");
    EXPECT_EQ(stamp, stampOf(kyrtest::read_bytes(bmd)));
    SetFileAttributesA(bmd.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((bmd + ".orig").c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
} // namespace launcher
