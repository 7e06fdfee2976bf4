#include "launcher/shell/launcher_settings.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace launcher {
namespace {

// Each test works on its own launcher.ini in the Windows temporary folder.
class LauncherSettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string(folder) + "kyr-" + info->name() + "-launcher.ini";
        DeleteFileA(path_.c_str());
    }
    void TearDown() override { DeleteFileA(path_.c_str()); }

    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void writeRaw(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

    std::string path_;
};

TEST_F(LauncherSettingsFile, MissingFileReadsAsEmpty) {
    EXPECT_EQ(readAccessCode(path_), "");
    EXPECT_EQ(readLastServer(path_), "");
    EXPECT_EQ(readRegion(path_, "valdra"), "");
    EXPECT_EQ(readBmdStamp(path_), "");
}

TEST_F(LauncherSettingsFile, ValuesRoundTripWithTheirRules) {
    EXPECT_TRUE(writeAccessCode(path_, "Ab 12!Cd"));
    EXPECT_TRUE(writeLastServer(path_, "Fast_X5.Eu"));
    EXPECT_TRUE(writeRegion(path_, "fast-x5", "SA-East"));
    EXPECT_TRUE(writeBmdStamp(path_, "1234-DEADBEEF"));

    EXPECT_EQ(readAccessCode(path_), "Ab12Cd");
    EXPECT_EQ(readLastServer(path_), "fast_x5.eu");
    EXPECT_EQ(readRegion(path_, "fast-x5"), "sa-east");
    EXPECT_EQ(readBmdStamp(path_), "1234-deadbeef");
    EXPECT_NE(contents().find("[Servers]"), std::string::npos);
}

TEST_F(LauncherSettingsFile, LongAccessCodeKeepsItsFirst64Characters) {
    const std::string code = std::string(60, 'a') + "BCDEFGHIJK";
    ASSERT_EQ(code.size(), 70u);
    writeAccessCode(path_, code);
    EXPECT_EQ(readAccessCode(path_), code.substr(0, 64));
}

TEST_F(LauncherSettingsFile, SlugWithoutAllowedCharactersHasNoRegionKey) {
    writeRaw("[Servers]\r\nRegion.=eu\r\n");
    EXPECT_FALSE(writeRegion(path_, "!!! ???", "eu"));
    EXPECT_EQ(readRegion(path_, "!!! ???"), "");
    EXPECT_EQ(contents(), "[Servers]\r\nRegion.=eu\r\n");
}

TEST_F(LauncherSettingsFile, AutomaticRegionKeepsAnEmptyKey) {
    writeRegion(path_, "valdra", "eu");
    EXPECT_TRUE(writeRegion(path_, "valdra", ""));
    EXPECT_EQ(readRegion(path_, "valdra"), "");
    EXPECT_NE(contents().find("Region.valdra="), std::string::npos);
}

TEST_F(LauncherSettingsFile, HandEditedValuesAreCleanedOnRead) {
    writeRaw("[Servers]\r\nRegion.valdra=SA East\r\nLast=Valdra-Main\r\nAccessCode=ab cd\xc3\xa9" "E\r\n");
    EXPECT_EQ(readRegion(path_, "VALDRA"), "saeast");
    EXPECT_EQ(readLastServer(path_), "valdra-main");
    EXPECT_EQ(readAccessCode(path_), "abcdE");
}

} // namespace
} // namespace launcher
