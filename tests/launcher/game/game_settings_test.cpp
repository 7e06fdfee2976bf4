#include "launcher/game/game_settings.hpp"

#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace launcher {
namespace {

using kyrtest::MemoryGameConfig;

const DisplayModeList kDriverModes = {{800, 600}, {1024, 768}, {1920, 1080}};

TEST(DisplayModes, ListsEachUsableSizeOnceInOrder) {
    using Sizes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    const struct {
        Sizes driver;
        DisplayModeList want;
    } cases[] = {
        {{{1920, 1080}, {800, 600}, {1920, 1080}, {640, 480}}, {{640, 480}, {800, 600}, {1920, 1080}}},
        {{}, {{1024, 768}}},
        {{{639, 480}, {640, 479}, {639, 2000}, {2000, 479}}, {{1024, 768}}},
        {{{1280, 1024}, {1280, 720}, {0x80000000u, 1080}, {1920, 0xFFFFFFFFu}}, {{1280, 720}, {1280, 1024}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.driver.size());
        EXPECT_EQ(buildDisplayModeList([&](std::uint32_t number, std::uint32_t& w, std::uint32_t& h) {
                      if (number >= c.driver.size()) {
                          return false;
                      }
                      w = c.driver[number].first;
                      h = c.driver[number].second;
                      return true;
                  }),
                  c.want);
    }
}

// "engine resolution windowed language fps modes" of the working copy loaded from "Key=value" pairs.
std::string loaded(const std::vector<std::pair<const char*, const char*>>& values) {
    MemoryGameConfig config;
    for (const auto& [key, value] : values) {
        config.set(key, value);
    }
    GameSettings s;
    s.modes = kDriverModes;
    loadGameSettings(s, config);
    EXPECT_TRUE(s.panelOpen && config.writes().empty());
    return std::to_string(s.engine) + " " + std::to_string(s.resolution) + " " + std::to_string(s.windowed) + " " +
           std::to_string(s.language) + " " + std::to_string(s.fpsMode) + " " + std::to_string(s.modes.size());
}

TEST(GameSettings, LoadReadsEachKeyWithItsFallbackAndArrowsWrapAround) {
    const struct {
        std::vector<std::pair<const char*, const char*>> values;
        const char* want;
    } cases[] = {
        {{}, "0 1 0 0 0 3"},
        {{{"Launcher.Engine", "gpu"}, {"Custom.Language", "spn"}, {"Graphics.FpsMode", "3"}}, "1 1 0 1 3 3"},
        {{{"Launcher.Engine", "GPU2"}, {"Custom.Language", "Ger"}, {"Graphics.FpsMode", "4"}}, "0 1 0 0 0 3"},
        {{{"Launcher.Engine", "Cpu"}, {"Custom.Language", "POR"}, {"Graphics.FpsMode", "-1"}}, "2 1 0 2 0 3"},
        {{{"Graphics.WindowWidth", "1920"}, {"Graphics.WindowHeight", "1080"}, {"Graphics.WindowMode", "2"}},
         "0 2 1 0 0 3"},
        {{{"Graphics.WindowWidth", "1366"}, {"Graphics.WindowHeight", "700"}}, "0 3 0 0 0 4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(loaded(c.values), c.want);
    }
    const struct {
        void (*step)(GameSettings&, int);
        int GameSettings::*field;
        int from, direction, want;
    } steps[] = {
        {stepEngine, &GameSettings::engine, 2, 1, 0},         {stepLanguage, &GameSettings::language, 0, -1, 2},
        {stepFpsMode, &GameSettings::fpsMode, 3, 1, 0},       {stepResolution, &GameSettings::resolution, 2, 1, 0},
        {stepResolution, &GameSettings::resolution, 0, -1, 2}, {stepResolution, &GameSettings::resolution, -1, 1, 0},
    };
    for (const auto& c : steps) {
        SCOPED_TRACE(std::to_string(c.from) + " by " + std::to_string(c.direction));
        GameSettings settings;
        settings.modes = kDriverModes;
        settings.*c.field = c.from;
        c.step(settings, c.direction);
        EXPECT_EQ(settings.*c.field, c.want);
    }
    GameSettings settings;
    settings.modes = kDriverModes;
    resetGameSettings(settings, DisplayMode{2560, 1440});
    EXPECT_EQ(resolutionLabel(settings), L"2560x1440");
    EXPECT_TRUE(settings.windowed);
}

TEST(GameSettings, SaveWritesEveryKeyThenTheRegistryAndClosesThePanel) {
    MemoryGameConfig config;
    config.set("Launcher.Engine", "gpu");
    GameSettings settings;
    settings.modes = kDriverModes;
    loadGameSettings(settings, config);
    stepResolution(settings, 1);
    toggleWindowed(settings);
    stepLanguage(settings, -1);
    const kyrtest::MessageBoxRecorder boxes;
    EXPECT_TRUE(saveGameSettings(settings, config, nullptr));
    EXPECT_EQ(config.writes(), (std::vector<std::string>{"Launcher.Engine=GPU", "Graphics.WindowWidth=1920",
                                                         "Graphics.WindowHeight=1080", "Graphics.WindowMode=1",
                                                         "Graphics.FpsMode=0", "Custom.Language=Por"}));
    EXPECT_EQ(config.languageValue(), "Por");
    EXPECT_FALSE(settings.panelOpen);
    for (const int resolution : {-1, 3}) {
        MemoryGameConfig fresh;
        settings.resolution = resolution;
        EXPECT_TRUE(saveGameSettings(settings, fresh, nullptr));
        EXPECT_EQ(fresh.value("Graphics.WindowWidth"), "<absent>") << resolution << " selects no size";
    }
    EXPECT_TRUE(boxes.shown().empty());
}

// After a software-engine run the window is 1024x640 and the player's size is kept for the next
// hardware-engine run; a size chosen since must not be replaced by that older one. A failed write warns
// once, owned by the window, and the other values are written all the same.
TEST(GameSettings, AChosenSizeDropsTheKeptSizeAndAFailedWriteWarnsOnce) {
    const struct {
        int step;
        const char* failing;
        std::string want;
    } cases[] = {{1, "", "800x600 <absent>x<absent>"},
                 {0, "", "1024x640 1920x1080"},
                 {1, "Launcher.PrevHeight", "800x600 <absent>x1080"},
                 {0, "Custom.Language", "1024x640 1920x1080"}};
    int owner = 0;
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
        EXPECT_EQ(saveGameSettings(settings, config, &owner), *c.failing == '\0');
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight") + " " +
                      config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"),
                  c.want);
        EXPECT_EQ(config.languageValue(), "Eng");
        ASSERT_EQ(boxes.shown().size(), *c.failing == '\0' ? 0u : 1u);
        if (!boxes.shown().empty()) {
            EXPECT_EQ(boxes.shown().front().owner, &owner);
            EXPECT_EQ(boxes.shown().front().text, "Could not save the settings to config.ini (the file is read-only "
                                                  "or in use by another program). Close any running game and try again.");
        }
    }
}

} // namespace
} // namespace launcher
