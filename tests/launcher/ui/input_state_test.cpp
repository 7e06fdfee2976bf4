#include "launcher/ui/input_state.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

Point row(int slot) {
    return Point{200, 94 + 66 * slot + 30};
}

WindowState windowWith(bool serverPanel, bool settingsPanel, int rows = 5) {
    WindowState state;
    state.update.playEnabled = state.update.verifyEnabled = state.update.forceEnabled = true;
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
    return pointerReleased(state, releaseAt.x, releaseAt.y).command;
}

TEST(InputState, AClickNeedsTheReleaseOnThePressedTarget) {
    const struct {
        bool servers, settings;
        Point press, release;
        CommandKind want;
        int argument;
    } cases[] = {
        {false, false, centre(kPlayRect), centre(kPlayRect), CommandKind::Play, 0},
        {false, false, centre(kPlayRect), centre(kVerifyRect), CommandKind::None, 0},
        {false, true, centre(kPlayRect), centre(kPlayRect), CommandKind::None, 0},
        {false, true, centre(kApplyRect), centre(kApplyRect), CommandKind::ApplySettings, 0},
        {true, false, row(2), row(2), CommandKind::SelectServer, 2},
        {true, false, row(1), row(3), CommandKind::None, 0},
        {true, false, centre(kPanelPlayRect), centre(kPanelPlayRect), CommandKind::None, 0},
        {true, false, centre(kRefreshRect), centre(kRefreshRect), CommandKind::RefreshAccessCode, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.press.x) + "," + std::to_string(c.press.y));
        WindowState state = windowWith(c.servers, c.settings);
        const Command command = click(state, c.press, c.release);
        EXPECT_EQ(command.kind, c.want);
        EXPECT_EQ(command.argument, c.argument);
        EXPECT_EQ(state.pointer.pressedTarget, kTargetNone);
    }
}

TEST(InputState, ServerPanelSelectsStepsTheRegionScrollsAndPlays) {
    WindowState state = windowWith(true, false, 10);
    EXPECT_EQ(click(state, row(2), row(2)).kind, CommandKind::SelectServer);
    EXPECT_EQ(click(state, centre(kRegionLeftRect), centre(kRegionLeftRect)).argument, -1);
    pointerPressed(state, row(1).x, row(1).y);
    replaceServerRows(state.servers, state.servers.rows);
    EXPECT_EQ(pointerReleased(state, row(1).x, row(1).y).command.kind, CommandKind::None) << "rows refreshed meanwhile";
    EXPECT_TRUE(wheelTurned(state, -120));
    EXPECT_EQ(state.servers.scrollOffset, 32);
    for (int i = 0; i < 3; ++i) {
        keyPressed(state, Key::Down);
    }
    EXPECT_EQ(state.servers.selectedRow, 5);
    EXPECT_EQ(state.servers.scrollOffset, 66 * 5 + 62 - 218);
    state.servers.focus = FocusedField::AccessCode;
    EXPECT_EQ(keyPressed(state, Key::Enter).command.kind, CommandKind::EnterAccessCode);
    EXPECT_EQ(click(state, centre(kPanelPlayRect), centre(kPanelPlayRect)).kind, CommandKind::Play);
    EXPECT_FALSE(state.servers.open);
    EXPECT_FALSE(wheelTurned(state, -120));
    EXPECT_EQ(keyPressed(state, Key::Down).command.kind, CommandKind::None);
}

} // namespace
} // namespace launcher
