#pragma once
// The game's settings as the settings panel edits them: a working copy (GameSettings) that is loaded
// from config.ini when the panel opens, changed only in memory by the arrows and RESET, and written back
// by APPLY. Every operation runs on the window thread; the window repaints after each one.

#include "launcher/game/display_modes.hpp"

#include <string>
#include <string_view>

namespace launcher {

class GameConfig;

// config.ini sections and the keys that the game and the launcher share.
inline constexpr char kLauncherSection[] = "Launcher";
inline constexpr char kGraphicsSection[] = "Graphics";
inline constexpr char kCustomSection[] = "Custom";
inline constexpr char kEngineKey[] = "Engine";
inline constexpr char kWindowWidthKey[] = "WindowWidth";
inline constexpr char kWindowHeightKey[] = "WindowHeight";
inline constexpr char kWindowModeKey[] = "WindowMode";
inline constexpr char kFpsModeKey[] = "FpsMode";
inline constexpr char kLanguageKey[] = "Language";
// The player's window size while a software-engine run has reduced it; the next hardware-engine run puts
// it back.
inline constexpr char kPrevWidthKey[] = "PrevWidth";
inline constexpr char kPrevHeightKey[] = "PrevHeight";

// What a missing WindowWidth / WindowHeight reads as.
inline constexpr int kDefaultWindowWidth = 1024;
inline constexpr int kDefaultWindowHeight = 768;

// Read buffers of the two text keys, as the game sizes them.
inline constexpr unsigned kEngineBuffer = 16;
inline constexpr unsigned kLanguageBuffer = 8;

// Index order is the order in which the panel's arrows step.
enum class VideoEngine : int { Auto = 0, Gpu = 1, Cpu = 2 };
inline constexpr int kVideoEngineCount = 3;
inline constexpr int kLanguageCount = 3; // English, Spanish, Portuguese
inline constexpr int kFpsModeCount = 4;  // 60, 120, 240, unlimited

struct GameSettings {
    bool panelOpen = false;
    int engine = 0;      // VideoEngine index
    int resolution = -1; // index into modes; negative or past the end means none
    bool windowed = false;
    int language = 0;
    int fpsMode = 0;
    DisplayModeList modes; // built once with the window, then only grows
};

// "GPU" and "CPU" (any case) give Gpu and Cpu; anything else gives Auto.
VideoEngine videoEngineFromText(std::string_view text);
// "GPU" for Gpu, "CPU" for Cpu, "Auto" for any other index.
const char* videoEngineText(int engine);
// "Eng", "Spn" or "Por" (any case) give 0, 1 or 2; anything else gives English (0).
int languageFromText(std::string_view text);
// The code of a language index; "Eng" outside 0..2.
const char* languageCode(int language);
// 0..3 stay; anything else gives 0.
int fpsModeFromNumber(int number);

// What the panel shows for each value ("AUTO", "ESPAÑOL", "UNLIMITED", "1920x1080" or "--" for none).
const wchar_t* videoEngineLabel(int engine);
const wchar_t* languageLabel(int language);
const wchar_t* fpsModeLabel(int fpsMode);
std::wstring resolutionLabel(const GameSettings& settings);

// Reloads the working copy from config.ini (discarding unsaved edits) and opens the panel. The stored
// window size becomes selectable even when the driver does not list it.
void loadGameSettings(GameSettings& settings, const GameConfig& config);

// Writes the working copy to config.ini and the language to the registry, then closes the panel. A window
// size other than the stored one also drops the size kept from a software-engine run, so the next
// hardware-engine run cannot put an older size back. When a config.ini write failed, shows the warning box
// owned by owner (HWND) and returns false; the writes that succeeded stay. A registry failure is not
// reported.
bool saveGameSettings(GameSettings& settings, GameConfig& config, void* owner);

// RESET: the screen's own size, windowed, English, 60 FPS, engine Auto. Nothing is written until APPLY.
void resetGameSettings(GameSettings& settings, DisplayMode screen);

// CANCEL and the panel's close mark: nothing is written.
void cancelGameSettings(GameSettings& settings);

// The arrows of each row: direction -1 or +1, wrapping around. Resolution does nothing on an empty list.
void stepEngine(GameSettings& settings, int direction);
void stepResolution(GameSettings& settings, int direction);
void stepLanguage(GameSettings& settings, int direction);
void stepFpsMode(GameSettings& settings, int direction);
void toggleWindowed(GameSettings& settings);

// Removes kPrevWidthKey, then kPrevHeightKey, both always attempted; true only when both went.
bool dropKeptWindowSize(GameConfig& config);

// Writes WindowWidth, then WindowHeight, both always attempted; true only when both were written.
bool writeWindowSize(GameConfig& config, int width, int height);

} // namespace launcher
