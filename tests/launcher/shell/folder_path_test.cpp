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
        const char *folder, *relative, *windows, *elsewhere;
    } cases[] = {
        {"C:\\K", "Data\\Local\\valdra.main", "C:\\K\\Data\\Local\\valdra.main", "C:\\K/Data/Local/valdra.main"},
        {"C:\\K\\", "config.ini", "C:\\K\\config.ini", "C:\\K\\config.ini"},
        {"/k/", "Data\\ServerList.bmd", "/k/Data\\ServerList.bmd", "/k/Data/ServerList.bmd"},
        {"", "Main.exe", "\\Main.exe", "/Main.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(joinFolderPath(c.folder, c.relative), kWindows ? c.windows : c.elsewhere);
    }
}

} // namespace
} // namespace launcher
