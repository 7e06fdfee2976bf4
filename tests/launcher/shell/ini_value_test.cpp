#include "launcher/shell/ini_value.hpp"

#include <gtest/gtest.h>

namespace {

TEST(SanitizeIniValue, KeepsOnlyTheAllowedBytesUpToTheLimit) {
    const struct {
        std::string input;
        std::size_t limit;
        bool keepCase;
        std::string want;
    } cases[] = {
        {"Ab 12!Cd", 64, true, "Ab12Cd"},
        {"My_Server.EU-x5", 32, false, "my_server.eu-x5"},
        {std::string("a\tb\r\n\0c\x7f", 8), 16, false, "abc"},
        {"Espa\xc3\xb1" "a", 16, false, "espaa"},
        {"a b c d e", 3, false, "abc"},
        {std::string(70, 'K'), 64, true, std::string(64, 'K')},
        {"abc", 0, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(launcher::sanitizeIniValue(c.input, c.limit, c.keepCase), c.want);
    }
}

} // namespace
