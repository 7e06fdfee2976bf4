// What the window does with a point: the target under it, what a press and a release make of it, and the
// progress track's geometry.

#include "launcher/ui/hit_test.hpp"

#include "launcher/ui/input_state.hpp"
#include "launcher/ui/layout.hpp"
#include "launcher/ui/progress_geometry.hpp"

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
    } cases[] = {{"servers without row", centre(kRegionLeftRect), kTargetRegionLeft},
                 {"servers", centre(kPanelPlayRect), kTargetPanelPlay},
                 {"servers without play", centre(kPanelPlayRect), kTargetNone},
                 {"servers without row", centre(kPanelPlayRect), kTargetNone},
                 {"settings", centre(kApplyRect), kTargetSettingsApply},
                 {"settings", centre(kPlayRect), kTargetNone},
                 {"main without verify", centre(kVerifyRect), kTargetNone},
                 {"main", centre(kForceRect), kTargetForce},
                 {"main without verify", centre(kForceRect), kTargetNone},
                 {"main", {kPlayRect.left, kPlayRect.top}, kTargetPlay},
                 {"main", {kPlayRect.right - 1, kPlayRect.bottom - 1}, kTargetPlay},
                 {"main", {kPlayRect.right, kPlayRect.top}, kTargetNone}};
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
        const char* server; // the server a row click selects, by slug
        const char* search;
    } cases[] = {{false, false, centre(kPlayRect), centre(kPlayRect), CommandKind::Play, "", ""},
                 {false, false, centre(kPlayRect), centre(kVerifyRect), CommandKind::None, "", ""},
                 {false, true, centre(kPlayRect), centre(kPlayRect), CommandKind::None, "", ""},
                 {true, false, row(2), row(2), CommandKind::SelectServer, "s2", ""},
                 {true, false, row(0), row(0), CommandKind::SelectServer, "s3", "s3"},
                 {true, false, row(1), row(3), CommandKind::None, "", ""},
                 {true, false, centre(kPanelPlayRect), centre(kPanelPlayRect), CommandKind::None, "", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.press.x) + "," + std::to_string(c.press.y) + " " + c.search);
        WindowState state = windowWith(c.servers, c.settings);
        state.servers.search = c.search;
        rebuildVisibleRows(state.servers);
        const Command command = click(state, c.press, c.release);
        EXPECT_EQ(command.kind, c.want);
        EXPECT_EQ(command.server, c.server);
        EXPECT_EQ(state.pointer.pressedTarget, kTargetNone);
    }
    WindowState state = windowWith(true, false);
    pointerPressed(state, row(1).x, row(1).y);
    replaceServerRows(state.servers, state.servers.rows);
    EXPECT_EQ(pointerReleased(state, row(1).x, row(1).y).command.kind, CommandKind::None) << "rows refreshed meanwhile";
    state = windowWith(false, false);
    pointerPressed(state, centre(kForceRect).x, centre(kForceRect).y);
    setForceOffered(state, false);
    EXPECT_EQ(state.pointer.pressedTarget, kTargetNone) << "FORCE withdrawn while pressed: offered again, no click";
}

// Only a shown item with a link opens it, and only from the main view.
TEST(InputState, ANewsItemClickOpensItsLink) {
    const struct {
        int item;
        bool settings;
        const char* want; // the link opened; empty: nothing
    } cases[] = {{0, false, "https://example.com/a"}, {1, false, ""}, {2, false, ""}, {0, true, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        WindowState state = windowWith(false, c.settings);
        state.news.items[0] = NewsSlot{{"t"}, "https://example.com/a", true};
        state.news.items[1] = NewsSlot{{"t"}, "", true};
        state.news.items[2] = NewsSlot{{"t"}, "https://example.com/c", false};
        const Point at{400, 100 + 70 * c.item};
        const Command command = click(state, at, at);
        EXPECT_EQ(command.kind, *c.want ? CommandKind::OpenLink : CommandKind::None);
        EXPECT_EQ(command.link, c.want);
    }
}

TEST(ProgressGeometry, FillsTheFractionDoneOrSlidesAThirdWithoutATotal) {
    const struct {
        std::uint64_t done, total;
        bool busy;
        std::uint32_t offset;
        int left, right;     // 0, 0: no fill
        const char* percent; // "": none shown
    } cases[] = {{50, 200, true, 0, 16, 16 + 598 / 4, "25%"},
                 {250, 200, true, 0, 16, 614, "100%"},
                 {1, 598, true, 0, 0, 0, "0%"},
                 {2, 3, true, 0, 16, 16 + 598 * 2 / 3, "67%"},
                 {~0ull / 2, ~0ull, true, 0, 16, 315, "50%"},
                 {5, 0, false, 300, 0, 0, ""},
                 {0, 0, true, 1, 0, 0, ""},
                 {0, 0, true, 60, 16, 76, ""},
                 {0, 0, true, 300, 117, 316, ""},
                 {0, 0, true, 797 + 700, 517, 614, ""}};
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
