#include "launcher/ui/input_state.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

Point rowPoint(int slot) {
    return Point{200, 94 + 66 * slot + 30};
}

WindowState windowWith(bool serverPanel, bool settingsPanel, int rows = 5) {
    WindowState state;
    state.update.playEnabled = state.update.verifyEnabled = state.update.forceEnabled = true;
    state.settings.modes = {{800, 600}, {1024, 768}};
    for (int i = 0; i < rows; ++i) {
        state.servers.rows.emplace_back().id = "s" + std::to_string(i);
    }
    if (serverPanel) {
        openServerPanel(state);
    }
    state.settings.panelOpen = settingsPanel;
    return state;
}

// A press, a move and a release: a click only when the release hits what was pressed.
Command click(WindowState& state, Point at, Point releaseAt) {
    pointerPressed(state, at.x, at.y);
    pointerMoved(state, releaseAt.x, releaseAt.y);
    const ReleaseOutcome outcome = pointerReleased(state, releaseAt.x, releaseAt.y);
    EXPECT_EQ(state.pointer.pressedTarget, kTargetNone);
    return outcome.command;
}

TEST(InputState, AClickNeedsTheReleaseOnThePressedTarget) {
    const struct {
        const char* name;
        bool servers, settings;
        Point press, release;
        CommandKind want;
        int argument;
    } cases[] = {
        {"PLAY", false, false, centre(kPlayRect), centre(kPlayRect), CommandKind::Play, 0},
        {"off PLAY", false, false, centre(kPlayRect), Point{400, 200}, CommandKind::None, 0},
        {"from PLAY onto VERIFY", false, false, centre(kPlayRect), centre(kVerifyRect), CommandKind::None, 0},
        {"FORCE", false, false, centre(kForceRect), centre(kForceRect), CommandKind::Force, 0},
        {"gear", false, false, centre(kSettingsGearRect), centre(kSettingsGearRect), CommandKind::OpenSettings, 0},
        {"PLAY under settings", false, true, centre(kPlayRect), centre(kPlayRect), CommandKind::None, 0},
        {"APPLY", false, true, centre(kApplyRect), centre(kApplyRect), CommandKind::ApplySettings, 0},
        {"row", true, false, rowPoint(2), rowPoint(2), CommandKind::SelectServer, 2},
        {"from one row onto another", true, false, rowPoint(1), rowPoint(3), CommandKind::None, 0},
        {"region without a selection", true, false, centre(kRegionLeftRect), centre(kRegionLeftRect),
         CommandKind::None, 0},
        {"JUGAR without a selection", true, false, centre(kPanelPlayRect), centre(kPanelPlayRect), CommandKind::None,
         0},
        {"refresh", true, false, centre(kRefreshRect), centre(kRefreshRect), CommandKind::RefreshAccessCode, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowState state = windowWith(c.servers, c.settings);
        const Command command = click(state, c.press, c.release);
        EXPECT_EQ(command.kind, c.want);
        EXPECT_EQ(command.argument, c.argument);
    }
}

TEST(InputState, ServerPanelSelectsStepsTheRegionAndPlays) {
    WindowState state = windowWith(true, false);
    EXPECT_EQ(click(state, rowPoint(2), rowPoint(2)).kind, CommandKind::SelectServer);
    EXPECT_EQ(click(state, rowPoint(1), rowPoint(3)).kind, CommandKind::None);
    EXPECT_EQ(state.servers.selectedRow, 2);
    EXPECT_EQ(click(state, centre(kRegionLeftRect), centre(kRegionLeftRect)).argument, -1);
    EXPECT_EQ(click(state, centre(kRegionRightRect), centre(kRegionRightRect)).argument, 1);
    const Point row = rowPoint(1);
    pointerPressed(state, row.x, row.y);
    replaceServerRows(state.servers, state.servers.rows);
    EXPECT_EQ(pointerReleased(state, row.x, row.y).command.kind, CommandKind::None) << "rows refreshed meanwhile";
    EXPECT_EQ(click(state, centre(kPanelPlayRect), centre(kPanelPlayRect)).kind, CommandKind::Play);
    EXPECT_FALSE(state.servers.open);
}

TEST(InputState, WheelAndKeysMoveOnlyInTheOpenServerPanel) {
    WindowState state = windowWith(true, false, 10);
    EXPECT_TRUE(wheelTurned(state, -120));
    EXPECT_EQ(state.servers.scrollOffset, 32);
    EXPECT_EQ(keyPressed(state, Key::Up).command.argument, 0);
    for (int i = 0; i < 4; ++i) {
        keyPressed(state, Key::Down);
    }
    EXPECT_EQ(state.servers.selectedRow, 4);
    EXPECT_EQ(state.servers.scrollOffset, 66 * 4 + 62 - 218);
    EXPECT_EQ(keyPressed(state, Key::Enter).command.kind, CommandKind::None);
    state.servers.focus = FocusedField::AccessCode;
    EXPECT_EQ(keyPressed(state, Key::Enter).command.kind, CommandKind::EnterAccessCode);
    EXPECT_TRUE(keyPressed(state, Key::Escape).repaint);
    EXPECT_FALSE(state.servers.open);
    EXPECT_FALSE(wheelTurned(state, -120));
    EXPECT_EQ(keyPressed(state, Key::Down).command.kind, CommandKind::None);
}

} // namespace
} // namespace launcher
