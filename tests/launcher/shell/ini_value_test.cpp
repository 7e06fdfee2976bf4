#include "launcher/shell/ini_value.hpp"

#include <gtest/gtest.h>

namespace {

struct SanitizeCase {
    const char* name;
    std::string input;
    std::size_t limit;
    bool keepCase;
    std::string want;
};

TEST(SanitizeIniValue, KeepsOnlyTheAllowedBytes) {
    const SanitizeCase cases[] = {
        {"empty", "", 64, true, ""},
        {"blank and bang dropped, case kept", "Ab 12!Cd", 64, true, "Ab12Cd"},
        {"lower-cased, underscore and dot kept", "My_Server.EU", 32, false, "my_server.eu"},
        {"hyphen kept", "fast-x5", 32, false, "fast-x5"},
        {"control bytes dropped", "a\tb\r\nc\x7f", 16, false, "abc"},
        {"non-ASCII letters vanish whole", "Espa\xc3\xb1" "a", 16, false, "espaa"},
        {"every byte outside the set", "!@# $%^", 32, false, ""},
        {"limit counts kept characters only", "a b c d e", 3, false, "abc"},
        {"stops at the limit", std::string(70, 'K'), 64, true, std::string(64, 'K')},
        {"zero limit", "abc", 0, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::sanitizeIniValue(c.input, c.limit, c.keepCase), c.want);
    }
}

TEST(SanitizeIniValue, EmbeddedNulIsDropped) {
    EXPECT_EQ(launcher::sanitizeIniValue(std::string("a\0b", 3), 8, true), "ab");
}

} // namespace
