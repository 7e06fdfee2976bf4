#include "launcher/shell/file_replace.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace launcher {
namespace {

// /dev/full accepts the open and fails every write with ENOSPC: a full disk on demand. The small write
// stays in the stdio buffer, so the failure only shows when it is flushed.
TEST(FileReplacePosix, FullDiskIsAShortWriteAndKeepsThePreviousFile) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const kyrtest::ScratchFolder scratch;
    const std::string target = (scratch / "ServerList.bmd").string();
    kyrtest::write_bytes(target, "previous");
    std::filesystem::create_symlink("/dev/full", target + ".tmp");

    EXPECT_EQ(writeFileReplacing(target, "next", true), ReplaceWriteResult::ShortWrite);
    // Reading /dev/full never ends, so a target moved there must not be read.
    ASSERT_FALSE(std::filesystem::is_symlink(target));
    EXPECT_EQ(kyrtest::read_bytes(target), "previous");
    EXPECT_FALSE(std::filesystem::is_symlink(target + ".tmp"));
}

} // namespace
} // namespace launcher
