#include "launcher/servers/text_rules.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CleanText, LimitsAndTidiesOutsideText) {
    const struct {
        const char* name;
        std::string input;
        std::size_t limit;
        std::string want;
    } cases[] = {
        {"short text unchanged", "Valdra", 40, "Valdra"},
        {"cut at the limit", "abcdef", 4, "abcd"},
        {"zero limit", "abc", 0, ""},
        {"line feed becomes a space", "a\nb", 16, "a b"},
        {"a run of control bytes gives one space",
         "a\r\n\t\x01"
         "b",
         16, "a b"},
        {"control byte after a space adds nothing", "a \nb", 16, "a b"},
        {"DEL is a control byte",
         "a\x7f"
         "b",
         16, "a b"},
        {"NUL is a control byte", std::string("a\0b", 3), 16, "a b"},
        {"leading control bytes vanish", "\n\nab", 16, "ab"},
        {"only control bytes", "\n\t\r", 16, ""},
        {"trailing control bytes and spaces removed", "ab \n  ", 16, "ab"},
        {"leading spaces kept", "  ab", 16, "  ab"},
        {"the space of a control byte counts toward the limit", "ab\ncd", 3, "ab"},
        {"bytes at and above 0x80 are not control bytes", "\x80\xff", 16, "\x80\xff"},
        {"complete two-byte sequence at the end kept", "ab\xC3\xB1", 4, "ab\xC3\xB1"},
        {"two-byte sequence cut", "abc\xC3\xB1", 4, "abc"},
        {"three-byte sequence cut after one byte", "ab\xE2\x82\xAC", 3, "ab"},
        {"three-byte sequence cut after two bytes", "ab\xE2\x82\xAC", 4, "ab"},
        {"four-byte sequence cut after three bytes", "a\xF0\x9F\x98\x80", 4, "a"},
        {"complete four-byte sequence kept", "a\xF0\x9F\x98\x80", 5, "a\xF0\x9F\x98\x80"},
        {"stray continuation bytes stay", "ab\x82\x82", 16, "ab\x82\x82"},
        {"truncated lead in the input is cut too", "ab\xC3", 16, "ab"},
        // Trailing spaces go before the cut sequence does, so a space before it stays.
        {"space before a cut sequence stays", "ab \xE2\x82\xAC", 5, "ab "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::cleanText(c.input, c.limit), c.want);
    }
}

TEST(IsIPv4Literal, AcceptsOnlyDottedQuads) {
    const struct {
        const char* input;
        bool want;
    } cases[] = {
        {"127.0.0.1", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"192.168.100.200", true},
        {"010.001.000.009", true},
        {"256.0.0.1", false},
        {"1.2.3.999", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"1.2.3.4.", false},
        {".1.2.3", false},
        {"1..2.3", false},
        {"0001.2.3.4", false},
        {"1.2.3.4 ", false},
        {" 1.2.3.4", false},
        {"1.2.3.-4", false},
        {"1.2.3.a", false},
        {"1.2.3.4:80", false},
        {"play.example.net", false},
        {"192.168.100.2001", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(launcher::isIPv4Literal(c.input), c.want);
    }
}

} // namespace
