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

// "engine resolution windowed language fps" of the working copy loaded from "Key=value" pairs.
std::string loaded(const std::vector<std::pair<const char*, const char*>>& values) {
    MemoryGameConfig config;
    for (const auto& [key, value] : values) {
        config.set(key, value);
    }
    GameSettings settings;
    settings.modes = kDriverModes;
    loadGameSettings(settings, config);
    EXPECT_TRUE(settings.panelOpen);
    EXPECT_TRUE(config.writes().empty());
    return std::to_string(settings.engine) + " " + std::to_string(settings.resolution) + " " +
           std::to_string(settings.windowed) + " " + std::to_string(settings.language) + " " +
           std::to_string(settings.fpsMode) + " " + std::to_string(settings.modes.size());
}

TEST(LoadGameSettings, ReadsEachKeyWithItsDefaultAndFallback) {
    const struct {
        std::vector<std::pair<const char*, const char*>> values;
        const char* want;
    } cases[] = {
        {{}, "0 1 0 0 0 3"},
        {{{"Launcher.Engine", "gpu"}}, "1 1 0 0 0 3"},
        {{{"Launcher.Engine", "Cpu"}}, "2 1 0 0 0 3"},
        {{{"Launcher.Engine", "GPU2"}}, "0 1 0 0 0 3"},
        {{{"Graphics.WindowWidth", "1920"}, {"Graphics.WindowHeight", "1080"}}, "0 2 0 0 0 3"},
        {{{"Graphics.WindowWidth", "1366"}, {"Graphics.WindowHeight", "700"}}, "0 3 0 0 0 4"},
        {{{"Graphics.WindowMode", "2"}}, "0 1 1 0 0 3"},
        {{{"Custom.Language", "spn"}}, "0 1 0 1 0 3"},
        {{{"Custom.Language", "POR"}}, "0 1 0 2 0 3"},
        {{{"Custom.Language", "Ger"}}, "0 1 0 0 0 3"},
        {{{"Graphics.FpsMode", "3"}}, "0 1 0 0 3 3"},
        {{{"Graphics.FpsMode", "4"}}, "0 1 0 0 0 3"},
        {{{"Graphics.FpsMode", "-1"}}, "0 1 0 0 0 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(loaded(c.values), c.want);
    }
}

TEST(SaveGameSettings, WritesEveryKeyThenTheRegistryAndClosesThePanel) {
    MemoryGameConfig config;
    config.set("Launcher.Engine", "gpu");
    GameSettings settings;
    settings.modes = kDriverModes;
    loadGameSettings(settings, config);
    stepResolution(settings, 1);
    toggleWindowed(settings);
    stepLanguage(settings, -1);
    stepFpsMode(settings, -1);
    const kyrtest::MessageBoxRecorder boxes;
    EXPECT_TRUE(saveGameSettings(settings, config, nullptr));
    EXPECT_EQ(config.writes(), (std::vector<std::string>{"Launcher.Engine=GPU", "Graphics.WindowWidth=1920",
                                                         "Graphics.WindowHeight=1080", "Graphics.WindowMode=1",
                                                         "Graphics.FpsMode=3", "Custom.Language=Por"}));
    EXPECT_EQ(config.languageValue(), "Por");
    EXPECT_FALSE(settings.panelOpen);
    EXPECT_TRUE(boxes.shown().empty());

    for (const int resolution : {-1, 3}) {
        SCOPED_TRACE(resolution);
        MemoryGameConfig fresh;
        settings.resolution = resolution;
        settings.engine = 9;
        EXPECT_TRUE(saveGameSettings(settings, fresh, nullptr));
        EXPECT_EQ(fresh.value("Graphics.WindowWidth"), "<absent>") << "no size selected writes none";
        EXPECT_EQ(fresh.value("Launcher.Engine"), "Auto");
    }
}

// After a software-engine run the window is 1024x640 and the player's size is kept for the next
// hardware-engine run; a size chosen since must not be replaced by that older one.
TEST(SaveGameSettings, AChosenSizeDropsTheSizeKeptFromASoftwareEngineRun) {
    const struct {
        int step;
        const char* failing;
        bool wantSaved;
        const char* want;
    } cases[] = {{1, "", true, "800x600 <absent>x<absent>"},
                 {0, "", true, "1024x640 1920x1080"},
                 {1, "Launcher.PrevHeight", false, "800x600 <absent>x1080"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        MemoryGameConfig config;
        config.set("Graphics.WindowWidth", "1024");
        config.set("Graphics.WindowHeight", "640");
        config.set("Launcher.PrevWidth", "1920");
        config.set("Launcher.PrevHeight", "1080");
        config.failWritesOf(c.failing);
        GameSettings settings;
        settings.modes = kDriverModes;
        loadGameSettings(settings, config);
        stepResolution(settings, c.step);
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_EQ(saveGameSettings(settings, config, nullptr), c.wantSaved);
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight") + " " +
                      config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"),
                  c.want);
    }
}

// A failed config.ini write shows the warning once, owned by the window; the other values and the
// registry are written all the same and the panel closes.
TEST(SaveGameSettings, AFailedWriteWarnsOnceAndKeepsTheOtherWrites) {
    int owner = 0;
    for (const char* failing : {"Launcher.Engine", "Graphics.WindowHeight", "Custom.Language"}) {
        SCOPED_TRACE(failing);
        MemoryGameConfig config;
        config.failWritesOf(failing);
        GameSettings settings;
        settings.modes = kDriverModes;
        settings.resolution = 0;
        settings.language = 1;
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_FALSE(saveGameSettings(settings, config, &owner));
        EXPECT_EQ(config.writes().size(), 6u);
        EXPECT_EQ(config.value(failing), "<absent>");
        EXPECT_EQ(config.languageValue(), "Spn");
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown().front().owner, &owner);
        EXPECT_EQ(boxes.shown().front().text,
                  "Could not save the settings to config.ini (the file is read-only or in use by another program). "
                  "Close any running game and try again.");
    }
    MemoryGameConfig config;
    config.failWritesOf("Graphics.WindowWidth");
    EXPECT_FALSE(writeWindowSize(config, 1280, 720));
    EXPECT_EQ(config.value("Graphics.WindowHeight"), "720") << "both keys are always attempted";
}

