#include "launcher/ui/progress_geometry.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(ProgressGeometry, FillsTheFractionDoneOrSlidesAThirdWithoutATotal) {
    const struct {
        std::uint64_t done, total;
        bool busy;
        std::uint32_t offset;
        int left, right;     // 0, 0: no fill
        const char* percent; // "": none shown
    } cases[] = {
        {50, 200, true, 0, 16, 16 + 598 / 4, "25%"}, {250, 200, true, 0, 16, 614, "100%"},
        {1, 598, true, 0, 0, 0, "0%"},              {2, 3, true, 0, 16, 16 + 598 * 2 / 3, "67%"},
        {~0ull / 2, ~0ull, true, 0, 16, 315, "50%"}, {5, 0, false, 300, 0, 0, ""},
        {0, 0, true, 1, 0, 0, ""},                  {0, 0, true, 60, 16, 76, ""},
        {0, 0, true, 300, 117, 316, ""},            {0, 0, true, 797 + 700, 517, 614, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.done) + "/" + std::to_string(c.total) + " at " + std::to_string(c.offset));
        const ProgressFill progress = progressFill(progressBarRect(false), c.done, c.total, c.busy, c.offset);
        EXPECT_EQ(progress.fill, c.right != 0);
        const Rect want = c.right != 0 ? Rect{c.left, 348, c.right, 362} : Rect{};
        EXPECT_EQ(progress.fill ? progress.fillRect : Rect{}, want);
        EXPECT_EQ(progress.percent ? progress.percentText : "", c.percent);
    }
    EXPECT_EQ(statusLineRight(614, true), 396);
    EXPECT_EQ(statusLineRight(614, false), 554);
}

} // namespace
} // namespace launcher
