#include "launcher/servers/server_list_bmd.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace launcher {
namespace {

// /dev/full behind the ".tmp" name: the open succeeds and the bytes never reach a disk.
TEST(ServerListBmdPosix, FullDiskReportsAShortWriteAndKeepsTheFile) {
    const kyrtest::ScratchFolder scratch;
    const std::filesystem::path local = scratch / "Data" / "Local";
    std::filesystem::create_directories(local);
    kyrtest::write_bytes(local / "ServerList.bmd", "previous");
    std::filesystem::create_symlink("/dev/full", local / "ServerList.bmd.tmp");
    ServerEntry server;
    server.channels.push_back(ServerChannel{3, "Main", "Main"});
    std::string newStamp = "untouched", message;
    EXPECT_FALSE(writeServerListBmd(scratch.path().string(), server, "", newStamp, message));
    EXPECT_EQ(message, "No se pudo escribir Data\\Local\\ServerList.bmd (disco lleno?).");
    EXPECT_EQ(newStamp, "untouched");
    ASSERT_FALSE(std::filesystem::is_symlink(local / "ServerList.bmd")); // reading /dev/full never ends
    EXPECT_EQ(kyrtest::read_bytes(local / "ServerList.bmd"), "previous");
}

} // namespace
} // namespace launcher
