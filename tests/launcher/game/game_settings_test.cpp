#include "launcher/game/game_settings.hpp"

#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

using kyrtest::MemoryGameConfig;

const DisplayModeList kDriverModes = {{800, 600}, {1024, 768}, {1920, 1080}};

GameSettings settingsWithDriverModes() {
    GameSettings settings;
    settings.modes = kDriverModes;
    return settings;
}

struct LoadCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> values; // "Section.Key", value
    int wantEngine;
    int wantResolution;
    bool wantWindowed;
    int wantLanguage;
    int wantFps;
};

TEST(LoadGameSettings, ReadsEachKeyWithItsDefaultAndFallback) {
    const LoadCase cases[] = {
        {"nothing stored", {}, 0, 1, false, 0, 0},
        {"engine in lower case", {{"Launcher.Engine", "gpu"}}, 1, 1, false, 0, 0},
        {"engine CPU", {{"Launcher.Engine", "Cpu"}}, 2, 1, false, 0, 0},
        {"unknown engine", {{"Launcher.Engine", "Vulkan"}}, 0, 1, false, 0, 0},
        {"engine with a suffix", {{"Launcher.Engine", "GPU2"}}, 0, 1, false, 0, 0},
        {"size listed", {{"Graphics.WindowWidth", "1920"}, {"Graphics.WindowHeight", "1080"}}, 0, 2, false, 0, 0},
        {"windowed", {{"Graphics.WindowMode", "1"}}, 0, 1, true, 0, 0},
        {"any non-zero window mode", {{"Graphics.WindowMode", "2"}}, 0, 1, true, 0, 0},
        {"Spanish in lower case", {{"Custom.Language", "spn"}}, 0, 1, false, 1, 0},
        {"Portuguese", {{"Custom.Language", "POR"}}, 0, 1, false, 2, 0},
        {"unlisted language", {{"Custom.Language", "Ger"}}, 0, 1, false, 0, 0},
        {"FPS unlimited", {{"Graphics.FpsMode", "3"}}, 0, 1, false, 0, 3},
        {"FPS too high", {{"Graphics.FpsMode", "7"}}, 0, 1, false, 0, 0},
        {"FPS negative", {{"Graphics.FpsMode", "-1"}}, 0, 1, false, 0, 0},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryGameConfig config;
        for (const auto& [key, value] : c.values) {
            config.set(key, value);
        }
        GameSettings settings = settingsWithDriverModes();
        loadGameSettings(settings, config);
        EXPECT_TRUE(settings.panelOpen);
        EXPECT_EQ(settings.engine, c.wantEngine);
        EXPECT_EQ(settings.resolution, c.wantResolution);
        EXPECT_EQ(settings.windowed, c.wantWindowed);
        EXPECT_EQ(settings.language, c.wantLanguage);
        EXPECT_EQ(settings.fpsMode, c.wantFps);
        EXPECT_EQ(settings.modes, kDriverModes);
        EXPECT_TRUE(config.writes().empty());
    }
}

TEST(LoadGameSettings, StoredSizeTheDriverDoesNotListIsAddedOnce) {
    MemoryGameConfig config;
    config.set("Graphics.WindowWidth", "1366");
    config.set("Graphics.WindowHeight", "700");
    GameSettings settings = settingsWithDriverModes();
    loadGameSettings(settings, config);
    EXPECT_EQ(settings.resolution, 3);
    EXPECT_EQ(resolutionLabel(settings), L"1366x700");

    cancelGameSettings(settings);
    loadGameSettings(settings, config);
    EXPECT_EQ(settings.resolution, 3);
    EXPECT_EQ(settings.modes.size(), 4u);
}

TEST(LoadGameSettings, ReopeningDiscardsUnsavedEdits) {
    MemoryGameConfig config;
    config.set("Custom.Language", "Spn");
    GameSettings settings = settingsWithDriverModes();
    loadGameSettings(settings, config);
    stepLanguage(settings, 1);
    stepEngine(settings, 1);
    cancelGameSettings(settings);
    EXPECT_FALSE(settings.panelOpen);
    loadGameSettings(settings, config);
    EXPECT_EQ(settings.language, 1);
    EXPECT_EQ(settings.engine, 0);
    EXPECT_TRUE(config.writes().empty());
}

