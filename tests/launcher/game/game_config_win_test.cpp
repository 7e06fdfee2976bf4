#include "launcher/game/game_config.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_settings.hpp"
#include "support/held_file_win.hpp"
#include "support/scratch_folder.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace launcher {
namespace {

// The language value as the game reads it: a string with its terminator, or "<absent>".
std::string storedLanguage() {
    char value[16] = {};
    DWORD type = 0, size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue, RRF_RT_ANY, &type, value, &size) !=
        ERROR_SUCCESS) {
        return "<absent>";
    }
    return std::string(value) + (type == REG_SZ && size == 4 ? "" : " (not a 3-letter REG_SZ)");
}

// The profile functions on a real config.ini (buffers, leading numbers, removal, a file in use) and the
// registry value.
TEST(IniGameConfig, ReadsWritesAndRefusesWhatAHeldFileForbids) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "config.ini").string();
    IniGameConfig config(path);
    EXPECT_EQ(config.readNumber("Graphics", "WindowWidth", 1024), 1024) << "a missing file reads the fallbacks";
    kyrtest::write_bytes(path, "[Launcher]\r\nEngine=ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n[Graphics]\r\nWindowMode=yes\r\n");
    EXPECT_EQ(config.readText("launcher", "engine", "Auto", 16), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(config.readNumber("Graphics", "WindowMode", 7), 0);
    EXPECT_TRUE(config.writeText("Launcher", "PrevWidth", "1920"));
    EXPECT_EQ(config.readNumber("Launcher", "PrevWidth", 0), 1920);
    EXPECT_TRUE(config.removeKey("Launcher", "PrevWidth"));
    EXPECT_EQ(kyrtest::read_bytes(path).find("PrevWidth"), std::string::npos);

    RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue);
    GameSettings settings;
    settings.modes = {{800, 600}};
    loadGameSettings(settings, config);
    stepLanguage(settings, -1);
    const std::string before = kyrtest::read_bytes(path);
    const kyrtest::MessageBoxRecorder boxes;
    {
        const kyrtest::HeldFile runningGame(path, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(runningGame.isOpen());
        EXPECT_FALSE(saveGameSettings(settings, config, nullptr));
    }
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(kyrtest::read_bytes(path), before);
    EXPECT_EQ(storedLanguage(), "Por") << "the registry is written all the same";
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue);
}

} // namespace
} // namespace launcher
