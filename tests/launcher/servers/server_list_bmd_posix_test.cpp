#include "launcher/servers/server_list_bmd.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace launcher {
namespace {

// /dev/full behind the ".tmp" name: the open succeeds and the bytes never reach a disk.
TEST(ServerListBmdPosix, FullDiskReportsAShortWriteAndKeepsTheFile) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const kyrtest::ScratchFolder scratch;
    const std::filesystem::path local = scratch / "Data" / "Local";
    std::filesystem::create_directories(local);
    kyrtest::write_bytes(local / "ServerList.bmd", "previous");
    std::filesystem::create_symlink("/dev/full", local / "ServerList.bmd.tmp");

    ServerEntry server;
    server.channels.push_back(ServerChannel{3, "Main", "Main"});
    std::string newStamp = "untouched";
    std::string message;
    EXPECT_FALSE(writeServerListBmd(scratch.path().string(), server, "", newStamp, message));
    EXPECT_EQ(message, "No se pudo escribir Data\\Local\\ServerList.bmd (disco lleno?).");
    EXPECT_EQ(newStamp, "untouched");
    // Reading /dev/full never ends, so a file moved there must not be read.
    ASSERT_FALSE(std::filesystem::is_symlink(local / "ServerList.bmd"));
    EXPECT_EQ(kyrtest::read_bytes(local / "ServerList.bmd"), "previous");
    EXPECT_FALSE(std::filesystem::is_symlink(local / "ServerList.bmd.tmp"));
}

} // namespace
} // namespace launcher
