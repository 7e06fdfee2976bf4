#include "launcher/game/game_launch.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(BuildGameCommandLine, PassesTheServerOnlyWithAHostAndAValidPort) {
    const struct {
        const char* name;
        const char* host;
        int port;
        const char* want;
    } cases[] = {
        {"host and port", "10.0.0.5", 44405, "\"C:\\Games\\K\\Main.exe\" /u10.0.0.5 /p44405"},
        {"lowest port", "10.0.0.5", 1, "\"C:\\Games\\K\\Main.exe\" /u10.0.0.5 /p1"},
        {"highest port", "10.0.0.5", 65535, "\"C:\\Games\\K\\Main.exe\" /u10.0.0.5 /p65535"},
        {"port 0", "10.0.0.5", 0, "\"C:\\Games\\K\\Main.exe\""},
        {"negative port", "10.0.0.5", -44405, "\"C:\\Games\\K\\Main.exe\""},
        {"port too high", "10.0.0.5", 65536, "\"C:\\Games\\K\\Main.exe\""},
        {"no host", "", 44405, "\"C:\\Games\\K\\Main.exe\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(buildGameCommandLine("C:\\Games\\K", c.host, c.port), c.want);
    }
}

} // namespace
} // namespace launcher
