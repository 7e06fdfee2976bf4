#include "launcher/ui/text_editing.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

std::string typedSearch(const std::u16string& keys, std::string start = "") {
    for (const char16_t unit : keys) {
        if (unit == kBackspace) {
            eraseLastSearchCharacter(start);
        } else {
            typeSearchCharacter(start, unit);
        }
    }
    return start;
}

TEST(TextEditing, SearchTextKeepsAtMostFortyBytesOfUtf8) {
    const struct {
        const char* name;
        std::u16string keys;
        std::string start;
        std::string want;
    } cases[] = {
        {"plain", u"abc", "", "abc"},
        {"41 letters keep the first 40", std::u16string(41, u'a'), "", std::string(40, 'a')},
        {"e acute counts two bytes", u"\u00e9", "", "\xC3\xA9"},
        {"a two-byte character that would pass 40 is refused", u"\u00e9", std::string(39, 'a'), std::string(39, 'a')},
        {"a one-byte character still fits", u"x", std::string(39, 'a'), std::string(39, 'a') + "x"},
        {"three-byte character", u"\u20ac", "", "\xE2\x82\xAC"},
        {"surrogate halves are ignored", u"\U0001F600", "", ""},
        {"control characters, tab and DEL are ignored", u"\t\r\x1b\x7f", "", ""},
        {"backspace removes a whole sequence", u"a\u20ac\b", "", "a"},
        {"backspace removes one ASCII letter", u"ab\b", "", "a"},
        {"backspace on empty text", u"\b", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(typedSearch(c.keys, c.start), c.want);
    }
}

TEST(TextEditing, BackspaceStopsAfterThreeContinuationBytes) {
    std::string broken = "x\x80\x80\x80\x80";
    EXPECT_TRUE(eraseLastSearchCharacter(broken));
    EXPECT_EQ(broken, "x");
    std::string lone = "\x80";
    EXPECT_TRUE(eraseLastSearchCharacter(lone));
    EXPECT_EQ(lone, "");
    std::string empty;
    EXPECT_FALSE(eraseLastSearchCharacter(empty));
}

TEST(TextEditing, AccessCodeTakesOnlyItsCharactersUpToThirtyTwo) {
    const struct {
        const char* name;
        std::u16string keys;
        std::string want;
    } cases[] = {
        {"letters, digits and marks", u"Ab9-_.", "Ab9-_."},
        {"blank and slash are ignored", u"a b/c", "abc"},
        {"non-ASCII is ignored", u"\u00e9x", "x"},
        {"stops at 32", std::u16string(40, u'z'), std::string(32, 'z')},
        {"backspace", u"ab\b", "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string code;
        for (const char16_t unit : c.keys) {
            if (unit == kBackspace) {
                eraseLastAccessCodeCharacter(code);
            } else {
                typeAccessCodeCharacter(code, unit);
            }
        }
        EXPECT_EQ(code, c.want);
    }
    std::string full(32, 'a');
    EXPECT_FALSE(typeAccessCodeCharacter(full, 'b'));
    std::string longer(64, 'a'); // a stored code of 64 accepts no typing, but backspace works
    EXPECT_FALSE(typeAccessCodeCharacter(longer, 'b'));
    EXPECT_TRUE(eraseLastAccessCodeCharacter(longer));
    EXPECT_EQ(longer.size(), 63u);
}

} // namespace
