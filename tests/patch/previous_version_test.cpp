#include "patch/previous_version.hpp"

#include "patch/local_path.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace gu::patch;

// Version 2 replaces "Data/Ä.txt" as "data/ä.TXT": on Windows the old bytes are gone, so no later file may
// read its chunks there; one the previous version also holds elsewhere is read from there instead.
TEST(PreviousVersionChunks, AFileReplacedUnderAnotherSpellingIsNoLongerRead) {
    kyrtest::ScratchFolder root;
    std::filesystem::create_directories(root / "Data");
    const std::string renamed = "Data/\xc3\x84.txt";
    kyrtest::write_bytes(local_path(root.path(), renamed), "abcdef");
    kyrtest::write_bytes(root / "Data" / "other.bin", "def");
    Manifest previous;
    previous.files = {{renamed, 6, "s1", {{"h1", 3, 1}, {"h2", 3, 1}}}, {"Data/other.bin", 3, "s2", {{"h2", 3, 1}}}};
    PatchState state;
    state.files = {{renamed, "s1"}, {"Data/other.bin", "s2"}};
    PreviousVersionChunks chunks = PreviousVersionChunks::load(root.path(), previous, state);
    ASSERT_EQ(chunks.chunks().at("h2").path, renamed);

    EXPECT_EQ(chunks.forget_file("data/\xc3\xa4.TXT"), std::vector<std::string>{renamed});

    EXPECT_EQ(chunks.chunks().count("h1"), 0u);
    EXPECT_EQ(chunks.chunks().at("h2").path, "Data/other.bin");
    EXPECT_EQ(chunks.chunks().at("h2").offset, 0u);
}

} // namespace
