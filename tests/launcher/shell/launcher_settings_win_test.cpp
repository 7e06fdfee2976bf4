#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/server_preferences.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

// launcher.ini through the profile functions: the values keep their rules both ways.
TEST(LauncherSettingsFile, ValuesRoundTripWithTheirRules) {
    const kyrtest::ScratchFolder folder;
    const std::string path = (folder / "launcher.ini").string();
    EXPECT_EQ(readAccessCode(path) + readLastServer(path) + readRegion(path, "valdra") + readBmdStamp(path), "");
    EXPECT_TRUE(writeAccessCode(path, "Ab 12!Cd" + std::string(60, 'x')));
    EXPECT_TRUE(writeLastServer(path, "Fast_X5.Eu"));
    EXPECT_TRUE(writeRegion(path, "fast-x5", "SA-East"));
    EXPECT_TRUE(writeBmdStamp(path, "1234-DEADBEEF"));
    EXPECT_EQ(readAccessCode(path), "Ab12Cd" + std::string(58, 'x'));
    EXPECT_EQ(readLastServer(path), "fast_x5.eu");
    EXPECT_EQ(readRegion(path, "fast-x5"), "sa-east");
    EXPECT_EQ(readBmdStamp(path), "1234-deadbeef");
    EXPECT_FALSE(writeRegion(path, "!!! ???", "eu")) << "a slug without allowed characters has no key";

    IniServerPreferences preferences(path);
    EXPECT_TRUE(preferences.setRegion("fast-x5", ""));
    EXPECT_EQ(preferences.region("fast-x5"), "");
    const std::string text = kyrtest::read_bytes(folder / "launcher.ini");
    EXPECT_NE(text.find("Region.fast-x5=\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Region.="), std::string::npos) << text;

    kyrtest::write_bytes(folder / "launcher.ini", "[Servers]\r\nRegion.valdra=SA East\r\nLast=Valdra-Main\r\n");
    EXPECT_EQ(preferences.region("VALDRA"), "saeast");
    EXPECT_EQ(preferences.lastServer(), "valdra-main");
}

} // namespace
} // namespace launcher
