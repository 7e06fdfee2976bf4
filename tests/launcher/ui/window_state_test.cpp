#include "launcher/ui/window_state.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

ServerRow row(const char* id, const char* name) {
    ServerRow r;
    r.id = id;
    r.name = name;
    return r;
}

TEST(WindowState, NewRowsKeepTheSelectionOnTheSameSlug) {
    const struct {
        const char* name;
        int selectedBefore;
        std::vector<ServerRow> rows;
        int want;
    } cases[] = {
        {"moved to another index", 1, {row("c", "C"), row("a", "A"), row("b", "B")}, 2},
        {"gone", 1, {row("a", "A"), row("c", "C")}, -1},
        {"nothing selected", -1, {row("a", "A"), row("b", "B")}, -1},
        {"selected index out of range", 7, {row("a", "A"), row("b", "B")}, -1},
        {"same place", 0, {row("a", "A2"), row("b", "B")}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerPanelState servers;
        servers.rows = {row("a", "A"), row("b", "B")};
        servers.selectedRow = c.selectedBefore;
        servers.hotRow = 1;
        servers.pressedRow = 0;
        replaceServerRows(servers, c.rows);
        EXPECT_EQ(servers.selectedRow, c.want);
        EXPECT_EQ(servers.hotRow, -1);
        EXPECT_EQ(servers.pressedRow, -1);
        EXPECT_EQ(servers.visible.size(), c.rows.size());
    }
}

TEST(WindowState, NewRowsAreFilteredAndTheScrollClamped) {
    ServerPanelState servers;
    servers.search = "arena";
    servers.scrollOffset = 400;
    std::vector<ServerRow> rows;
    for (int i = 0; i < 10; ++i) {
        rows.push_back(row(("s" + std::to_string(i)).c_str(), i % 2 == 0 ? "Arena" : "Valle"));
    }
    replaceServerRows(servers, rows);
    EXPECT_EQ(servers.visible, (std::vector<int>{0, 2, 4, 6, 8}));
    EXPECT_EQ(servers.scrollOffset, 66 * 5 - 4 - 218);
}

TEST(WindowState, OpeningAndClosingTheServerPanelClearTransientState) {
    WindowState state;
    state.servers.rows = {row("a", "A")};
    state.servers.focus = FocusedField::Search;
    state.pointer.hotTarget = kTargetServerSelector;
    state.pointer.pressedTarget = kTargetServerSelector;
    openServerPanel(state);
    EXPECT_TRUE(state.servers.open);
    EXPECT_EQ(state.servers.focus, FocusedField::None);
    EXPECT_EQ(state.pointer.hotTarget, kTargetNone);
    EXPECT_EQ(state.pointer.pressedTarget, kTargetNone);
    EXPECT_EQ(state.servers.visible, (std::vector<int>{0}));

    state.servers.focus = FocusedField::AccessCode;
    state.servers.hotRow = 0;
    state.servers.pressedRow = 0;
    state.pointer.hotTarget = kTargetRefresh;
    closeServerPanel(state);
    EXPECT_FALSE(state.servers.open);
    EXPECT_EQ(state.servers.focus, FocusedField::None);
    EXPECT_EQ(state.servers.hotRow, -1);
    EXPECT_EQ(state.servers.pressedRow, -1);
    EXPECT_EQ(state.pointer.hotTarget, kTargetNone);
}

TEST(WindowState, WithdrawingForceForgetsThePointerOnIt) {
    WindowState state;
    state.update.forceEnabled = true;
    state.pointer.hotTarget = kTargetForce;
    state.pointer.pressedTarget = kTargetForce;
    setForceOffered(state, false);
    EXPECT_EQ(state.pointer.hotTarget, kTargetNone);
    EXPECT_EQ(state.pointer.pressedTarget, kTargetNone);

    state.pointer.hotTarget = kTargetPlay;
    setForceOffered(state, false);
    EXPECT_EQ(state.pointer.hotTarget, kTargetPlay);
}

TEST(WindowState, StoredAccessCodeIsCutAtSixtyFour) {
    ServerPanelState servers;
    setStoredAccessCode(servers, std::string(70, 'k'));
    EXPECT_EQ(servers.accessCode, std::string(64, 'k'));
}

TEST(WindowState, RowHitsGiveTheRowIndexOfTheVisibleSlot) {
    WindowState state;
    state.servers.rows = {row("a", "Arena"), row("b", "Valle"), row("c", "Arena 2")};
    state.servers.search = "arena";
    openServerPanel(state);
    const StateHit hit = hitTestState(state, 100, 94 + 66 + 10);
    EXPECT_EQ(hit.target, kTargetServerRow);
    EXPECT_EQ(hit.row, 2);
    EXPECT_EQ(selectedServerRow(state.servers), nullptr);
}

} // namespace
