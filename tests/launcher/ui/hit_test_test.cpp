#include "launcher/ui/hit_test.hpp"

#include "launcher/ui/layout.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

HitContext mainView() {
    HitContext context;
    context.playEnabled = true;
    context.verifyEnabled = true;
    context.forceEnabled = true;
    context.newsVisible[0] = context.newsVisible[1] = context.newsVisible[2] = true;
    return context;
}

HitContext settingsView() {
    HitContext context = mainView();
    context.settingsOpen = true;
    return context;
}

HitContext serverView() {
    HitContext context = mainView();
    context.serverPanelOpen = true;
    context.rowSelected = true;
    context.visibleRowCount = 5;
    return context;
}

template <typename Change> HitContext with(HitContext context, Change change) {
    change(context);
    return context;
}

TEST(HitTest, EveryTargetOfTheTableWithItsCondition) {
    const struct {
        const char* name;
        HitContext context;
        Rect area;
        int want;
    } cases[] = {
        // Server panel.
        {"panel close", serverView(), kServerPanelCloseRect, kTargetServerPanelClose},
        {"search box", serverView(), kSearchBoxRect, kTargetSearchBox},
        {"access code box", serverView(), kAccessCodeBoxRect, kTargetAccessCodeBox},
        {"refresh", serverView(), kRefreshRect, kTargetRefresh},
        {"region left", serverView(), kRegionLeftRect, kTargetRegionLeft},
        {"region right", serverView(), kRegionRightRect, kTargetRegionRight},
        {"region arrows without a selection", with(serverView(), [](HitContext& c) { c.rowSelected = false; }),
         kRegionRightRect, kTargetRegionRight},
        {"JUGAR", serverView(), kPanelPlayRect, kTargetPanelPlay},
        {"JUGAR without play", with(serverView(), [](HitContext& c) { c.playEnabled = false; }), kPanelPlayRect,
         kTargetNone},
        {"JUGAR without a selected row", with(serverView(), [](HitContext& c) { c.rowSelected = false; }),
         kPanelPlayRect, kTargetNone},
        {"first row", serverView(), Rect{44, 94, 822, 156}, kTargetServerRow},
        {"region value box", serverView(), kRegionValueRect, kTargetNone},
        {"status text", serverView(), kServerStatusRect, kTargetNone},
        {"main PLAY under the server panel", serverView(), Rect{840, 360, 850, 366}, kTargetNone},
        {"settings APPLY under the server panel", with(serverView(), [](HitContext& c) { c.settingsOpen = true; }),
         Rect{600, 312, 690, 315}, kTargetNone},
        // Settings panel.
        {"settings close", settingsView(), kSettingsCloseRect, kTargetSettingsClose},
        {"CANCEL", settingsView(), kCancelRect, kTargetSettingsCancel},
        {"APPLY", settingsView(), kApplyRect, kTargetSettingsApply},
        {"RESET", settingsView(), kResetRect, kTargetSettingsReset},
        {"engine left", settingsView(), kEngineLeftRect, kTargetEngineLeft},
        {"engine right", settingsView(), kEngineRightRect, kTargetEngineRight},
        {"resolution left", settingsView(), kResolutionLeftRect, kTargetResolutionLeft},
        {"resolution right", settingsView(), kResolutionRightRect, kTargetResolutionRight},
        {"windowed", settingsView(), kWindowedCheckRect, kTargetWindowed},
        {"language left", settingsView(), kLanguageLeftRect, kTargetLanguageLeft},
        {"language right", settingsView(), kLanguageRightRect, kTargetLanguageRight},
        {"fps left", settingsView(), kFpsLeftRect, kTargetFpsLeft},
        {"fps right", settingsView(), kFpsRightRect, kTargetFpsRight},
        {"main PLAY under settings", settingsView(), kPlayRect, kTargetNone},
        {"minimise under settings", settingsView(), kMinimiseRect, kTargetNone},
        {"news item under settings", settingsView(), Rect{30, 90, 150, 100}, kTargetNone},
        // Main view.
        {"minimise", mainView(), kMinimiseRect, kTargetMinimise},
        {"close", mainView(), kCloseRect, kTargetClose},
        {"header icon", mainView(), kHeaderIconRect, kTargetHeaderIcon},
        {"server selector", mainView(), kServerSelectorRect, kTargetServerSelector},
        {"VERIFY", mainView(), kVerifyRect, kTargetVerify},
        {"VERIFY disabled", with(mainView(), [](HitContext& c) { c.verifyEnabled = false; }), kVerifyRect, kTargetNone},
        {"FORCE", mainView(), kForceRect, kTargetForce},
        {"FORCE while VERIFY is disabled", with(mainView(), [](HitContext& c) { c.verifyEnabled = false; }), kForceRect,
         kTargetNone},
        {"FORCE not offered", with(mainView(), [](HitContext& c) { c.forceEnabled = false; }), kForceRect, kTargetNone},
        {"gear", mainView(), kSettingsGearRect, kTargetSettingsGear},
        {"PLAY", mainView(), kPlayRect, kTargetPlay},
        {"PLAY disabled", with(mainView(), [](HitContext& c) { c.playEnabled = false; }), kPlayRect, kTargetNone},
        {"news item 0", mainView(), newsItemRect(0), kTargetNewsItem0},
        {"news item 1", mainView(), newsItemRect(1), kTargetNewsItem0 + 1},
        {"news item 2", mainView(), newsItemRect(2), kTargetNewsItem0 + 2},
        {"hidden news item", with(mainView(), [](HitContext& c) { c.newsVisible[1] = false; }), newsItemRect(1),
         kTargetNone},
        {"title bar", mainView(), Rect{100, 10, 110, 20}, kTargetNone},
        {"progress bar", mainView(), progressBarRect(true), kTargetNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Point point = centre(c.area);
        EXPECT_EQ(hitTest(c.context, point.x, point.y).target, c.want);
    }
}

TEST(HitTest, EdgesOfATargetFollowTheHalfOpenRule) {
    const HitContext context = mainView();
    EXPECT_EQ(hitTest(context, kPlayRect.left, kPlayRect.top).target, kTargetPlay);
    EXPECT_EQ(hitTest(context, kPlayRect.right - 1, kPlayRect.bottom - 1).target, kTargetPlay);
    EXPECT_EQ(hitTest(context, kPlayRect.right, kPlayRect.top).target, kTargetNone);
    EXPECT_EQ(hitTest(context, kCloseRect.left - 1, kCloseRect.top).target, kTargetNone);
}

TEST(HitTest, RowSlotsFollowTheScrollAndSkipGapsAndTheScrollBar) {
    const struct {
        const char* name;
        int scroll, rows, x, y, want;
    } cases[] = {
        {"first row top", 0, 5, 44, 94, 0},
        {"first row last line", 0, 5, 400, 155, 0},
        {"gap after the first row", 0, 5, 400, 156, -1},
        {"gap end", 0, 5, 400, 159, -1},
        {"second row", 0, 5, 400, 160, 1},
        {"scroll bar strip", 0, 5, 822, 100, -1},
        {"left of the viewport", 0, 5, 43, 100, -1},
        {"below the viewport", 0, 5, 400, 312, -1},
        {"beyond the last row", 0, 2, 400, 230, -1},
        {"scrolled by one row", 66, 5, 400, 100, 1},
        {"scrolled into a gap", 60, 5, 400, 96, -1},
        {"no rows", 0, 0, 400, 100, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rowSlotAt(c.scroll, c.rows, c.x, c.y), c.want);
    }
    HitContext context = serverView();
    context.scrollOffset = 66;
    const Hit hit = hitTest(context, 400, 100);
    EXPECT_EQ(hit.target, kTargetServerRow);
    EXPECT_EQ(hit.slot, 1);
}

} // namespace
