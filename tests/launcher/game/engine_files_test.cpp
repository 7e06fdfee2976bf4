#include "launcher/game/engine_files.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

TEST(EngineFiles, IdenticalOnlyForTwoReadableFilesWithTheSameBytes) {
    const std::string blocks(2 * 65536 + 17, 'a');
    const struct {
        std::string a, b; // "<none>": no such file
        bool want;
    } cases[] = {
        {"library", "library", true},          {blocks, blocks, true},         {"", "", true},
        {"library", "library!", false},        {blocks, blocks.substr(1) + "b", false},
        {"b" + blocks.substr(1), blocks, false}, {"library", "<none>", false}, {"<none>", "<none>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a.size());
        const kyrtest::ScratchFolder scratch;
        for (const auto& [name, bytes] : {std::pair{"a", c.a}, std::pair{"b", c.b}}) {
            if (bytes != "<none>") {
                kyrtest::write_bytes(scratch / name, bytes);
            }
        }
        EXPECT_EQ(filesIdentical((scratch / "a").string(), (scratch / "b").string()), c.want);
    }
    const kyrtest::ScratchFolder scratch;
    std::filesystem::create_directory(scratch / "folder");
    EXPECT_FALSE(filesIdentical((scratch / "folder").string(), (scratch / "folder").string()));
    EXPECT_FALSE(isFile((scratch / "folder").string()));
}

TEST(EngineFiles, FingerprintAndCopyThatNeverOverwrites) {
    const kyrtest::ScratchFolder scratch;
    const std::string from = (scratch / "from").string(), to = (scratch / "to").string();
    kyrtest::write_bytes(from, "abc");
    FileFingerprint fingerprint;
    ASSERT_TRUE(fingerprintFile(from, fingerprint));
    EXPECT_EQ(fingerprint.size, 3u);
    EXPECT_EQ(fingerprint.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(fingerprintFile(to, fingerprint));
    EXPECT_TRUE(copyFileNew(from, to));
    EXPECT_EQ(kyrtest::read_bytes(to), "abc");
    kyrtest::write_bytes(to, "kept");
    EXPECT_FALSE(copyFileNew(from, to)) << "the player's file is never overwritten";
    EXPECT_EQ(kyrtest::read_bytes(to), "kept");
    EXPECT_TRUE(deleteFile(to));
    EXPECT_FALSE(deleteFile(to));
}

} // namespace
} // namespace launcher
