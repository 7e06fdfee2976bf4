#include "launcher/ui/hit_test.hpp"

#include "launcher/ui/layout.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

enum View { Main, Settings, Servers };

// The main view with every button on, under the open panel of `view`, less what `off` names.
HitContext contextOf(View view, const char* off = "") {
    HitContext context;
    const std::string without = off;
    context.playEnabled = without != "play";
    context.verifyEnabled = without != "verify";
    context.forceEnabled = without != "force";
    context.rowSelected = without != "row";
    context.newsVisible[0] = context.newsVisible[2] = true;
    context.settingsOpen = view == Settings;
    context.serverPanelOpen = view == Servers;
    context.visibleRowCount = 5;
    return context;
}

TEST(HitTest, EachTargetWithItsConditionUnderTheOpenPanel) {
    const struct {
        View view;
        const char* off;
        Point at;
        int want;
    } cases[] = {
        {Servers, "", centre(kServerPanelCloseRect), kTargetServerPanelClose},
        {Servers, "", centre(kSearchBoxRect), kTargetSearchBox},
        {Servers, "", centre(kAccessCodeBoxRect), kTargetAccessCodeBox},
        {Servers, "", centre(kRefreshRect), kTargetRefresh},
        {Servers, "row", centre(kRegionLeftRect), kTargetRegionLeft},
        {Servers, "", centre(kRegionRightRect), kTargetRegionRight},
        {Servers, "", centre(kPanelPlayRect), kTargetPanelPlay},
        {Servers, "play", centre(kPanelPlayRect), kTargetNone},
        {Servers, "row", centre(kPanelPlayRect), kTargetNone},
        {Servers, "", centre(kRegionValueRect), kTargetNone},
        {Servers, "", centre(kPlayRect), kTargetNone},
        {Settings, "", centre(kSettingsCloseRect), kTargetSettingsClose},
        {Settings, "", centre(kCancelRect), kTargetSettingsCancel},
        {Settings, "", centre(kApplyRect), kTargetSettingsApply},
        {Settings, "", centre(kResetRect), kTargetSettingsReset},
        {Settings, "", centre(kEngineLeftRect), kTargetEngineLeft},
        {Settings, "", centre(kResolutionRightRect), kTargetResolutionRight},
        {Settings, "", centre(kWindowedCheckRect), kTargetWindowed},
        {Settings, "", centre(kFpsRightRect), kTargetFpsRight},
        {Settings, "", centre(kPlayRect), kTargetNone},
        {Settings, "", centre(kMinimiseRect), kTargetNone},
        {Main, "", centre(kCloseRect), kTargetClose},
        {Main, "", centre(kServerSelectorRect), kTargetServerSelector},
        {Main, "", centre(kVerifyRect), kTargetVerify},
        {Main, "verify", centre(kVerifyRect), kTargetNone},
        {Main, "", centre(kForceRect), kTargetForce},
        {Main, "verify", centre(kForceRect), kTargetNone},
        {Main, "force", centre(kForceRect), kTargetNone},
        {Main, "", centre(kSettingsGearRect), kTargetSettingsGear},
        {Main, "play", centre(kPlayRect), kTargetNone},
        {Main, "", centre(newsItemRect(2)), kTargetNewsItem0 + 2},
        {Main, "", centre(newsItemRect(1)), kTargetNone},
        {Main, "", {kPlayRect.left, kPlayRect.top}, kTargetPlay},
        {Main, "", {kPlayRect.right - 1, kPlayRect.bottom - 1}, kTargetPlay},
        {Main, "", {kPlayRect.right, kPlayRect.top}, kTargetNone},
        {Main, "", {kCloseRect.left - 1, kCloseRect.top}, kTargetNone},
        {Main, "", {100, 10}, kTargetNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y) + " " + c.off);
        EXPECT_EQ(hitTest(contextOf(c.view, c.off), c.at.x, c.at.y).target, c.want);
    }
}

TEST(HitTest, RowSlotsFollowTheScrollAndSkipGapsAndTheScrollBar) {
    const struct {
        int scroll, rows, x, y, want;
    } cases[] = {
        {0, 5, 44, 94, 0},   {0, 5, 400, 155, 0},  {0, 5, 400, 156, -1}, {0, 5, 400, 159, -1},
        {0, 5, 400, 160, 1}, {0, 5, 822, 100, -1}, {0, 5, 43, 100, -1},  {0, 5, 400, 312, -1},
        {0, 2, 400, 230, -1}, {66, 5, 400, 100, 1}, {60, 5, 400, 96, -1}, {0, 0, 400, 100, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.scroll) + ": " + std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(rowSlotAt(c.scroll, c.rows, c.x, c.y), c.want);
    }
    HitContext context = contextOf(Servers);
    context.scrollOffset = 66;
    const Hit hit = hitTest(context, 400, 100);
    EXPECT_EQ(hit.target, kTargetServerRow);
    EXPECT_EQ(hit.slot, 1);
}

} // namespace
} // namespace launcher
