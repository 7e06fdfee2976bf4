#include "launcher/game/game_settings.hpp"
#include "launcher/game/message_box_texts.hpp"

#include "launcher/game/game_config.hpp"
#include "launcher/game/message_box.hpp"

#include <cstddef>

namespace launcher {
namespace {

constexpr const char* kEngineTexts[kVideoEngineCount] = {"Auto", "GPU", "CPU"};
constexpr const char* kLanguageCodes[kLanguageCount] = {"Eng", "Spn", "Por"};
constexpr const wchar_t* kEngineLabels[kVideoEngineCount] = {L"AUTO", L"GPU", L"CPU"};
constexpr const wchar_t* kLanguageLabels[kLanguageCount] = {L"ENGLISH", L"ESPA\u00D1OL", L"PORTUGU\u00CAS"};
constexpr const wchar_t* kFpsLabels[kFpsModeCount] = {L"60", L"120", L"240", L"UNLIMITED"};


char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// The index among texts that equals text without regard to case; 0 when none does.
template <std::size_t N> int indexIgnoringCase(const char* const (&texts)[N], std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (sameIgnoringCase(texts[i], text)) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

bool inRange(int index, int count) {
    return index >= 0 && index < count;
}

int wrapped(int index, int direction, int count) {
    const int moved = (index + direction) % count;
    return moved < 0 ? moved + count : moved;
}

// The player's choice supersedes the size kept from a software-engine run; the unchanged size (only other
// settings applied) may still be the reduced one, and the kept size stays for it.
bool writeChosenWindowSize(GameConfig& config, const DisplayMode& mode) {
    const bool changed = config.readNumber(kGraphicsSection, kWindowWidthKey, kDefaultWindowWidth) != mode.width ||
                         config.readNumber(kGraphicsSection, kWindowHeightKey, kDefaultWindowHeight) != mode.height;
    const bool kept = config.readNumber(kLauncherSection, kPrevWidthKey, 0) != 0 ||
                      config.readNumber(kLauncherSection, kPrevHeightKey, 0) != 0;
    const bool dropped = !(changed && kept) || dropKeptWindowSize(config);
    return writeWindowSize(config, mode.width, mode.height) && dropped;
}

} // namespace

VideoEngine videoEngineFromText(std::string_view text) {
    return static_cast<VideoEngine>(indexIgnoringCase(kEngineTexts, text));
}

const char* videoEngineText(int engine) {
    return kEngineTexts[inRange(engine, kVideoEngineCount) ? engine : 0];
}

int languageFromText(std::string_view text) {
    return indexIgnoringCase(kLanguageCodes, text);
}

const char* languageCode(int language) {
    return kLanguageCodes[inRange(language, kLanguageCount) ? language : 0];
}

int fpsModeFromNumber(int number) {
    return inRange(number, kFpsModeCount) ? number : 0;
}

const wchar_t* videoEngineLabel(int engine) {
    return kEngineLabels[inRange(engine, kVideoEngineCount) ? engine : 0];
}

const wchar_t* languageLabel(int language) {
    return kLanguageLabels[inRange(language, kLanguageCount) ? language : 0];
}

const wchar_t* fpsModeLabel(int fpsMode) {
    return kFpsLabels[inRange(fpsMode, kFpsModeCount) ? fpsMode : 0];
}

std::wstring resolutionLabel(const GameSettings& settings) {
    if (!inRange(settings.resolution, static_cast<int>(settings.modes.size()))) {
        return L"--";
    }
    const DisplayMode& mode = settings.modes[static_cast<std::size_t>(settings.resolution)];
    return std::to_wstring(mode.width) + L"x" + std::to_wstring(mode.height);
}

void loadGameSettings(GameSettings& settings, const GameConfig& config) {
    settings.engine =
        static_cast<int>(videoEngineFromText(config.readText(kLauncherSection, kEngineKey, "Auto", kEngineBuffer)));
    const int width = config.readNumber(kGraphicsSection, kWindowWidthKey, kDefaultWindowWidth);
    const int height = config.readNumber(kGraphicsSection, kWindowHeightKey, kDefaultWindowHeight);
    settings.resolution = findOrAddDisplayMode(settings.modes, width, height);
    settings.windowed = config.readNumber(kGraphicsSection, kWindowModeKey, 0) != 0;
    settings.language = languageFromText(config.readText(kCustomSection, kLanguageKey, "Eng", kLanguageBuffer));
    settings.fpsMode = fpsModeFromNumber(config.readNumber(kGraphicsSection, kFpsModeKey, 0));
    settings.panelOpen = true;
}

bool saveGameSettings(GameSettings& settings, GameConfig& config, void* owner) {
    bool saved = config.writeText(kLauncherSection, kEngineKey, videoEngineText(settings.engine));
    if (inRange(settings.resolution, static_cast<int>(settings.modes.size()))) {
        saved = writeChosenWindowSize(config, settings.modes[static_cast<std::size_t>(settings.resolution)]) && saved;
    }
    saved = config.writeText(kGraphicsSection, kWindowModeKey, settings.windowed ? "1" : "0") && saved;
    saved = config.writeText(kGraphicsSection, kFpsModeKey, std::to_string(settings.fpsMode)) && saved;
    const char* code = languageCode(settings.language);
    saved = config.writeText(kCustomSection, kLanguageKey, code) && saved;
    config.writeLanguageValue(code);
    if (!saved) {
        showMessageBox({owner, kSettingsNotSavedText, kGameWarningTitle, MessageBoxIcon::Warning});
    }
    settings.panelOpen = false;
    return saved;
}

void resetGameSettings(GameSettings& settings, DisplayMode screen) {
    settings.engine = static_cast<int>(VideoEngine::Auto);
    settings.resolution = findOrAddDisplayMode(settings.modes, screen.width, screen.height);
    settings.windowed = true;
    settings.language = 0;
    settings.fpsMode = 0;
}

void cancelGameSettings(GameSettings& settings) {
    settings.panelOpen = false;
}

void stepEngine(GameSettings& settings, int direction) {
    settings.engine = wrapped(settings.engine, direction, kVideoEngineCount);
}

void stepResolution(GameSettings& settings, int direction) {
    if (settings.modes.empty()) {
        return;
    }
    settings.resolution = wrapped(settings.resolution, direction, static_cast<int>(settings.modes.size()));
}

void stepLanguage(GameSettings& settings, int direction) {
    settings.language = wrapped(settings.language, direction, kLanguageCount);
}

void stepFpsMode(GameSettings& settings, int direction) {
    settings.fpsMode = wrapped(settings.fpsMode, direction, kFpsModeCount);
}

void toggleWindowed(GameSettings& settings) {
    settings.windowed = !settings.windowed;
}

bool dropKeptWindowSize(GameConfig& config) {
    const bool widthRemoved = config.removeKey(kLauncherSection, kPrevWidthKey);
    const bool heightRemoved = config.removeKey(kLauncherSection, kPrevHeightKey);
    return widthRemoved && heightRemoved;
}

bool writeWindowSize(GameConfig& config, int width, int height) {
    const bool widthWritten = config.writeText(kGraphicsSection, kWindowWidthKey, std::to_string(width));
    const bool heightWritten = config.writeText(kGraphicsSection, kWindowHeightKey, std::to_string(height));
    return widthWritten && heightWritten;
}

} // namespace launcher
