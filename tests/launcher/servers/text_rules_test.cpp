#include "launcher/servers/text_rules.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CleanText, LimitsAndTidiesOutsideText) {
    const struct {
        std::string input;
        std::size_t limit;
        std::string want;
    } cases[] = {
        {"abcdef", 4, "abcd"},
        {"a\r\n\t\x01z", 16, "a z"},
        {std::string("a\0b", 3), 16, "a b"},
        {"\n\nab \n  ", 16, "ab"},
        {"  ab", 16, "  ab"},
        {"ab\ncd", 3, "ab"},
        {"ab\xC3\xB1", 4, "ab\xC3\xB1"},
        {"abc\xC3\xB1", 4, "abc"},
        {"ab\xE2\x82\xAC", 4, "ab"},
        {"a\xF0\x9F\x98\x80", 4, "a"},
        {"ab\x82\x82", 16, "ab\x82\x82"},
        {"ab \xE2\x82\xAC", 5, "ab "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(launcher::cleanText(c.input, c.limit), c.want);
    }
}

TEST(IsIPv4Literal, AcceptsOnlyDottedQuads) {
    const struct {
        const char* input;
        bool want;
    } cases[] = {{"127.0.0.1", true},   {"255.255.255.255", true}, {"010.001.000.009", true}, {"256.0.0.1", false},
                 {"1.2.3.256", false},  {"1.2.3", false},          {"1.2.3.4.5", false},      {"1..2.3", false},
                 {"0001.2.3.4", false}, {" 1.2.3.4", false},       {"1.2.3.4:80", false},     {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(launcher::isIPv4Literal(c.input), c.want);
    }
}

} // namespace
