#include "patch/link_test.hpp"

#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;
using kyrtest::PlantedLink;

// The game folder holds Data/Local/a.ini and file.txt; `link` (when set) is planted in place of that
// step, pointing at a folder outside that holds the same names. Under Wine the link is a Unix symbolic
// link, which only the Win32 attributes show.
TEST(LinkTest, TellsLinksFromFilesAndFoldersOnTheWayDown) {
    struct Case {
        const char* name;
        const char* link;  // relative to the game folder; "" = the game folder itself; nullptr = none
        const char* probe; // relative path asked about
        bool want_is_link; // of the probe itself
        bool want_leads;   // leads_through_link(game folder, probe)
    };
    const Case cases[] = {
        {"nothing linked", nullptr, "Data/Local/a.ini", false, false},
        {"a missing name", nullptr, "Data/none/x", false, false},
        {"below a plain file", nullptr, "file.txt/x", false, false},
        {"a folder on the way", "Data", "Data/Local/a.ini", false, true},
        {"the last folder on the way", "Data/Local", "Data/Local/a.ini", false, true},
        {"the name itself", "Data/Local", "Data/Local", true, true},
        {"the game folder itself", "", "Data/Local/a.ini", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder scratch;
        fs::create_directories(scratch / "outside" / "Local");
        kyrtest::write_bytes(scratch / "outside" / "Local" / "a.ini", "x");
        kyrtest::write_bytes(scratch / "outside" / "a.ini", "x");
        const fs::path game = scratch / "game";
        fs::create_directories(game / "Data" / "Local");
        kyrtest::write_bytes(game / "Data" / "Local" / "a.ini", "x");
        kyrtest::write_bytes(game / "file.txt", "x");
        fs::path root = game;
        fs::path link;
        if (c.link != nullptr) {
            link = *c.link == '\0' ? scratch / "game link" : game / c.link;
            if (*c.link != '\0') {
                fs::remove_all(link);
            }
            const PlantedLink planted = kyrtest::plant_link(link, *c.link == '\0' ? game : scratch / "outside");
            ASSERT_NE(planted, PlantedLink::none);
            root = *c.link == '\0' ? link : game;
        }
        EXPECT_EQ(gu::patch::is_link(root / c.probe), c.want_is_link);
        EXPECT_EQ(gu::patch::leads_through_link(root, c.probe), c.want_leads);
        if (!link.empty()) {
            kyrtest::remove_planted_link(link);
        }
    }
}

// Natively a link to a file is a link too (Wine shows only links to folders), dangling or not.
TEST(LinkTest, ALinkToAFileIsALink) {
    if (!kyrtest::file_links_show()) {
        GTEST_SKIP() << "links to files do not show here";
    }
    kyrtest::ScratchFolder scratch;
    kyrtest::write_bytes(scratch / "target", "x");
    ASSERT_NE(kyrtest::plant_link(scratch / "link", scratch / "target"), PlantedLink::none);
    ASSERT_NE(kyrtest::plant_link(scratch / "dangling", scratch / "gone"), PlantedLink::none);
    EXPECT_TRUE(gu::patch::is_link(scratch / "link"));
    EXPECT_TRUE(gu::patch::is_link(scratch / "dangling"));
    EXPECT_FALSE(gu::patch::is_link(scratch / "target"));
}

} // namespace
