#include "launcher/ui/progress_geometry.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(ProgressGeometry, FillsTheFractionDoneOrSlidesAThirdWithoutATotal) {
    const Rect track = progressBarRect(false); // 16 .. 614: 598 wide
    const struct {
        const char* name;
        std::uint64_t done, total;
        bool busy;
        std::uint32_t offset;
        int left, right; // 0, 0: no fill
        const char* percent; // null: none shown
    } cases[] = {
        {"a quarter", 50, 200, true, 0, 16, 16 + 598 / 4, "25%"},
        {"more done than total is full", 250, 200, true, 0, 16, 614, "100%"},
        {"one pixel is not drawn", 1, 598, true, 0, 0, 0, "0%"},
        {"rounded percentage", 2, 3, true, 0, 16, 16 + 598 * 2 / 3, "67%"},
        {"huge counters", ~0ull / 2, ~0ull, true, 0, 16, 16 + 299, "50%"},
        {"idle without a total", 5, 0, false, 300, 0, 0, nullptr},
        {"segment hidden left", 0, 0, true, 1, 0, 0, nullptr},
        {"segment entering", 0, 0, true, 60, 16, 76, nullptr},
        {"segment inside", 0, 0, true, 300, 117, 316, nullptr},
        {"segment leaving", 0, 0, true, 700, 517, 614, nullptr},
        {"segment wrapped", 0, 0, true, 797 + 60, 16, 76, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgressFill progress = progressFill(track, c.done, c.total, c.busy, c.offset);
        EXPECT_EQ(progress.fill, c.right != 0);
        if (progress.fill) {
            EXPECT_EQ(progress.fillRect, (Rect{c.left, 348, c.right, 362}));
        }
        EXPECT_EQ(progress.percent, c.percent != nullptr);
        EXPECT_EQ(progress.percentText, c.percent != nullptr ? c.percent : progress.percentText);
    }
    EXPECT_EQ(statusLineRight(614, true), 396);
    EXPECT_EQ(statusLineRight(614, false), 554);
}

} // namespace
} // namespace launcher
