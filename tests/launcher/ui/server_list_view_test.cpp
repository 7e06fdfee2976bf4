#include "launcher/ui/server_list_view.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

ServerRow row(const char* id, const char* name, const char* kind, const char* label) {
    ServerRow r;
    r.id = id;
    r.name = name;
    r.kind = kind;
    r.bestLabel = label;
    return r;
}

std::vector<int> firstN(int n) {
    std::vector<int> visible;
    for (int i = 0; i < n; ++i) {
        visible.push_back(i);
    }
    return visible;
}

TEST(ServerListView, FilterMatchesTheJoinedFieldsFoldingAsciiOnly) {
    const std::vector<ServerRow> rows = {
        row("valdra-main", "Valdra Principal", "oficial", "Europa"),
        row("fast-x", "Rápido X", "fast", "Sudamérica"),
        row("arena", "ÉPICA Arena", "battle", "Norte"),
    };
    const struct {
        const char* name;
        const char* search;
        std::vector<int> want;
    } cases[] = {
        {"empty search shows all", "", {0, 1, 2}},
        {"name, any ASCII case", "vALDRA pr", {0}},
        {"kind", "BATTLE", {2}},
        {"region label", "europa", {0}},
        {"slug", "fast-x", {1}},
        {"across name and kind", "principal oficial", {0}},
        {"across label and slug", "norte arena", {2}},
        {"non-ASCII must match exactly", "rápido", {1}},
        {"non-ASCII is not case-folded", "épica", {}},
        {"non-ASCII upper case matches itself", "ÉPICA", {2}},
        {"no match", "zzz", {}},
        {"a blank joins fields only", "x  s", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(filterRows(rows, c.search), c.want);
    }
}

TEST(ServerListView, ScrollBoundsFollowTheContentHeight) {
    const struct {
        const char* name;
        int rows, contentHeight, maxOffset;
    } cases[] = {
        {"none", 0, 0, 0}, {"one", 1, 62, 0}, {"three fit", 3, 194, 0}, {"four", 4, 260, 42}, {"ten", 10, 656, 438},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rowContentHeight(c.rows), c.contentHeight);
        EXPECT_EQ(maxScrollOffset(c.rows), c.maxOffset);
        EXPECT_EQ(clampScrollOffset(-5, c.rows), 0);
        EXPECT_EQ(clampScrollOffset(100000, c.rows), c.maxOffset);
    }
}

TEST(ServerListView, WheelScrollsThirtyTwoPixelsPerNotchWithinBounds) {
    const struct {
        const char* name;
        int offset, delta, rows, want;
    } cases[] = {
        {"back scrolls down", 0, -120, 10, 32},
        {"forward scrolls up", 64, 120, 10, 32},
        {"two notches", 0, -240, 10, 64},
        {"half notch", 0, -60, 10, 16},
        {"stops at the top", 10, 120, 10, 0},
        {"stops at the bottom", 430, -120, 10, 438},
        {"fewer rows than fit stay at 0", 0, -120, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(wheelScrollOffset(c.offset, c.delta, c.rows), c.want);
    }
}

TEST(ServerListView, ScrollBarOnlyWhenTheRowsOverflow) {
    EXPECT_FALSE(scrollBarGeometry(3, 0).shown);

    const ScrollBar atTop = scrollBarGeometry(10, 0);
    ASSERT_TRUE(atTop.shown);
    EXPECT_EQ(atTop.track, (Rect{822, 94, 830, 312}));
    EXPECT_EQ(atTop.thumb, (Rect{822, 94, 830, 94 + 72}));

    const ScrollBar atBottom = scrollBarGeometry(10, 438);
    EXPECT_EQ(atBottom.thumb.bottom, 312);
    const ScrollBar halfway = scrollBarGeometry(10, 219);
    EXPECT_EQ(halfway.thumb.top, 94 + (218 - 72) * 219 / 438);

    // Many rows: the thumb keeps its minimum of 20 pixels.
    EXPECT_EQ(scrollBarGeometry(1000, 0).thumb.height(), 20);
}

TEST(ServerListView, RowsAreDrawnAtTheirScrolledPlace) {
    EXPECT_EQ(rowRectAt(0, 0), (Rect{44, 94, 818, 156}));
    EXPECT_EQ(rowRectAt(2, 0), (Rect{44, 226, 818, 288}));
    EXPECT_EQ(rowRectAt(2, 100), (Rect{44, 126, 818, 188}));
}

TEST(ServerListView, ArrowKeysStepThroughTheVisibleList) {
    const std::vector<int> filtered = {1, 4, 6};
    const struct {
        const char* name;
        std::vector<int> visible;
        int selected, direction, scroll;
        bool moved;
        int row, wantScroll;
    } cases[] = {
        {"down from the first", filtered, 1, +1, 0, true, 4, 0},
        {"up on the first stays there", filtered, 1, -1, 0, true, 1, 0},
        {"down on the last stays there", filtered, 6, +1, 0, true, 6, 0},
        {"selection outside the list counts as position 0", filtered, 3, +1, 0, true, 4, 0},
        {"no selection, up", filtered, -1, -1, 0, true, 1, 0},
        {"empty list does nothing", {}, 2, +1, 12, false, -1, 12},
        {"moving below the viewport scrolls its bottom into view", firstN(10), 2, +1, 0, true, 3, 260 - 218},
        {"moving above the viewport scrolls to its top", firstN(10), 5, -1, 400, true, 4, 264},
        {"a row already in view keeps the offset", firstN(10), 3, -1, 100, true, 2, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SelectionStep step = stepSelection(c.visible, c.selected, c.direction, c.scroll);
        EXPECT_EQ(step.moved, c.moved);
        EXPECT_EQ(step.row, c.row);
        EXPECT_EQ(step.scrollOffset, c.wantScroll);
    }
}

} // namespace
