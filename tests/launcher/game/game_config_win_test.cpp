#include "launcher/game/game_config.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_settings.hpp"
#include "support/scratch_folder.hpp"
#include "tests/launcher/game/held_file.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace launcher {
namespace {

using kyrtest::read_bytes;
using kyrtest::write_bytes;

class IniGameConfigFile : public ::testing::Test {
protected:
    std::string path() const { return (scratch_ / "config.ini").string(); }

    kyrtest::ScratchFolder scratch_;
};

TEST_F(IniGameConfigFile, MissingFileReadsTheFallbacks) {
    const IniGameConfig config(path());
    EXPECT_EQ(config.readText("Launcher", "Engine", "Auto", 16), "Auto");
    EXPECT_EQ(config.readNumber("Graphics", "WindowWidth", 1024), 1024);
}

TEST_F(IniGameConfigFile, ReadsWithinTheBufferAndTheLeadingNumber) {
    write_bytes(scratch_ / "config.ini", "[Launcher]\r\nEngine=ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n"
                                         "[Graphics]\r\nWindowWidth=1366\r\nFpsMode=-1\r\nWindowMode=yes\r\n");
    const IniGameConfig config(path());
    EXPECT_EQ(config.readText("Launcher", "Engine", "Auto", 16), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(config.readText("launcher", "engine", "Auto", 4), "ABC");
    EXPECT_EQ(config.readNumber("Graphics", "WindowWidth", 1024), 1366);
    EXPECT_EQ(config.readNumber("Graphics", "WindowMode", 7), 0);
    EXPECT_EQ(config.readNumber("Graphics", "WindowHeight", 768), 768);
}

TEST_F(IniGameConfigFile, WritesAndRemovesKeys) {
    IniGameConfig config(path());
    EXPECT_TRUE(config.writeText("Launcher", "PrevWidth", "1920"));
    EXPECT_TRUE(config.writeText("Graphics", "MSAASamples", "4"));
    EXPECT_EQ(config.readNumber("Launcher", "PrevWidth", 0), 1920);
    EXPECT_TRUE(config.removeKey("Launcher", "PrevWidth"));
    EXPECT_EQ(config.readNumber("Launcher", "PrevWidth", 0), 0);
    EXPECT_EQ(read_bytes(scratch_ / "config.ini").find("PrevWidth"), std::string::npos);
    EXPECT_EQ(config.readText("Graphics", "MSAASamples", "", 8), "4");
}

TEST_F(IniGameConfigFile, FileInUseRefusesWritesAndStillReads) {
    write_bytes(scratch_ / "config.ini", "[Graphics]\r\nWindowWidth=1024\r\n");
    IniGameConfig config(path());
    const kyrtest::HeldFile runningGame(path(), FILE_SHARE_READ);
    ASSERT_TRUE(runningGame.isHeld());
    EXPECT_FALSE(config.writeText("Graphics", "WindowWidth", "1920"));
    EXPECT_FALSE(config.removeKey("Graphics", "WindowWidth"));
    EXPECT_EQ(config.readNumber("Graphics", "WindowWidth", 0), 1024);
}

// Reads the language value as the game would, or "<absent>".
std::string storedLanguage(DWORD* type = nullptr, DWORD* size = nullptr) {
    char value[16] = {};
    DWORD valueType = 0;
    DWORD valueSize = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue, RRF_RT_ANY, &valueType, value,
                     &valueSize) != ERROR_SUCCESS) {
        return "<absent>";
    }
    if (type != nullptr) {
        *type = valueType;
    }
    if (size != nullptr) {
        *size = valueSize;
    }
    return value;
}

TEST(IniGameConfigRegistry, StoresTheLanguageCodeAsAStringWithItsTerminator) {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue);
    ASSERT_EQ(storedLanguage(), "<absent>");
    IniGameConfig config("unused.ini");
    config.writeLanguageValue("Spn");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(storedLanguage(&type, &size), "Spn");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 4u);
    config.writeLanguageValue("Eng");
    EXPECT_EQ(storedLanguage(), "Eng");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue);
}

// The settings panel's flow on a real config.ini and registry.
class GameSettingsOnDisk : public ::testing::Test {
protected:
    GameSettingsOnDisk() {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue);
        settings_.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
    }
    ~GameSettingsOnDisk() override { RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue); }
    std::string path() const { return (scratch_ / "config.ini").string(); }

    kyrtest::ScratchFolder scratch_;
    GameSettings settings_;
    kyrtest::MessageBoxRecorder boxes_;
};

TEST_F(GameSettingsOnDisk, AppliedSettingsAreWhatTheNextOpeningShows) {
    write_bytes(scratch_ / "config.ini", "[Launcher]\r\nEngine=gpu\r\n[Graphics]\r\nWindowWidth=1366\r\n"
                                         "WindowHeight=700\r\nFpsMode=7\r\n[Custom]\r\nLanguage=spn\r\n");
    IniGameConfig config(path());
    loadGameSettings(settings_, config);
    EXPECT_EQ(settings_.engine, 1);
    EXPECT_EQ(resolutionLabel(settings_), L"1366x700");
    EXPECT_EQ(settings_.fpsMode, 0);
    EXPECT_EQ(settings_.language, 1);

    stepResolution(settings_, 1); // past the appended size: back to the first
    stepFpsMode(settings_, -1);
    toggleWindowed(settings_);
    EXPECT_TRUE(saveGameSettings(settings_, config, nullptr));
    EXPECT_TRUE(boxes_.shown().empty());
    EXPECT_EQ(storedLanguage(), "Spn");

    const std::string file = read_bytes(scratch_ / "config.ini");
    for (const char* line :
         {"Engine=GPU", "WindowWidth=800", "WindowHeight=600", "WindowMode=1", "FpsMode=3", "Language=Spn"}) {
        EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
    }
    GameSettings reopened;
    reopened.modes = settings_.modes;
    loadGameSettings(reopened, config);
    EXPECT_EQ(resolutionLabel(reopened), L"800x600");
    EXPECT_EQ(reopened.fpsMode, 3);
    EXPECT_TRUE(reopened.windowed);
}

TEST_F(GameSettingsOnDisk, UnwritableConfigWarnsOnceClosesThePanelAndStillSetsTheRegistry) {
    const std::string original = "[Graphics]\r\nWindowWidth=1024\r\nWindowHeight=768\r\n";
    write_bytes(scratch_ / "config.ini", original);
    IniGameConfig config(path());
    loadGameSettings(settings_, config);
    stepLanguage(settings_, -1);
    int window = 0;
    {
        const kyrtest::HeldFile runningGame(path(), FILE_SHARE_READ);
        ASSERT_TRUE(runningGame.isHeld());
        EXPECT_FALSE(saveGameSettings(settings_, config, &window));
    }
    ASSERT_EQ(boxes_.shown().size(), 1u);
    EXPECT_EQ(boxes_.shown().front().title, "7qvaldra - Warning");
    EXPECT_EQ(boxes_.shown().front().owner, &window);
    EXPECT_FALSE(settings_.panelOpen);
    EXPECT_EQ(storedLanguage(), "Por");
    EXPECT_EQ(read_bytes(scratch_ / "config.ini"), original);
}

} // namespace
} // namespace launcher
