#include "launcher/shell/folder_path.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

TEST(FolderPath, JoinsWithOneSeparator) {
    const struct {
        const char* name;
        const char* folder;
        const char* relative;
        const char* windows;
        const char* elsewhere;
    } cases[] = {
        {"plain folder", "C:\\Games\\K", "Data\\Local\\valdra.main", "C:\\Games\\K\\Data\\Local\\valdra.main",
         "C:\\Games\\K/Data/Local/valdra.main"},
        {"folder ending in a backslash", "C:\\Games\\K\\", "config.ini", "C:\\Games\\K\\config.ini",
         "C:\\Games\\K\\config.ini"},
        {"folder ending in a slash", "/games/k/", "Data\\Local\\ServerList.bmd", "/games/k/Data\\Local\\ServerList.bmd",
         "/games/k/Data/Local/ServerList.bmd"},
        {"empty folder still gets the separator", "", "Main.exe", "\\Main.exe", "/Main.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(joinFolderPath(c.folder, c.relative), kWindows ? c.windows : c.elsewhere);
    }
}

} // namespace
} // namespace launcher
