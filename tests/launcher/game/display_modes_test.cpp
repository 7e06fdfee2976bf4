#include "launcher/game/display_modes.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace launcher {
namespace {

using Sizes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// A display driver that lists the given modes in order and counts how often it was asked.
struct FakeDriver {
    Sizes modes;
    int calls = 0;

    DisplayModeEnumerator enumerator() {
        return [this](std::uint32_t modeNumber, std::uint32_t& width, std::uint32_t& height) {
            ++calls;
            if (modeNumber >= modes.size()) {
                return false;
            }
            width = modes[modeNumber].first;
            height = modes[modeNumber].second;
            return true;
        };
    }
};

TEST(BuildDisplayModeList, ListsEachUsableSizeOnceInOrder) {
    const struct {
        const char* name;
        Sizes driver;
        DisplayModeList want;
    } cases[] = {
        // 1920x1080 at 60 and 144 Hz, 800x600 at 16 and 32 bits.
        {"refresh rates and depths", {{1920, 1080}, {800, 600}, {1920, 1080}, {800, 600}}, {{800, 600}, {1920, 1080}}},
        {"only small modes", {{320, 200}, {640, 400}, {600, 480}}, {{1024, 768}}},
        {"no modes", {}, {{1024, 768}}},
        {"smallest usable size", {{640, 480}, {639, 480}, {640, 479}}, {{640, 480}}},
        {"sorted by width then height",
         {{1280, 1024}, {1024, 768}, {1280, 720}, {2560, 1440}, {1280, 800}},
         {{1024, 768}, {1280, 720}, {1280, 800}, {1280, 1024}, {2560, 1440}}},
        {"sizes beyond the signed range", {{0x80000000u, 1080}, {1920, 0xFFFFFFFFu}, {1600, 900}}, {{1600, 900}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDriver driver{c.driver};
        EXPECT_EQ(buildDisplayModeList(driver.enumerator()), c.want);
        // Asked for mode 0, 1, 2, ... and once more past the last.
        EXPECT_EQ(driver.calls, static_cast<int>(c.driver.size()) + 1);
    }
}

TEST(FindOrAddDisplayMode, FindsAListedSizeAndAppendsAnyOther) {
    DisplayModeList modes = {{800, 600}, {1920, 1080}};
    EXPECT_EQ(findOrAddDisplayMode(modes, 1920, 1080), 1);
    EXPECT_EQ(findOrAddDisplayMode(modes, 1366, 700), 2);
    EXPECT_EQ(findOrAddDisplayMode(modes, 1024, 768), 3);
    EXPECT_EQ(findOrAddDisplayMode(modes, 1366, 700), 2);
    // The tail keeps the order of arrival.
    EXPECT_EQ(modes, (DisplayModeList{{800, 600}, {1920, 1080}, {1366, 700}, {1024, 768}}));
}

} // namespace
} // namespace launcher
