#include "launcher/shell/file_replace.hpp"

#include "support/refusing_replacer.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

using kyrtest::read_bytes;
using kyrtest::write_bytes;

class FileReplace : public ::testing::Test {
protected:
    std::string target() const { return (scratch_ / "servers.cache.json").string(); }
    std::string temporary() const { return target() + ".tmp"; }

    kyrtest::ScratchFolder scratch_;
};

TEST_F(FileReplace, WritesThroughTheTemporaryOntoTheTarget) {
    const struct {
        const char* name;
        const char* before; // nullptr: no target yet
        const char* stale;  // nullptr: no leftover ".tmp"
        std::string bytes;
    } cases[] = {
        {"new target", nullptr, nullptr, "{\"schema\":1}"},
        {"existing target replaced", "old and longer content", nullptr, "new"},
        {"leftover temporary truncated", "old", "stale temporary content", "fresh"},
        {"empty bytes give an empty file", "old", nullptr, ""},
        {"binary bytes kept", nullptr, nullptr, std::string("a\0\r\n\x1a\xff", 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(target());
        if (c.before != nullptr) {
            write_bytes(target(), c.before);
        }
        if (c.stale != nullptr) {
            write_bytes(temporary(), c.stale);
        }
        EXPECT_EQ(writeFileReplacing(target(), c.bytes, false), ReplaceWriteResult::Written);
        EXPECT_EQ(read_bytes(target()), c.bytes);
        EXPECT_FALSE(std::filesystem::exists(temporary()));
    }
}

TEST_F(FileReplace, RefusedMoveKeepsThePreviousFile) {
    write_bytes(target(), "previous");
    const kyrtest::RefusingReplacer refusing;
    EXPECT_EQ(writeFileReplacing(target(), "next", true), ReplaceWriteResult::NotReplaced);
    EXPECT_EQ(refusing.calls(), 1);
    EXPECT_EQ(refusing.lastFrom(), temporary());
    EXPECT_EQ(refusing.lastTo(), target());
    EXPECT_EQ(read_bytes(target()), "previous");
    EXPECT_FALSE(std::filesystem::exists(temporary()));
}

TEST_F(FileReplace, TemporaryThatCannotBeCreatedLeavesEverythingAlone) {
    write_bytes(target(), "previous");
    std::filesystem::create_directory(temporary());
    EXPECT_EQ(writeFileReplacing(target(), "next", false), ReplaceWriteResult::CannotCreate);
    EXPECT_EQ(read_bytes(target()), "previous");
    EXPECT_TRUE(std::filesystem::is_directory(temporary()));
}

TEST_F(FileReplace, CopyOverwritesOrFailsWithoutTouchingTheTarget) {
    const std::string source = (scratch_ / "source").string();
    write_bytes(source, "template bytes");
    write_bytes(target(), "older and longer target");
    EXPECT_TRUE(copyFileOver(source, target()));
    EXPECT_EQ(read_bytes(target()), "template bytes");
    EXPECT_EQ(read_bytes(source), "template bytes");

    EXPECT_FALSE(copyFileOver((scratch_ / "missing").string(), target()));
    EXPECT_EQ(read_bytes(target()), "template bytes");
}

} // namespace
} // namespace launcher
