#include "patch/base64.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// Keys and signatures are decoded from this text: anything outside the alphabet empties the result, so
// that a damaged key or signature never verifies.
TEST(Base64Decode, FollowsTheDecodingRules) {
    struct Case {
        const char* name;
        std::string text;
        std::string want;
    };
    const Case cases[] = {
        {"rfc 4648: f", "Zg==", "f"},
        {"rfc 4648: fooba", "Zm9vYmE=", "fooba"},
        {"rfc 4648: foobar", "Zm9vYmFy", "foobar"},
        {"padding is optional", "Zm9vYg", "foob"},
        {"blanks, tabs and line breaks are skipped", " Zm9v\r\n\tYm Fy\n", "foobar"},
        {"leftover bits are dropped", "Zm9vY", "foo"},
        {"the last two alphabet characters", "+/+/", std::string("\xfb\xff\xbf", 3)},
        {"url-safe minus is outside the alphabet", "Zm9v-", ""},
        {"punctuation", "Zm9v!YmFy", ""},
        {"NUL inside", std::string("Zm9v\0YmFy", 9), ""},
        {"byte above 127", "Zm9v\xc3\xa9", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::base64_decode(c.text), c.want);
    }
}

} // namespace
