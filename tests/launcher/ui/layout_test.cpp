#include "launcher/ui/layout.hpp"

#include <gtest/gtest.h>

namespace {

using launcher::Rect;

TEST(Layout, RectanglesAreHalfOpen) {
    const Rect rect{10, 20, 30, 40};
    const struct {
        const char* name;
        int x, y;
        bool want;
    } cases[] = {
        {"top-left corner", 10, 20, true}, {"last pixel", 29, 39, true}, {"right edge", 30, 25, false},
        {"bottom edge", 15, 40, false},    {"left of it", 9, 25, false}, {"above it", 15, 19, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rect.contains(c.x, c.y), c.want);
    }
}

TEST(Layout, ProgressBarGivesWayToForce) {
    EXPECT_EQ(launcher::progressBarRect(false), (Rect{16, 348, 614, 362}));
    EXPECT_EQ(launcher::progressBarRect(true), (Rect{16, 348, 514, 362}));
    // With FORCE shown the bar must end left of the button, without it left of VERIFY.
    EXPECT_LT(launcher::progressBarRect(true).right, launcher::kForceRect.left);
    EXPECT_LT(launcher::progressBarRect(false).right, launcher::kVerifyRect.left);
    EXPECT_EQ(launcher::computeLayout(true).progressBar, launcher::progressBarRect(true));
}

TEST(Layout, NewsItemsStackInsideTheContentPanel) {
    const Rect want[] = {{24, 84, 850, 154}, {24, 154, 850, 224}, {24, 224, 850, 294}};
    const launcher::Layout layout = launcher::computeLayout(false);
    for (int k = 0; k < launcher::kNewsItemCount; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(launcher::newsItemRect(k), want[k]);
        EXPECT_EQ(layout.newsItems[k], want[k]);
        EXPECT_LE(want[k].bottom, launcher::kContentPanelRect.bottom - 4);
    }
    EXPECT_TRUE(launcher::newsItemRect(3).empty());
    EXPECT_TRUE(launcher::newsItemRect(-1).empty());
}

TEST(Layout, PlayHexagonCutsThirtyPercentOfTheHeight) {
    const auto points = launcher::playHexagon(launcher::kPlayRect); // 722,328,862,372: height 44, cut 13
    const launcher::Point want[] = {{735, 328}, {849, 328}, {862, 350}, {849, 372}, {735, 372}, {722, 350}};
    for (std::size_t i = 0; i < points.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(points[i].x, want[i].x);
        EXPECT_EQ(points[i].y, want[i].y);
    }
    const auto small = launcher::playHexagon(Rect{0, 0, 40, 10}); // trunc(3.0) = 3
    EXPECT_EQ(small[0].x, 3);
    EXPECT_EQ(small[2].y, 5);
}

} // namespace
