#include "patch/folder_cleanup.hpp"

#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using kyrtest::PlantedLink;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

// The game's working folder holds real files and a link to a folder outside the game whose file must
// survive the removal.
TEST(RemoveTreeNoFollow, RemovesLinksAsLinksAndNeverTouchesTheirTargets) {
    struct Case {
        const char* name;
        const char* link; // below the game folder
    };
    const Case cases[] = {
        {"link deep inside", ".updstage/Data/Local/link"},
        {"link beside files", ".updstage/link"},
        {"the folder itself is a link", ".updstage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder scratch;
        const fs::path outside = scratch / "outside";
        fs::create_directories(outside / "sub");
        write_bytes(outside / "sub" / "keep.txt", "keep");
        const fs::path game = scratch / "game";
        const fs::path stage = game / ".updstage";
        fs::create_directories(game);
        const bool link_is_stage = fs::path(c.link) == ".updstage";
        if (!link_is_stage) {
            fs::create_directories(stage / "Data" / "Local");
            write_bytes(stage / "Data" / "Local" / "a.bin", "a");
            write_bytes(stage / "Main.exe", "m");
        }
        const PlantedLink planted = kyrtest::plant_link(game / c.link, outside);
        if (planted == PlantedLink::none) {
            GTEST_SKIP() << "this system cannot make a link";
        }

        const bool removed = gu::patch::remove_tree_no_follow(stage);
        EXPECT_EQ(read_bytes(outside / "sub" / "keep.txt"), "keep");
        if (planted == PlantedLink::removable) {
            EXPECT_TRUE(removed);
            EXPECT_FALSE(fs::exists(fs::symlink_status(stage)));
        } else {
            // Wine cannot remove the link; everything else goes.
            EXPECT_FALSE(removed);
            if (!link_is_stage) {
                EXPECT_EQ(read_bytes(stage / "Main.exe"), "<missing>");
            }
        }
        kyrtest::remove_planted_link(game / c.link);
    }
}

} // namespace
