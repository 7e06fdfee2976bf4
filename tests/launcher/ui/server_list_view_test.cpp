#include "launcher/ui/server_list_view.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(ServerListView, FilterMatchesTheJoinedFieldsFoldingAsciiOnly) {
    std::vector<ServerRow> rows(3);
    const char* const fields[3][4] = {{"valdra-main", "Valdra Principal", "oficial", "Europa"},
                                      {"fast-x", "R\xC3\xA1pido X", "fast", "Sudam\xC3\xA9rica"},
                                      {"arena", "\xC3\x89PICA Arena", "battle", "Norte"}};
    for (int i = 0; i < 3; ++i) {
        rows[i].id = fields[i][0];
        rows[i].name = fields[i][1];
        rows[i].kind = fields[i][2];
        rows[i].bestLabel = fields[i][3];
    }
    const struct {
        const char* search;
        std::vector<int> want;
    } cases[] = {{"", {0, 1, 2}},           {"vALDRA pr", {0}},        {"BATTLE", {2}},
                 {"fast-x", {1}},           {"norte arena", {2}},      {"r\xC3\xA1pido", {1}},
                 {"\xC3\xA9pica", {}},      {"x  s", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        EXPECT_EQ(filterRows(rows, c.search), c.want);
    }
}

TEST(ServerListView, ScrollingStaysWithinTheRowsHeight) {
    const struct {
        int rows, contentHeight, maxOffset;
    } bounds[] = {{0, 0, 0}, {1, 62, 0}, {3, 194, 0}, {4, 260, 42}, {10, 656, 438}};
    for (const auto& c : bounds) {
        SCOPED_TRACE(c.rows);
        EXPECT_EQ(rowContentHeight(c.rows), c.contentHeight);
        EXPECT_EQ(maxScrollOffset(c.rows), c.maxOffset);
        EXPECT_EQ(clampScrollOffset(100000, c.rows), c.maxOffset);
    }
    const struct {
        int offset, delta, rows, want;
    } wheel[] = {{0, -120, 10, 32}, {64, 120, 10, 32}, {0, -60, 10, 16}, {10, 120, 10, 0}, {430, -120, 10, 438}};
    for (const auto& c : wheel) {
        SCOPED_TRACE(c.delta);
        EXPECT_EQ(wheelScrollOffset(c.offset, c.delta, c.rows), c.want);
    }
    EXPECT_FALSE(scrollBarGeometry(3, 0).shown);
    EXPECT_EQ(scrollBarGeometry(10, 0).thumb, (Rect{822, 94, 830, 94 + 72}));
    EXPECT_EQ(scrollBarGeometry(10, 438).thumb.bottom, 312);
    EXPECT_EQ(scrollBarGeometry(1000, 0).thumb.height(), 20);
    EXPECT_EQ(rowRectAt(2, 100), (Rect{44, 126, 818, 188}));
}

TEST(ServerListView, ArrowKeysStepThroughTheVisibleListAndScrollItIntoView) {
    const std::vector<int> filtered = {1, 4, 6}, ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const struct {
        std::vector<int> visible;
        int selected, direction, scroll;
        bool moved;
        int row, wantScroll;
    } cases[] = {
        {filtered, 1, +1, 0, true, 4, 0},   {filtered, 1, -1, 0, true, 1, 0},     {filtered, 6, +1, 0, true, 6, 0},
        {filtered, 3, +1, 0, true, 4, 0},   {filtered, -1, -1, 0, true, 1, 0},    {{}, 2, +1, 12, false, -1, 12},
        {ten, 2, +1, 0, true, 3, 260 - 218}, {ten, 5, -1, 400, true, 4, 264},     {ten, 3, -1, 100, true, 2, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.selected) + " by " + std::to_string(c.direction));
        const SelectionStep step = stepSelection(c.visible, c.selected, c.direction, c.scroll);
        EXPECT_EQ(step.moved, c.moved);
        EXPECT_EQ(step.row, c.row);
        EXPECT_EQ(step.scrollOffset, c.wantScroll);
    }
}

} // namespace
} // namespace launcher
