#include "launcher/ui/server_list_view.hpp"

#include "launcher/ui/text_editing.hpp"

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
    } cases[] = {{"", {0, 1, 2}}, {"vALDRA pr", {0}}, {"norte arena", {2}}, {"\xC3\xA9pica", {}}, {"x  s", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        EXPECT_EQ(filterRows(rows, c.search), c.want);
    }
}

TEST(ServerListView, ScrollingStaysWithinTheRowsAndTheArrowsScrollTheSelectionIntoView) {
    const struct {
        int rows, contentHeight, maxOffset;
    } bounds[] = {{0, 0, 0}, {1, 62, 0}, {3, 194, 0}, {4, 260, 42}, {10, 656, 438}};
    for (const auto& c : bounds) {
        SCOPED_TRACE(c.rows);
        EXPECT_EQ(rowContentHeight(c.rows), c.contentHeight);
        EXPECT_EQ(maxScrollOffset(c.rows), c.maxOffset);
        EXPECT_EQ(wheelScrollOffset(c.maxOffset - 10, -120, c.rows), c.maxOffset);
    }
    EXPECT_EQ(wheelScrollOffset(64, 120, 10), 32);
    EXPECT_EQ(scrollBarGeometry(10, 438).thumb.bottom, 312);
    const std::vector<int> filtered = {1, 4, 6}, ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const struct {
        std::vector<int> visible;
        int selected, direction, scroll, row, wantScroll;
    } steps[] = {{filtered, 1, -1, 0, 1, 0},  {filtered, 6, +1, 0, 6, 0}, {filtered, 3, +1, 0, 4, 0},
                 {{}, 2, +1, 12, -1, 12},     {ten, 2, +1, 0, 3, 42},     {ten, 5, -1, 400, 4, 264}};
    for (const auto& c : steps) {
        SCOPED_TRACE(std::to_string(c.selected) + " by " + std::to_string(c.direction));
        const SelectionStep step = stepSelection(c.visible, c.selected, c.direction, c.scroll);
        EXPECT_EQ(step.moved, !c.visible.empty());
        EXPECT_EQ(step.row, c.row);
        EXPECT_EQ(step.scrollOffset, c.wantScroll);
    }
}

// Types the keys (backspace included) into the search text or the access code, from `start`.
std::string typed(bool search, const std::u16string& keys, std::string start = "") {
    for (const char16_t unit : keys) {
        if (unit == kBackspace) {
            search ? eraseLastSearchCharacter(start) : eraseLastAccessCodeCharacter(start);
        } else {
            search ? typeSearchCharacter(start, unit) : typeAccessCodeCharacter(start, unit);
        }
    }
    return start;
}

TEST(TextEditing, SearchKeepsFortyBytesOfUtf8AndTheCodeThirtyTwoOfItsCharacters) {
    const struct {
        bool search;
        std::u16string keys;
        std::string start, want;
    } cases[] = {
        {true, std::u16string(41, u'a'), "", std::string(40, 'a')},
        {true, u"x", std::string(39, 'a'), std::string(39, 'a') + "x"},
        {true, u"\u00e9", std::string(38, 'a'), std::string(38, 'a') + "\xC3\xA9"},
        {true, u"\u00e9", std::string(39, 'a'), std::string(39, 'a')},
        {true, u"\u20ac\U0001F600\t\x7f", "", "\xE2\x82\xAC"},
        {true, u"a\u20ac\b", "", "a"},
        {true, u"\b", "x\x80\x80\x80\x80", "x"},
        {false, u"Ab9-_. /\u00e9", "", "Ab9-_."},
        {false, std::u16string(40, u'z'), "", std::string(32, 'z')},
        {false, u"b\b", std::string(64, 'a'), std::string(63, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(typed(c.search, c.keys, c.start), c.want);
    }
}

} // namespace
} // namespace launcher