TEST(GameSettings, ArrowsWrapAroundAndResetWritesNothing) {
    const struct {
        void (*step)(GameSettings&, int);
        int GameSettings::*field;
        int from, direction, want;
    } cases[] = {
        {stepEngine, &GameSettings::engine, 2, 1, 0},         {stepEngine, &GameSettings::engine, 0, -1, 2},
        {stepLanguage, &GameSettings::language, 0, -1, 2},    {stepFpsMode, &GameSettings::fpsMode, 3, 1, 0},
        {stepResolution, &GameSettings::resolution, 2, 1, 0}, {stepResolution, &GameSettings::resolution, 0, -1, 2},
        {stepResolution, &GameSettings::resolution, 1, -1, 0}, {stepResolution, &GameSettings::resolution, -1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " by " + std::to_string(c.direction));
        GameSettings settings;
        settings.modes = kDriverModes;
        settings.*c.field = c.from;
        c.step(settings, c.direction);
        EXPECT_EQ(settings.*c.field, c.want);
    }
    GameSettings settings;
    stepResolution(settings, 1);
    EXPECT_EQ(resolutionLabel(settings), L"--") << "an empty list has nothing to step to";
    settings.modes = kDriverModes;
    settings.engine = 2;
    resetGameSettings(settings, DisplayMode{2560, 1440});
    EXPECT_EQ(resolutionLabel(settings), L"2560x1440");
    EXPECT_TRUE(settings.windowed);
    EXPECT_EQ(settings.engine, 0);
    resetGameSettings(settings, DisplayMode{1024, 768});
    EXPECT_EQ(settings.resolution, 1);
    EXPECT_EQ(settings.modes.size(), 4u);
}

} // namespace
} // namespace launcher
