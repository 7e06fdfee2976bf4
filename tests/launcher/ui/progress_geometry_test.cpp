#include "launcher/ui/progress_geometry.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

const Rect kTrack = progressBarRect(false); // 16 .. 614: 598 wide

TEST(ProgressGeometry, KnownTotalFillsItsFractionAndShowsThePercentage) {
    const struct {
        const char* name;
        std::uint64_t done, total;
        bool fill;
        int right;
        const char* percent;
    } cases[] = {
        {"50 of 200 fills a quarter", 50, 200, true, 16 + 598 / 4, "25%"},
        {"250 of 200 is full", 250, 200, true, 614, "100%"},
        {"1 of 1 is full", 1, 1, true, 614, "100%"},
        {"nothing done shows no fill", 0, 200, false, 0, "0%"},
        {"one pixel is not drawn", 1, 598, false, 0, "0%"},
        {"a few pixels are", 2, 300, true, 19, "1%"},
        {"rounds the percentage", 2, 3, true, 16 + 598 * 2 / 3, "67%"},
        {"huge counters", 0xFFFFFFFFFFFFFFFFull / 2, 0xFFFFFFFFFFFFFFFFull, true, 16 + 299, "50%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgressFill progress = progressFill(kTrack, c.done, c.total, true, 0);
        EXPECT_EQ(progress.fill, c.fill);
        if (c.fill) {
            EXPECT_EQ(progress.fillRect, (Rect{16, 348, c.right, 362}));
        }
        EXPECT_TRUE(progress.percent);
        EXPECT_EQ(progress.percentText, c.percent);
    }
}

TEST(ProgressGeometry, UnknownTotalWhileBusySlidesAThirdOfTheTrack) {
    // w = 598, s = 199, period 797: the segment starts at left + (a mod 797) - 199, clipped to the track.
    const struct {
        const char* name;
        std::uint32_t offset;
        bool fill;
        int left, right;
    } cases[] = {
        {"starts hidden left of the track", 0, false, 0, 0},
        {"one pixel in is not drawn", 1, false, 0, 0},
        {"enters from the left", 60, true, 16, 76},
        {"fully inside", 300, true, 117, 316},
        {"leaves on the right", 700, true, 517, 614},
        {"wraps around", 797 + 60, true, 16, 76},
        {"offset at its largest", 0xFFFFFFFFu, true, 263, 462},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgressFill progress = progressFill(kTrack, 0, 0, true, c.offset);
        EXPECT_FALSE(progress.percent);
        EXPECT_EQ(progress.fill, c.fill);
        if (c.fill) {
            EXPECT_EQ(progress.fillRect, (Rect{c.left, 348, c.right, 362}));
        }
    }
}

TEST(ProgressGeometry, IdleWithoutTotalShowsNothing) {
    const ProgressFill progress = progressFill(kTrack, 5, 0, false, 300);
    EXPECT_FALSE(progress.fill);
    EXPECT_FALSE(progress.percent);
}

TEST(ProgressGeometry, StatusLineEndsBeforeTheSourceIndicator) {
    EXPECT_EQ(statusLineRight(614, true), 396);
    EXPECT_EQ(statusLineRight(614, false), 554);
    EXPECT_EQ(statusLineRight(514, true), 296);
}

} // namespace
