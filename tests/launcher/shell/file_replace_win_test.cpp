#include "launcher/shell/file_replace.hpp"

#include "support/held_file_win.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace launcher {
namespace {

using kyrtest::read_bytes;
using kyrtest::write_bytes;

class FileReplaceWin : public ::testing::Test {
protected:
    std::string target() const { return (scratch_ / "ServerList.bmd").string(); }
    std::string temporary() const { return target() + ".tmp"; }
    DWORD attributes(const std::string& path) const { return GetFileAttributesA(path.c_str()); }

    kyrtest::ScratchFolder scratch_;
};

TEST_F(FileReplaceWin, TargetInUseIsNotReplacedAndKeepsItsBytes) {
    write_bytes(target(), "previous");
    {
        const kyrtest::HeldFile game(target(), GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(game.isOpen());
        EXPECT_EQ(writeFileReplacing(target(), "next", true), ReplaceWriteResult::NotReplaced);
    }
    EXPECT_EQ(read_bytes(target()), "previous");
    EXPECT_EQ(attributes(temporary()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileReplaceWin, TemporaryInUseCannotBeCreated) {
    write_bytes(target(), "previous");
    const kyrtest::HeldFile other(temporary(), GENERIC_WRITE, 0);
    ASSERT_TRUE(other.isOpen());
    EXPECT_EQ(writeFileReplacing(target(), "next", true), ReplaceWriteResult::CannotCreate);
    EXPECT_EQ(read_bytes(target()), "previous");
}

// Windows refuses to move onto a read-only file, hence the reset. Wine replaces such a file anyway, so
// there this only shows that the reset path ends with the new bytes in a writable file.
TEST_F(FileReplaceWin, ReadOnlyTargetIsReplacedAfterTheReset) {
    write_bytes(target(), "previous");
    ASSERT_TRUE(SetFileAttributesA(target().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(writeFileReplacing(target(), "next", true), ReplaceWriteResult::Written);
    EXPECT_EQ(read_bytes(target()), "next");
    EXPECT_EQ(attributes(target()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(attributes(temporary()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileReplaceWin, CopyOverwritesAReadOnlyHiddenTarget) {
    const std::string source = (scratch_ / "ServerList.bmd").string();
    const std::string copy = source + ".orig";
    write_bytes(source, "game file");
    write_bytes(copy, "older template");
    ASSERT_TRUE(SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(copyFileOver(source, copy));
    EXPECT_EQ(read_bytes(copy), "game file");
    EXPECT_EQ(attributes(copy) & FILE_ATTRIBUTE_READONLY, 0u);
}

} // namespace
} // namespace launcher
