#include "patch/install_file.hpp"

#include "patch/atomic_file.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using gu::patch::install_file;
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
        install_file(root.path(), "Data/World1/f.bin", c.bytes, {});
        EXPECT_EQ(read_bytes(target), c.bytes);
        EXPECT_FALSE(fs::exists(target.string() + ".updpart"));
    }
}

TEST(InstallFile, FailuresNameThePathConcerned) {
    kyrtest::ScratchFolder root;
    const fs::path part = root / "p.bin.updpart";
    fs::create_directories(part / "inside");
    try {
        install_file(root.path(), "p.bin", "bytes", {});
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
        install_file(root.path(), "t.bin", "bytes", {});
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
    EXPECT_THROW(install_file(root.path(), "blocker/f.bin", "bytes", {}), fs::filesystem_error);
}

} // namespace
