// The settings panel on an arbitrary config.ini: arbitrary texts (or nothing) under every key it reads,
// and an arbitrary list of display modes. Loading must give values the panel can show (engine, language
// and frame-rate mode in range, a resolution that names the stored window size); saving that and loading
// it again must give the same settings, and saving those must write the same texts.

#include "fuzz/fuzz_support.hpp"
#include "launcher/game/game_settings.hpp"
#include "launcher/game/message_box.hpp"
#include "tests/launcher/game/memory_game_config.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Writes to the in-memory config never fail, so a save never has a reason to warn.
void refuse_box(const launcher::MessageBoxRequest&) {
    std::abort();
}

const char* const kKeys[] = {"Launcher.Engine",     "Graphics.WindowWidth", "Graphics.WindowHeight",
                             "Graphics.WindowMode", "Graphics.FpsMode",     "Custom.Language"};

const launcher::DisplayMode& chosen(const launcher::GameSettings& settings) {
    kyrfuzz::require(settings.resolution >= 0 && settings.resolution < static_cast<int>(settings.modes.size()));
    return settings.modes[static_cast<std::size_t>(settings.resolution)];
}

void check_in_range(const launcher::GameSettings& settings, const launcher::DisplayModeList& before,
                    const kyrtest::MemoryGameConfig& config) {
    kyrfuzz::require(settings.panelOpen);
    kyrfuzz::require(settings.engine >= 0 && settings.engine < launcher::kVideoEngineCount);
    kyrfuzz::require(settings.language >= 0 && settings.language < launcher::kLanguageCount);
    kyrfuzz::require(settings.fpsMode >= 0 && settings.fpsMode < launcher::kFpsModeCount);
    kyrfuzz::require(settings.modes.size() <= before.size() + 1);
    for (std::size_t i = 0; i < before.size(); ++i) {
        kyrfuzz::require(settings.modes[i] == before[i]);
    }
    const launcher::DisplayMode stored{
        config.readNumber(launcher::kGraphicsSection, launcher::kWindowWidthKey, launcher::kDefaultWindowWidth),
        config.readNumber(launcher::kGraphicsSection, launcher::kWindowHeightKey, launcher::kDefaultWindowHeight)};
    kyrfuzz::require(chosen(settings) == stored);
}

launcher::GameSettings load(const launcher::DisplayModeList& modes, const kyrtest::MemoryGameConfig& config) {
    launcher::GameSettings settings;
    settings.modes = modes;
    launcher::loadGameSettings(settings, config);
    check_in_range(settings, modes, config);
    return settings;
}

kyrtest::MemoryGameConfig save(launcher::GameSettings settings) {
    kyrtest::MemoryGameConfig config;
    kyrfuzz::require(launcher::saveGameSettings(settings, config, nullptr));
    return config;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    launcher::messageBoxOverride = refuse_box;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    launcher::DisplayModeList modes;
    const std::size_t modeCount = input.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t i = 0; i < modeCount; ++i) {
        const launcher::DisplayMode mode{input.ConsumeIntegral<int>(), input.ConsumeIntegral<int>()};
        launcher::findOrAddDisplayMode(modes, mode.width, mode.height);
    }
    kyrtest::MemoryGameConfig config;
    for (const char* key : kKeys) {
        if (input.ConsumeBool()) {
            config.set(key, input.ConsumeRandomLengthString(24));
        }
    }

    const launcher::GameSettings first = load(modes, config);
    const kyrtest::MemoryGameConfig saved = save(first);
    const launcher::GameSettings second = load(modes, saved);
    kyrfuzz::require(second.engine == first.engine && second.language == first.language &&
                     second.fpsMode == first.fpsMode && second.windowed == first.windowed);
    kyrfuzz::require(chosen(second) == chosen(first));
    kyrfuzz::require(save(second).writes() == saved.writes());
    return 0;
}
