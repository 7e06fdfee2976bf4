#include "patch/install_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using gu::patch::install_file;
using gu::patch::sha256_hex;
using gu::patch::path_text;
namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

TEST(InstallFile, WritesTheFileWithItsFoldersAndLeavesNoPart) {
    struct Case {
        const char* name;
        std::string before; // "<missing>": no file yet
        std::string part_before;
        std::string bytes;
    };
    const Case cases[] = {
        {"new file in new folders", "<missing>", "<missing>", std::string("bin\0\xff\r\n", 7)},
        {"replaces an older file", "older and longer content", "<missing>", "new"},
        {"empty file", "something", "<missing>", ""},
        {"leftover part of an interrupted run", "old", "half-written leftover, longer", "whole"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder root;
        const fs::path target = root / "Data" / "World1" / "f.bin";
        if (c.before != "<missing>") {
            fs::create_directories(target.parent_path());
            write_bytes(target, c.before);
        }
        if (c.part_before != "<missing>") {
            write_bytes(target.string() + ".updpart", c.part_before);
        }
        install_file(root.path(), "Data/World1/f.bin", c.bytes, sha256_hex(c.bytes), {});
        EXPECT_EQ(read_bytes(target), c.bytes);
        EXPECT_FALSE(fs::exists(target.string() + ".updpart"));
    }
}

TEST(InstallFile, ReplacesTheTargetOnlyWhenTheWrittenBytesMatch) {
    // Sizes around the slices the bytes are hashed and written in, so that a slice lost, repeated or cut
    // short changes the hash or the file.
    struct Case {
        std::size_t size;
        bool expected_matches;
    };
    const Case cases[] = {{0, true}, {1, true}, {65535, true}, {65536, true}, {65537, true}, {300001, true},
                          {1, false}, {65536, false}, {300001, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.expected_matches ? " matching" : " differing"));
        kyrtest::ScratchFolder root;
        const fs::path target = root / "Data" / "f.bin";
        fs::create_directories(target.parent_path());
        write_bytes(target, "old");
        std::string bytes(c.size, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(i * 7 + i / 65536);
        }
        const std::string actual_sha = sha256_hex(bytes);
        const std::string expected_sha = c.expected_matches ? actual_sha : sha256_hex("something else");

        EXPECT_EQ(install_file(root.path(), "Data/f.bin", bytes, expected_sha, {}), actual_sha);
        EXPECT_EQ(read_bytes(target), c.expected_matches ? bytes : "old");
        EXPECT_FALSE(fs::exists(target.string() + ".updpart"));
    }
}

TEST(InstallFile, FailuresNameThePathConcerned) {
    kyrtest::ScratchFolder root;
    const fs::path part = root / "p.bin.updpart";
    fs::create_directories(part / "inside");
    try {
        install_file(root.path(), "p.bin", "bytes", sha256_hex("bytes"), {});
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "failed to open for write: " + path_text(part));
    }
    EXPECT_FALSE(fs::exists(root / "p.bin"));

    // A folder in the target's place can be neither replaced nor overwritten; the part stays for the
    // next run to overwrite.
    const fs::path target = root / "t.bin";
    fs::create_directories(target / "inside");
    try {
        install_file(root.path(), "t.bin", "bytes", sha256_hex("bytes"), {});
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        const std::string prefix = "failed to install " + path_text(target) + ": ";
        const std::string message = e.what();
        EXPECT_EQ(message.substr(0, prefix.size()), prefix);
        EXPECT_GT(message.size(), prefix.size());
    }
    EXPECT_TRUE(fs::is_directory(target / "inside"));

    // A file where a parent folder should be: the file system's own error.
    write_bytes(root / "blocker", "file");
    EXPECT_THROW(install_file(root.path(), "blocker/f.bin", "bytes", sha256_hex("bytes"), {}), fs::filesystem_error);
}

} // namespace
