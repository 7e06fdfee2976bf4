#include "launcher/ui/hit_test.hpp"

#include "launcher/ui/layout.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Every button on and a row selected, under the panel that `view` names ("main", "settings", "servers"),
// less the condition that `view` names after a blank.
HitContext contextOf(const std::string& view) {
    HitContext context;
    context.playEnabled = view.find(" play") == std::string::npos;
    context.verifyEnabled = view.find(" verify") == std::string::npos;
    context.forceEnabled = view.find(" force") == std::string::npos;
    context.rowSelected = view.find(" row") == std::string::npos;
    context.newsVisible[0] = context.newsVisible[2] = true;
    context.settingsOpen = view.rfind("settings", 0) == 0;
    context.serverPanelOpen = view.rfind("servers", 0) == 0;
    context.visibleRowCount = 5;
    return context;
}

TEST(HitTest, EachTargetWithItsConditionUnderTheOpenPanel) {
    const struct {
        const char* view;
        Point at;
        int want;
    } cases[] = {
        {"servers", centre(kServerPanelCloseRect), kTargetServerPanelClose},
        {"servers", centre(kAccessCodeBoxRect), kTargetAccessCodeBox},
        {"servers without row", centre(kRegionLeftRect), kTargetRegionLeft},
        {"servers", centre(kPanelPlayRect), kTargetPanelPlay},
        {"servers without play", centre(kPanelPlayRect), kTargetNone},
        {"servers without row", centre(kPanelPlayRect), kTargetNone},
        {"servers", centre(kRegionValueRect), kTargetNone},
        {"servers", centre(kPlayRect), kTargetNone},
        {"settings", centre(kApplyRect), kTargetSettingsApply},
        {"settings", centre(kResolutionRightRect), kTargetResolutionRight},
        {"settings", centre(kPlayRect), kTargetNone},
        {"settings", centre(kMinimiseRect), kTargetNone},
        {"main", centre(kServerSelectorRect), kTargetServerSelector},
        {"main without verify", centre(kVerifyRect), kTargetNone},
        {"main", centre(kForceRect), kTargetForce},
        {"main without verify", centre(kForceRect), kTargetNone},
        {"main without force", centre(kForceRect), kTargetNone},
        {"main without play", centre(kPlayRect), kTargetNone},
        {"main", centre(newsItemRect(2)), kTargetNewsItem0 + 2},
        {"main", centre(newsItemRect(1)), kTargetNone},
        {"main", {kPlayRect.left, kPlayRect.top}, kTargetPlay},
        {"main", {kPlayRect.right - 1, kPlayRect.bottom - 1}, kTargetPlay},
        {"main", {kPlayRect.right, kPlayRect.top}, kTargetNone},
        {"main", {kCloseRect.left - 1, kCloseRect.top}, kTargetNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.view) + " " + std::to_string(c.at.x) + "," + std::to_string(c.at.y));
        EXPECT_EQ(hitTest(contextOf(c.view), c.at.x, c.at.y).target, c.want);
    }
}

TEST(HitTest, RowSlotsFollowTheScrollAndSkipGapsAndTheScrollBar) {
    const struct {
        int scroll, rows, x, y, want;
    } cases[] = {{0, 5, 44, 94, 0},    {0, 5, 400, 155, 0},  {0, 5, 400, 156, -1}, {0, 5, 400, 159, -1},
                 {0, 5, 400, 160, 1},  {0, 5, 822, 100, -1}, {0, 5, 43, 100, -1},  {0, 5, 400, 312, -1},
                 {0, 2, 400, 230, -1}, {66, 5, 400, 100, 1}, {60, 5, 400, 96, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.scroll) + ": " + std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(rowSlotAt(c.scroll, c.rows, c.x, c.y), c.want);
    }
    HitContext context = contextOf("servers");
    context.scrollOffset = 66;
    EXPECT_EQ(hitTest(context, 400, 100).target, kTargetServerRow);
    EXPECT_EQ(hitTest(context, 400, 100).slot, 1);
}

} // namespace
} // namespace launcher
