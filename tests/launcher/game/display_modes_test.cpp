#include "launcher/game/display_modes.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace launcher {
namespace {

using Sizes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

TEST(DisplayModes, ListsEachUsableSizeOnceInOrder) {
    const struct {
        Sizes driver;
        DisplayModeList want;
    } cases[] = {
        {{{1920, 1080}, {800, 600}, {1920, 1080}, {800, 600}}, {{800, 600}, {1920, 1080}}},
        {{{320, 200}, {600, 480}}, {{1024, 768}}},
        {{}, {{1024, 768}}},
        {{{640, 480}, {639, 480}, {640, 479}, {639, 2000}, {2000, 479}}, {{640, 480}}},
        {{{1280, 1024}, {1024, 768}, {1280, 720}}, {{1024, 768}, {1280, 720}, {1280, 1024}}},
        {{{0x80000000u, 1080}, {1920, 0xFFFFFFFFu}, {1600, 900}}, {{1600, 900}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.driver.size());
        int calls = 0;
        const DisplayModeList got = buildDisplayModeList([&](std::uint32_t number, std::uint32_t& w, std::uint32_t& h) {
            ++calls;
            if (number >= c.driver.size()) {
                return false;
            }
            w = c.driver[number].first;
            h = c.driver[number].second;
            return true;
        });
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(calls, static_cast<int>(c.driver.size()) + 1) << "asked for each mode and once past the last";
    }
    DisplayModeList modes = {{800, 600}, {1920, 1080}};
    EXPECT_EQ(findOrAddDisplayMode(modes, 1920, 1080), 1);
    EXPECT_EQ(findOrAddDisplayMode(modes, 1366, 700), 2);
    EXPECT_EQ(findOrAddDisplayMode(modes, 1366, 700), 2);
    EXPECT_EQ(modes.size(), 3u);
}

} // namespace
} // namespace launcher
