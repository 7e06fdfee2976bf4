#include "patch/folder_cleanup.hpp"

#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using kyrtest::PlantedLink;

// A link in the stage folder, or the stage folder itself as a link, points at a folder outside the game
// whose file must survive the removal.
TEST(RemoveTreeNoFollow, RemovesLinksAsLinksAndNeverTouchesTheirTargets) {
    for (const char* link : {".updstage/Data/link", ".updstage"}) {
        SCOPED_TRACE(link);
        kyrtest::ScratchFolder scratch;
        fs::create_directories(scratch / "outside");
        kyrtest::write_bytes(scratch / "outside" / "keep.txt", "keep");
        const fs::path stage = scratch / "game" / ".updstage";
        fs::create_directories(fs::path(link) == ".updstage" ? stage.parent_path() : stage / "Data");
        kyrtest::write_bytes(stage / "Main.exe", "m");
        const PlantedLink planted = kyrtest::plant_link(scratch / "game" / link, scratch / "outside");
        if (planted == PlantedLink::none) {
            GTEST_SKIP() << "this system cannot make a link";
        }
        // Wine cannot remove the link, but everything else goes.
        EXPECT_EQ(gu::patch::remove_tree_no_follow(stage), planted == PlantedLink::removable);
        EXPECT_EQ(kyrtest::read_bytes(scratch / "outside" / "keep.txt"), "keep");
        EXPECT_EQ(kyrtest::read_bytes(stage / "Main.exe"), "<missing>");
        kyrtest::remove_planted_link(scratch / "game" / link);
    }
}

} // namespace
