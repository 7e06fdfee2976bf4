#include "patch/base64.hpp"

#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gu::patch::base64_decode;

struct Case {
    const char* name;
    std::string text;
    std::string want;
};

TEST(Base64Decode, FollowsTheDecodingRules) {
    const std::vector<Case> cases = {
        {"empty", "", ""},
        {"rfc 4648: f", "Zg==", "f"},
        {"rfc 4648: fo", "Zm8=", "fo"},
        {"rfc 4648: foo", "Zm9v", "foo"},
        {"rfc 4648: foob", "Zm9vYg==", "foob"},
        {"rfc 4648: fooba", "Zm9vYmE=", "fooba"},
        {"rfc 4648: foobar", "Zm9vYmFy", "foobar"},
        {"padding is optional", "Zm9vYg", "foob"},
        {"padding may stand inside", "Zm=9v=Ym==Fy", "foobar"},
        {"blanks, tabs and line breaks are skipped", " Zm9v\r\n\tYm Fy\n", "foobar"},
        {"only skipped characters", "==\r\n \t", ""},
        {"leftover bits are dropped", "Zm9vY", "foo"},
        {"one character gives nothing", "Z", ""},
        {"non-zero leftover bits are not checked", "Zh==", "f"},
        {"the last two alphabet characters", "+/+/", std::string("\xfb\xff\xbf", 3)},
        {"url-safe minus is outside the alphabet", "Zm9v-", ""},
        {"url-safe underscore is outside the alphabet", "_m9v", ""},
        {"punctuation", "Zm9v!YmFy", ""},
        {"vertical tab is not a blank", "Zm9v\vYmFy", ""},
        {"NUL inside", std::string("Zm9v\0YmFy", 9), ""},
        {"byte above 127", "Zm9v\xc3\xa9", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(base64_decode(c.text), c.want);
    }
}

// The ".sig" object holds 88 characters of standard Base64 for 64 bytes; how it is wrapped must not matter.
TEST(Base64Decode, SignatureTextDecodesTheSameInEveryLayout) {
    const std::string bare = "5VZDAMNgrHKQhuLMgG6CioSHfx645dl02HPgZSJJAVVfuIIVkKM7rMYeOXAc+bRr0lv18Flbvi"
                             "RlUUFDjnoQCw==";
    const std::string want_hex = "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc6"
                                 "1e39701cf9b46bd25bf5f0595bbe24655141438e7a100b";
    const std::vector<Case> layouts = {
        {"bare", bare, ""},
        {"trailing line feed", bare + "\n", ""},
        {"trailing CRLF", bare + "\r\n", ""},
        {"without padding", bare.substr(0, 86), ""},
        {"wrapped at 64 characters", bare.substr(0, 64) + "\n" + bare.substr(64) + "\n", ""},
    };
    for (const Case& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::string decoded = base64_decode(layout.text);
        ASSERT_EQ(decoded.size(), 64u);
        EXPECT_EQ(gu::patch::to_hex(reinterpret_cast<const std::uint8_t*>(decoded.data()), decoded.size()), want_hex);
    }
}

TEST(Base64Decode, OneBadCharacterEmptiesAKey) {
    const std::string key = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";
    EXPECT_EQ(base64_decode(key).size(), 32u);
    for (std::size_t at : {0u, 20u, 43u}) {
        std::string bad = key;
        bad[at] = '*';
        SCOPED_TRACE(at);
        EXPECT_EQ(base64_decode(bad), "");
    }
}

} // namespace
