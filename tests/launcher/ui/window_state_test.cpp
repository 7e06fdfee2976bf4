#include "launcher/ui/window_state.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

ServerRow row(const char* id, const char* name) {
    ServerRow r;
    r.id = id;
    r.name = name;
    return r;
}

TEST(WindowState, NewRowsKeepTheSelectionOnTheSameSlugAndAreFiltered) {
    const struct {
        int selectedBefore;
        std::vector<ServerRow> rows;
        int want;
    } cases[] = {{1, {row("c", "C"), row("a", "A"), row("b", "B")}, 2},
                 {1, {row("a", "A"), row("c", "C")}, -1},
                 {7, {row("a", "A"), row("b", "B")}, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        ServerPanelState servers;
        servers.rows = {row("a", "A"), row("b", "B")};
        servers.selectedRow = c.selectedBefore;
        servers.pressedRow = 0;
        replaceServerRows(servers, c.rows);
        EXPECT_EQ(servers.selectedRow, c.want);
        EXPECT_EQ(servers.pressedRow, -1);
    }
    WindowState state;
    state.servers.rows = {row("a", "Arena"), row("b", "Valle"), row("c", "Arena 2")};
    state.servers.search = "arena";
    state.servers.scrollOffset = 400;
    openServerPanel(state);
    EXPECT_EQ(state.servers.visible, (std::vector<int>{0, 2}));
    EXPECT_EQ(state.servers.scrollOffset, 0);
    const StateHit hit = hitTestState(state, 100, 94 + 66 + 10);
    EXPECT_EQ(hit.row, 2) << "the row index of the visible slot";
    setStoredAccessCode(state.servers, std::string(70, 'k'));
    EXPECT_EQ(state.servers.accessCode, std::string(64, 'k'));
}

} // namespace
} // namespace launcher
