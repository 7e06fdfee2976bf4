#include "launcher/ui/input_state.hpp"

#include "launcher/ui/text_editing.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

Point rowPoint(int slot) {
    return Point{200, 94 + 66 * slot + 30};
}

WindowState mainState() {
    WindowState state;
    state.update.playEnabled = true;
    state.update.verifyEnabled = true;
    state.update.forceEnabled = true;
    state.settings.modes = {{800, 600}, {1024, 768}};
    return state;
}

WindowState serverState(int rows = 5) {
    WindowState state = mainState();
    for (int i = 0; i < rows; ++i) {
        ServerRow r;
        r.id = "s" + std::to_string(i);
        r.name = i % 2 == 0 ? "Arena" : "Valle";
        state.servers.rows.push_back(r);
    }
    openServerPanel(state);
    return state;
}

// A press and a release, with a move in between when `via` differs from the start.
ReleaseOutcome click(WindowState& state, Point at, Point releaseAt) {
    pointerPressed(state, at.x, at.y);
    pointerMoved(state, releaseAt.x, releaseAt.y);
    return pointerReleased(state, releaseAt.x, releaseAt.y);
}

ReleaseOutcome click(WindowState& state, Point at) {
    return click(state, at, at);
}

TEST(InputState, AClickNeedsTheReleaseOnThePressedTarget) {
    const struct {
        const char* name;
        Point press, release;
        CommandKind want;
    } cases[] = {
        {"on PLAY", centre(kPlayRect), centre(kPlayRect), CommandKind::Play},
        {"off PLAY", centre(kPlayRect), Point{400, 200}, CommandKind::None},
        {"from PLAY onto VERIFY", centre(kPlayRect), centre(kVerifyRect), CommandKind::None},
        {"VERIFY", centre(kVerifyRect), centre(kVerifyRect), CommandKind::Verify},
        {"FORCE", centre(kForceRect), centre(kForceRect), CommandKind::Force},
        {"close", centre(kCloseRect), centre(kCloseRect), CommandKind::Close},
        {"minimise", centre(kMinimiseRect), centre(kMinimiseRect), CommandKind::Minimise},
        {"gear", centre(kSettingsGearRect), centre(kSettingsGearRect), CommandKind::OpenSettings},
        {"header icon does nothing", centre(kHeaderIconRect), centre(kHeaderIconRect), CommandKind::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowState state = mainState();
        const ReleaseOutcome outcome = click(state, c.press, c.release);
        EXPECT_TRUE(outcome.releaseCapture);
        EXPECT_EQ(outcome.command.kind, c.want);
        EXPECT_EQ(state.pointer.pressedTarget, kTargetNone);
    }
}

TEST(InputState, MovingBackOntoThePressedTargetBeforeReleaseClicks) {
    WindowState state = mainState();
    const Point play = centre(kPlayRect);
    pointerPressed(state, play.x, play.y);
    pointerMoved(state, 100, 200);
    pointerMoved(state, play.x, play.y);
    EXPECT_EQ(pointerReleased(state, play.x, play.y).command.kind, CommandKind::Play);
}

TEST(InputState, ReleaseWithoutPressDoesNothing) {
    WindowState state = mainState();
    const ReleaseOutcome outcome = pointerReleased(state, centre(kPlayRect).x, centre(kPlayRect).y);
    EXPECT_FALSE(outcome.releaseCapture);
    EXPECT_FALSE(outcome.repaint);
    EXPECT_EQ(outcome.command.kind, CommandKind::None);
}

TEST(InputState, PressOutsideTargets) {
    const struct {
        const char* name;
        bool settings, servers;
        Point at;
        bool capture, drag, repaint;
    } cases[] = {
        {"title bar starts a drag", false, false, Point{100, 20}, false, true, false},
        {"title bar under settings does not", true, false, Point{100, 20}, false, false, false},
        {"title bar under the server panel does not", false, true, Point{10, 5}, false, false, true},
        {"news panel does nothing", false, false, Point{400, 300}, false, false, false},
        {"a target captures", false, false, centre(kPlayRect), true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowState state = c.servers ? serverState() : mainState();
        state.settings.panelOpen = c.settings;
        state.servers.focus = c.servers ? FocusedField::Search : FocusedField::None;
        const PressOutcome outcome = pointerPressed(state, c.at.x, c.at.y);
        EXPECT_EQ(outcome.capture, c.capture);
        EXPECT_EQ(outcome.startDrag, c.drag);
        EXPECT_EQ(outcome.repaint, c.repaint);
        EXPECT_EQ(state.servers.focus, FocusedField::None);
    }
}

TEST(InputState, MainViewButtonsDoNotReactUnderTheSettingsPanel) {
    WindowState state = mainState();
    EXPECT_EQ(click(state, centre(kSettingsGearRect)).command.kind, CommandKind::OpenSettings);
    state.settings.panelOpen = true;
    for (const Rect& rect : {kPlayRect, kVerifyRect, kCloseRect, kMinimiseRect, kServerSelectorRect}) {
        EXPECT_EQ(click(state, centre(rect)).command.kind, CommandKind::None);
    }
    EXPECT_TRUE(state.settings.panelOpen);
    EXPECT_FALSE(state.servers.open);
}

TEST(InputState, SettingsTargetsChangeTheWorkingCopy) {
    WindowState state = mainState();
    state.settings.panelOpen = true;
    state.settings.resolution = 0;
    click(state, centre(kEngineRightRect));
    click(state, centre(kLanguageLeftRect));
    click(state, centre(kFpsLeftRect));
    click(state, centre(kResolutionRightRect));
    click(state, centre(kWindowedCheckRect));
    EXPECT_EQ(state.settings.engine, 1);
    EXPECT_EQ(state.settings.language, 2);
    EXPECT_EQ(state.settings.fpsMode, 3);
    EXPECT_EQ(state.settings.resolution, 1);
    EXPECT_TRUE(state.settings.windowed);
    EXPECT_EQ(click(state, centre(kApplyRect)).command.kind, CommandKind::ApplySettings);
    EXPECT_EQ(click(state, centre(kResetRect)).command.kind, CommandKind::ResetSettings);
    EXPECT_TRUE(state.settings.panelOpen);
    EXPECT_EQ(click(state, centre(kCancelRect)).command.kind, CommandKind::None);
    EXPECT_FALSE(state.settings.panelOpen);
    state.settings.panelOpen = true;
    click(state, centre(kSettingsCloseRect));
    EXPECT_FALSE(state.settings.panelOpen);
}

TEST(InputState, ServerSelectorOpensThePanel) {
    WindowState state = mainState();
    state.servers.scrollOffset = 500;
    click(state, centre(kServerSelectorRect));
    EXPECT_TRUE(state.servers.open);
    EXPECT_EQ(state.servers.scrollOffset, 0);
    EXPECT_EQ(state.pointer.hotTarget, kTargetNone);
}

TEST(InputState, ServerPanelClicks) {
    WindowState state = serverState();
    ReleaseOutcome outcome = click(state, rowPoint(2));
    EXPECT_EQ(outcome.command.kind, CommandKind::SelectServer);
    EXPECT_EQ(outcome.command.argument, 2);
    EXPECT_EQ(state.servers.selectedRow, 2);

    outcome = click(state, rowPoint(1), rowPoint(3));
    EXPECT_EQ(outcome.command.kind, CommandKind::None);
    EXPECT_EQ(state.servers.selectedRow, 2);

    outcome = click(state, centre(kRegionLeftRect));
    EXPECT_EQ(outcome.command.kind, CommandKind::CycleRegion);
    EXPECT_EQ(outcome.command.argument, -1);
    EXPECT_EQ(click(state, centre(kRegionRightRect)).command.argument, 1);

    click(state, centre(kAccessCodeBoxRect));
    EXPECT_EQ(state.servers.focus, FocusedField::AccessCode);
    EXPECT_EQ(click(state, centre(kRefreshRect)).command.kind, CommandKind::RefreshAccessCode);
    EXPECT_EQ(state.servers.focus, FocusedField::None);

    click(state, centre(kSearchBoxRect));
    EXPECT_EQ(state.servers.focus, FocusedField::Search);

    EXPECT_EQ(click(state, centre(kPanelPlayRect)).command.kind, CommandKind::Play);
    EXPECT_FALSE(state.servers.open);
}

TEST(InputState, RegionAndJugarNeedASelectedRow) {
    WindowState state = serverState();
    EXPECT_EQ(click(state, centre(kRegionRightRect)).command.kind, CommandKind::None);
    EXPECT_EQ(click(state, centre(kPanelPlayRect)).command.kind, CommandKind::None);
    EXPECT_TRUE(state.servers.open);
    EXPECT_EQ(click(state, centre(kServerPanelCloseRect)).command.kind, CommandKind::None);
    EXPECT_FALSE(state.servers.open);
}

TEST(InputState, RowsRefreshedWhilePressedDoNotClick) {
    WindowState state = serverState();
    const Point at = rowPoint(1);
    pointerPressed(state, at.x, at.y);
    replaceServerRows(state.servers, state.servers.rows);
    EXPECT_EQ(pointerReleased(state, at.x, at.y).command.kind, CommandKind::None);
}

TEST(InputState, HoverRepaintsOnlyOnChange) {
    WindowState state = serverState();
    EXPECT_TRUE(pointerMoved(state, rowPoint(0).x, rowPoint(0).y));
    EXPECT_EQ(state.pointer.hotTarget, kTargetServerRow);
    EXPECT_EQ(state.servers.hotRow, 0);
    EXPECT_FALSE(pointerMoved(state, rowPoint(0).x + 5, rowPoint(0).y));
    EXPECT_TRUE(pointerMoved(state, rowPoint(1).x, rowPoint(1).y));
    EXPECT_EQ(state.servers.hotRow, 1);
    EXPECT_TRUE(pointerMoved(state, centre(kRefreshRect).x, centre(kRefreshRect).y));
    EXPECT_EQ(state.servers.hotRow, -1);
    state.pointer.tracking = true;
    EXPECT_TRUE(pointerLeft(state));
    EXPECT_FALSE(state.pointer.tracking);
    EXPECT_FALSE(pointerLeft(state));
}

TEST(InputState, WheelScrollsOnlyTheOpenServerPanel) {
    WindowState state = serverState(10);
    EXPECT_TRUE(wheelTurned(state, -120));
    EXPECT_EQ(state.servers.scrollOffset, 32);
    EXPECT_FALSE(wheelTurned(state, 0));
    closeServerPanel(state);
    EXPECT_FALSE(wheelTurned(state, -120));
    EXPECT_EQ(state.servers.scrollOffset, 32);

    WindowState few = serverState(3);
    EXPECT_FALSE(wheelTurned(few, -120));
    EXPECT_EQ(few.servers.scrollOffset, 0);
}

TEST(InputState, Keyboard) {
    WindowState state = serverState(10);
    KeyOutcome outcome = keyPressed(state, Key::Up);
    EXPECT_EQ(outcome.command.kind, CommandKind::SelectServer);
    EXPECT_EQ(outcome.command.argument, 0);
    for (int i = 0; i < 4; ++i) {
        outcome = keyPressed(state, Key::Down);
    }
    EXPECT_EQ(outcome.command.argument, 4);
    EXPECT_EQ(state.servers.selectedRow, 4);
    EXPECT_EQ(state.servers.scrollOffset, 66 * 4 + 62 - 218);

    EXPECT_EQ(keyPressed(state, Key::Enter).command.kind, CommandKind::None);
    state.servers.focus = FocusedField::AccessCode;
    EXPECT_EQ(keyPressed(state, Key::Enter).command.kind, CommandKind::EnterAccessCode);
    EXPECT_EQ(keyPressed(state, Key::Other).command.kind, CommandKind::None);

    EXPECT_TRUE(keyPressed(state, Key::Escape).repaint);
    EXPECT_FALSE(state.servers.open);
    EXPECT_EQ(keyPressed(state, Key::Down).command.kind, CommandKind::None);
}

TEST(InputState, TypingGoesToTheFocusedField) {
    WindowState state = serverState(5);
    EXPECT_FALSE(characterTyped(state, 'v'));
    state.servers.focus = FocusedField::Search;
    for (const char c : std::string("VALLE")) {
        EXPECT_TRUE(characterTyped(state, static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(state.servers.search, "VALLE");
    EXPECT_EQ(state.servers.visible, (std::vector<int>{1, 3}));
    EXPECT_TRUE(characterTyped(state, kBackspace));
    EXPECT_EQ(state.servers.search, "VALL");

    state.servers.focus = FocusedField::AccessCode;
    EXPECT_TRUE(characterTyped(state, 'x'));
    EXPECT_FALSE(characterTyped(state, ' '));
    EXPECT_EQ(state.servers.accessCode, "x");
    EXPECT_EQ(state.servers.search, "VALL");

    closeServerPanel(state);
    state.servers.focus = FocusedField::AccessCode;
    EXPECT_FALSE(characterTyped(state, 'y'));
}

} // namespace
