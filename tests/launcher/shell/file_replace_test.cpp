#include "launcher/shell/file_replace.hpp"

#include "support/refusing_replacer.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

TEST(FileReplace, WritesThroughTheTemporaryAndKeepsThePreviousFileOnFailure) {
    const kyrtest::ScratchFolder scratch;
    const std::string target = (scratch / "servers.cache.json").string(), temporary = target + ".tmp";
    EXPECT_EQ(writeFileReplacing(target, "first", false), ReplaceWriteResult::Written);
    kyrtest::write_bytes(temporary, "stale temporary content");
    const std::string binary("a\0\r\n\x1a\xff", 6);
    EXPECT_EQ(writeFileReplacing(target, binary, true), ReplaceWriteResult::Written) << "onto an existing file";
    EXPECT_EQ(kyrtest::read_bytes(target), binary);
    EXPECT_FALSE(std::filesystem::exists(temporary));
    {
        const kyrtest::RefusingReplacer refusing;
        EXPECT_EQ(writeFileReplacing(target, "next", true), ReplaceWriteResult::NotReplaced);
    }
    EXPECT_FALSE(std::filesystem::exists(temporary));
    std::filesystem::create_directory(temporary);
    EXPECT_EQ(writeFileReplacing(target, "next", false), ReplaceWriteResult::CannotCreate);
    EXPECT_EQ(kyrtest::read_bytes(target), binary);
}

TEST(FileReplace, CopyOverwritesOrFailsWithoutTouchingTheTarget) {
    const kyrtest::ScratchFolder scratch;
    const std::string source = (scratch / "source").string(), target = (scratch / "target").string();
    kyrtest::write_bytes(source, "template bytes");
    kyrtest::write_bytes(target, "older and longer target");
    EXPECT_TRUE(copyFileOver(source, target));
    EXPECT_EQ(kyrtest::read_bytes(target), "template bytes");
    EXPECT_FALSE(copyFileOver((scratch / "missing").string(), target));
    EXPECT_EQ(kyrtest::read_bytes(target), "template bytes");
}

} // namespace
} // namespace launcher
