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

TEST(GameSettings, DisplayModesListEachUsableSizeOnceInOrder) {
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> driver = {
        {1920, 1080}, {800, 600}, {1920, 1080}, {640, 480}, {639, 480}, {640, 479}, {2000, 479}, {0x80000000u, 1080}};
    EXPECT_EQ(buildDisplayModeList([&](std::uint32_t number, std::uint32_t& w, std::uint32_t& h) {
                  w = number < driver.size() ? driver[number].first : 0;
                  h = number < driver.size() ? driver[number].second : 0;
                  return number < driver.size();
              }),
              (DisplayModeList{{640, 480}, {800, 600}, {1920, 1080}}));
    EXPECT_EQ(buildDisplayModeList([](std::uint32_t, std::uint32_t&, std::uint32_t&) { return false; }),
              (DisplayModeList{{1024, 768}}));
}

// "engine resolution windowed language fps modes" loaded from config.ini, then the settings saved.
TEST(GameSettings, LoadReadsEachKeyWithItsFallbackAndSaveWritesThemAll) {
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
        MemoryGameConfig config;
        for (const auto& [key, value] : c.values) {
            config.set(key, value);
        }
        GameSettings s;
        s.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
        loadGameSettings(s, config);
        EXPECT_EQ(std::to_string(s.engine) + " " + std::to_string(s.resolution) + " " + std::to_string(s.windowed) +
                      " " + std::to_string(s.language) + " " + std::to_string(s.fpsMode) + " " +
                      std::to_string(s.modes.size()),
                  c.want);
        MemoryGameConfig saved;
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_TRUE(saveGameSettings(s, saved, nullptr));
        EXPECT_EQ(saved.writes().size(), 6u);
        EXPECT_EQ(saved.languageValue(), saved.value("Custom.Language"));
        EXPECT_FALSE(s.panelOpen);
        s.resolution = static_cast<int>(s.modes.size());
        EXPECT_TRUE(saveGameSettings(s, saved = MemoryGameConfig(), nullptr));
        EXPECT_EQ(saved.value("Graphics.WindowWidth"), "<absent>") << "a resolution past the list selects no size";
    }
    const struct {
        void (*step)(GameSettings&, int);
        int GameSettings::*field;
        int from, direction, want;
    } steps[] = {{stepEngine, &GameSettings::engine, 2, 1, 0},
                 {stepLanguage, &GameSettings::language, 0, -1, 2},
                 {stepResolution, &GameSettings::resolution, 0, -1, 2},
                 {stepResolution, &GameSettings::resolution, -1, 1, 0}};
    for (const auto& c : steps) {
        GameSettings settings;
        settings.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
        settings.*c.field = c.from;
        c.step(settings, c.direction);
        EXPECT_EQ(settings.*c.field, c.want) << c.from << " by " << c.direction;
    }
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
        for (const char* key : {"Graphics.WindowWidth=1024", "Graphics.WindowHeight=640", "Launcher.PrevWidth=1920",
                                "Launcher.PrevHeight=1080"}) {
            const std::string pair = key;
            config.set(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
        }
        config.failWritesOf(c.failing);
        GameSettings settings;
        settings.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
        loadGameSettings(settings, config);
        stepResolution(settings, c.step);
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_EQ(saveGameSettings(settings, config, &owner), *c.failing == '\0');
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight") + " " +
                      config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"),
                  c.want);
        EXPECT_EQ(config.languageValue(), "Eng");
        ASSERT_EQ(boxes.shown().size(), *c.failing == '\0' ? 0u : 1u);
        EXPECT_TRUE(boxes.shown().empty() || boxes.shown().front().owner == &owner);
    }
}

} // namespace
} // namespace launcher
