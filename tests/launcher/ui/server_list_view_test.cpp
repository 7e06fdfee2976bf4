#include "launcher/ui/server_list_view.hpp"

#include "launcher/ui/text_editing.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(ServerListView, ScrollingStaysWithinTheRows) {
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
    } cases[] = {{true, std::u16string(41, u'a'), "", std::string(40, 'a')},
                 {true, u"x", std::string(39, 'a'), std::string(39, 'a') + "x"},
                 {true, u"\u00e9", std::string(38, 'a'), std::string(38, 'a') + "\xC3\xA9"},
                 {true, u"\u00e9", std::string(39, 'a'), std::string(39, 'a')},
                 {true, u"a\u20ac\b", "", "a"},
                 {true, u"\b", "x\x80\x80\x80\x80", "x"},
                 {false, std::u16string(40, u'z'), "", std::string(32, 'z')},
                 {false, u"b\b", std::string(64, 'a'), std::string(63, 'a')}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(typed(c.search, c.keys, c.start), c.want);
    }
}

} // namespace
} // namespace launcher
