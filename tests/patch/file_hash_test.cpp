#include "patch/file_hash.hpp"

#include "patch/errors.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

// Bytes that differ from block to block, so a block hashed twice or skipped changes the digest.
std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

TEST(Sha256HexFile, SizesAroundTheOneMebibyteBlock) {
    constexpr std::size_t kMiB = 1048576;
    ScratchFolder dir;
    for (const std::size_t size : {kMiB - 1, kMiB, kMiB + 1, 3 * kMiB + 17}) {
        SCOPED_TRACE(size);
        const std::string bytes = pattern(size);
        write_bytes(dir / "file", bytes);
        EXPECT_EQ(gu::patch::sha256_hex_file(dir / "file"), gu::patch::sha256_hex(bytes));
    }
}

TEST(Sha256HexFile, UnreadableFilesAreVerifyErrors) {
    ScratchFolder dir;
    const fs::path missing = dir / "missing.bin";
    try {
        gu::patch::sha256_hex_file(missing);
        ADD_FAILURE() << "no error";
    } catch (const gu::patch::VerifyError& e) {
        EXPECT_EQ(std::string(e.what()), "sha256_hex_file: cannot open " + missing.u8string());
    }
}

} // namespace