TEST(SaveGameSettings, WritesEveryKeyInOrderThenTheRegistryAndClosesThePanel) {
    MemoryGameConfig config;
    config.set("Launcher.Engine", "gpu");
    GameSettings settings = settingsWithDriverModes();
    loadGameSettings(settings, config);
    stepResolution(settings, 1);
    toggleWindowed(settings);
    stepLanguage(settings, -1);
    stepFpsMode(settings, -1);
    const kyrtest::MessageBoxRecorder boxes;

    EXPECT_TRUE(saveGameSettings(settings, config, nullptr));

    const std::vector<std::string> want = {
        "Launcher.Engine=GPU",   "Graphics.WindowWidth=1920", "Graphics.WindowHeight=1080",
        "Graphics.WindowMode=1", "Graphics.FpsMode=3",        "Custom.Language=Por",
    };
    EXPECT_EQ(config.writes(), want);
    EXPECT_EQ(config.languageValue(), "Por");
    EXPECT_FALSE(settings.panelOpen);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST(SaveGameSettings, NoResolutionSelectedWritesNoSizeAndIsNoFailure) {
    for (const int resolution : {-1, 3, 100}) {
        SCOPED_TRACE(resolution);
        MemoryGameConfig config;
        GameSettings settings = settingsWithDriverModes();
        settings.resolution = resolution;
        settings.engine = 9;
        settings.language = -4;
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_TRUE(saveGameSettings(settings, config, nullptr));
        EXPECT_EQ(config.value("Graphics.WindowWidth"), "<absent>");
        EXPECT_EQ(config.value("Launcher.Engine"), "Auto");
        EXPECT_EQ(config.value("Custom.Language"), "Eng");
        EXPECT_TRUE(boxes.shown().empty());
    }
}

// After a software-engine run the window is 1024x640 and the player's size is kept for the next
// hardware-engine run; a size chosen since must not be replaced by that older one.
TEST(SaveGameSettings, AChosenSizeDropsTheSizeKeptFromASoftwareEngineRun) {
    const struct {
        const char* name;
        int step; // resolution arrows pressed
        const char* failing;
        bool wantSaved;
        const char* wantWindow;
        const char* wantKept;
    } cases[] = {
        {"size chosen", 1, nullptr, true, "800x600", "<absent>x<absent>"},
        {"size unchanged", 0, nullptr, true, "1024x640", "1920x1080"},
        {"kept size cannot be dropped", 1, "Launcher.PrevHeight", false, "800x600", "<absent>x1080"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryGameConfig config;
        config.set("Graphics.WindowWidth", "1024");
        config.set("Graphics.WindowHeight", "640");
        config.set("Launcher.PrevWidth", "1920");
        config.set("Launcher.PrevHeight", "1080");
        if (c.failing != nullptr) {
            config.failWritesOf(c.failing);
        }
        GameSettings settings = settingsWithDriverModes();
        loadGameSettings(settings, config);
        stepResolution(settings, c.step);
        const kyrtest::MessageBoxRecorder boxes;

        EXPECT_EQ(saveGameSettings(settings, config, nullptr), c.wantSaved);
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight"), c.wantWindow);
        EXPECT_EQ(config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"), c.wantKept);
    }
}

// Any failed config.ini write shows the warning once, owned by the window; the other values and the
// registry are written all the same and the panel closes.
TEST(SaveGameSettings, AFailedWriteWarnsOnceAndKeepsTheOtherWrites) {
    const char* const keys[] = {"Launcher.Engine",     "Graphics.WindowWidth", "Graphics.WindowHeight",
                                "Graphics.WindowMode", "Graphics.FpsMode",     "Custom.Language"};
    int owner = 0;
    for (const char* failing : keys) {
        SCOPED_TRACE(failing);
        MemoryGameConfig config;
        config.failWritesOf(failing);
        GameSettings settings = settingsWithDriverModes();
        settings.panelOpen = true;
        settings.resolution = 0;
        settings.language = 1;
        const kyrtest::MessageBoxRecorder boxes;

        EXPECT_FALSE(saveGameSettings(settings, config, &owner));

        EXPECT_EQ(config.writes().size(), 6u);
        for (const char* key : keys) {
            EXPECT_EQ(config.value(key) == "<absent>", key == failing) << key;
        }
        EXPECT_EQ(config.languageValue(), "Spn");
        EXPECT_FALSE(settings.panelOpen);
        ASSERT_EQ(boxes.shown().size(), 1u);
        const MessageBoxRequest& box = boxes.shown().front();
        EXPECT_EQ(box.owner, &owner);
        EXPECT_EQ(box.icon, MessageBoxIcon::Warning);
        EXPECT_EQ(box.title, "7qvaldra - Warning");
        EXPECT_EQ(box.text, "Could not save the settings to config.ini (the file is read-only or in use by another "
                            "program). Close any running game and try again.");
    }
}

TEST(ResetGameSettings, SelectsTheScreenSizeAndWritesNothing) {
    MemoryGameConfig config;
    config.set("Launcher.Engine", "CPU");
    config.set("Custom.Language", "Spn");
    config.set("Graphics.FpsMode", "2");
    GameSettings settings = settingsWithDriverModes();
    loadGameSettings(settings, config);

    resetGameSettings(settings, DisplayMode{2560, 1440});
    EXPECT_EQ(settings.engine, 0);
    EXPECT_EQ(resolutionLabel(settings), L"2560x1440");
    EXPECT_EQ(settings.resolution, 3);
    EXPECT_TRUE(settings.windowed);
    EXPECT_EQ(settings.language, 0);
    EXPECT_EQ(settings.fpsMode, 0);
    EXPECT_TRUE(settings.panelOpen);
    EXPECT_TRUE(config.writes().empty());

    resetGameSettings(settings, DisplayMode{1024, 768});
    EXPECT_EQ(settings.resolution, 1);
    EXPECT_EQ(settings.modes.size(), 4u);
}

TEST(GameSettingsStepping, WrapsAroundEachRow) {
    const struct {
        const char* name;
        void (*step)(GameSettings&, int);
        int GameSettings::*field;
        int from;
        int direction;
        int want;
    } cases[] = {
        {"engine right from CPU", stepEngine, &GameSettings::engine, 2, 1, 0},
        {"engine left from Auto", stepEngine, &GameSettings::engine, 0, -1, 2},
        {"language left from English", stepLanguage, &GameSettings::language, 0, -1, 2},
        {"language right", stepLanguage, &GameSettings::language, 1, 1, 2},
        {"FPS right from unlimited", stepFpsMode, &GameSettings::fpsMode, 3, 1, 0},
        {"FPS left from 60", stepFpsMode, &GameSettings::fpsMode, 0, -1, 3},
        {"resolution right from the last", stepResolution, &GameSettings::resolution, 2, 1, 0},
        {"resolution left from the first", stepResolution, &GameSettings::resolution, 0, -1, 2},
        {"resolution right from none", stepResolution, &GameSettings::resolution, -1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GameSettings settings = settingsWithDriverModes();
        settings.*c.field = c.from;
        c.step(settings, c.direction);
        EXPECT_EQ(settings.*c.field, c.want);
    }
}

TEST(GameSettingsStepping, ResolutionDoesNothingOnAnEmptyListAndWindowedToggles) {
    GameSettings settings;
    settings.resolution = -1;
    stepResolution(settings, 1);
    EXPECT_EQ(settings.resolution, -1);
    EXPECT_EQ(resolutionLabel(settings), L"--");

    toggleWindowed(settings);
    EXPECT_TRUE(settings.windowed);
    toggleWindowed(settings);
    EXPECT_FALSE(settings.windowed);
}

TEST(WriteWindowSize, AttemptsBothKeysEvenWhenTheFirstFails) {
    MemoryGameConfig config;
    config.failWritesOf("Graphics.WindowWidth");
    EXPECT_FALSE(writeWindowSize(config, 1280, 720));
    EXPECT_EQ(config.value("Graphics.WindowHeight"), "720");

    MemoryGameConfig healthy;
    EXPECT_TRUE(writeWindowSize(healthy, 1280, 720));
    EXPECT_EQ(healthy.writes(), (std::vector<std::string>{"Graphics.WindowWidth=1280", "Graphics.WindowHeight=720"}));
}

} // namespace
} // namespace launcher
