#include "launcher/game/display_modes.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

// The display driver of the machine the tests run on (under Wine without a display it may list nothing).
TEST(DisplayModesOfThisMachine, AreUniqueSortedAndNeverEmpty) {
    const DisplayModeList modes = buildDisplayModeList();
    ASSERT_FALSE(modes.empty());
    for (std::size_t i = 1; i < modes.size(); ++i) {
        const DisplayMode& a = modes[i - 1];
        const DisplayMode& b = modes[i];
        EXPECT_TRUE(a.width < b.width || (a.width == b.width && a.height < b.height))
            << a.width << "x" << a.height << " before " << b.width << "x" << b.height;
    }
    for (const DisplayMode& mode : modes) {
        EXPECT_GE(mode.width, 640);
        EXPECT_GE(mode.height, 480);
    }
}

} // namespace
} // namespace launcher
