#include "launcher/ui/text_editing.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

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
        {false, u"b", std::string(64, 'a'), std::string(64, 'a')},
        {false, u"\b", std::string(64, 'a'), std::string(63, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(typed(c.search, c.keys, c.start), c.want);
    }
}

} // namespace
} // namespace launcher
