#include "launcher/game/engine_files.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

using kyrtest::write_bytes;

constexpr std::size_t kBlock = 65536;

TEST(FilesIdentical, TrueOnlyForTwoReadableFilesWithTheSameBytes) {
    const std::string twoBlocks(2 * kBlock + 17, 'a');
    std::string lastByteChanged = twoBlocks;
    lastByteChanged.back() = 'b';
    std::string firstByteChanged = twoBlocks;
    firstByteChanged.front() = 'b';
    const struct {
        const char* name;
        const char* a; // nullptr: no such file
        std::string bytesA;
        const char* b;
        std::string bytesB;
        bool want;
    } cases[] = {
        {"same bytes", "a", "library", "b", "library", true},
        {"same bytes over several blocks", "a", twoBlocks, "b", twoBlocks, true},
        {"both empty", "a", "", "b", "", true},
        {"one byte longer", "a", "library", "b", "library!", false},
        {"last byte of the last block differs", "a", twoBlocks, "b", lastByteChanged, false},
        {"first byte differs", "a", twoBlocks, "b", firstByteChanged, false},
        {"second file missing", "a", "library", nullptr, "", false},
        {"both missing", nullptr, "", nullptr, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::ScratchFolder scratch;
        if (c.a != nullptr) {
            write_bytes(scratch / c.a, c.bytesA);
        }
        if (c.b != nullptr) {
            write_bytes(scratch / c.b, c.bytesB);
        }
        EXPECT_EQ(filesIdentical((scratch / "a").string(), (scratch / "b").string()), c.want);
    }
}

TEST(FilesIdentical, AFileIsIdenticalToItselfButNotToAFolder) {
    const kyrtest::ScratchFolder scratch;
    write_bytes(scratch / "a", "library");
    std::filesystem::create_directory(scratch / "folder");
    EXPECT_TRUE(filesIdentical((scratch / "a").string(), (scratch / "a").string()));
    EXPECT_FALSE(filesIdentical((scratch / "folder").string(), (scratch / "folder").string()));
}

TEST(FingerprintFile, GivesSizeAndSha256OfTheBytes) {
    const kyrtest::ScratchFolder scratch;
    write_bytes(scratch / "abc", "abc");
    FileFingerprint fingerprint;
    ASSERT_TRUE(fingerprintFile((scratch / "abc").string(), fingerprint));
    EXPECT_EQ(fingerprint.size, 3u);
    EXPECT_EQ(fingerprint.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    const std::string large(3 * kBlock + 5, 'x');
    write_bytes(scratch / "large", large);
    ASSERT_TRUE(fingerprintFile((scratch / "large").string(), fingerprint));
    EXPECT_EQ(fingerprint.size, large.size());

    EXPECT_FALSE(fingerprintFile((scratch / "missing").string(), fingerprint));
    EXPECT_EQ(fingerprint.size, large.size());
}

TEST(EngineFileOperations, CopyNewRefusesAnExistingTarget) {
    const kyrtest::ScratchFolder scratch;
    const std::string from = (scratch / "from").string();
    const std::string to = (scratch / "to").string();
    write_bytes(from, "new");
    EXPECT_TRUE(copyFileNew(from, to));
    EXPECT_EQ(kyrtest::read_bytes(to), "new");
    write_bytes(to, "kept");
    EXPECT_FALSE(copyFileNew(from, to));
    EXPECT_EQ(kyrtest::read_bytes(to), "kept");

    std::filesystem::create_directory(scratch / "folder");
    EXPECT_TRUE(isFile(to));
    EXPECT_FALSE(isFile((scratch / "folder").string()));
    EXPECT_FALSE(isFile((scratch / "missing").string()));
    EXPECT_TRUE(deleteFile(to));
    EXPECT_FALSE(isFile(to));
    EXPECT_FALSE(deleteFile(to));
}

} // namespace
} // namespace launcher
