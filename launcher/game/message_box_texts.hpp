#pragma once
// Every text of the launcher's message boxes, in one place: the game layer shows most of them, the window
// and start-up the rest. All English.

namespace launcher {

inline constexpr char kLauncherErrorTitle[] = "KYR Launcher - Error";
inline constexpr char kLauncherWarningTitle[] = "KYR Launcher - Warning";
inline constexpr char kGameWarningTitle[] = "7qvaldra - Warning";
inline constexpr char kUpdateRunningTitle[] = "7qvaldra";

inline constexpr char kUpdateRunningText[] = "An update is in progress. Please wait for it to finish before closing.";
inline constexpr char kSettingsNotSavedText[] = "Could not save the settings to config.ini (the file is read-only or "
                                                "in use by another program). Close any running game and try again.";
inline constexpr char kProfileNotSavedText[] =
    "Could not save the graphics profile in config.ini (the file is read-only or in use by another program).\n\n"
    "The game will still start, but performance may be affected if the graphics profile does not match the "
    "selected video engine.";
inline constexpr char kEngineNotAppliedText[] = "Could not apply the video engine (opengl32.dll).\n"
                                                "Check that opengl32-mesa.dll is present in the game folder,\n"
                                                "or that Main.exe is not already open (file in use).";
inline constexpr char kMesaNotVerifiedText[] =
    "The CPU video engine was not applied: opengl32-mesa.dll is not the file the last update installed.\n"
    "Run the launcher's update again to restore it, or choose the GPU engine.";
inline constexpr char kGameNotStartedText[] = "Could not start Main.exe.";
inline constexpr char kFolderNotFoundText[] = "Could not determine the launcher folder.";
inline constexpr char kWindowNotCreatedText[] = "Could not create the launcher window.";

} // namespace launcher
