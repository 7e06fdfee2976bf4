#pragma once
// Every fixed text of the launcher's window, in UTF-8 (the message boxes' texts are in
// launcher/game/message_box_texts.hpp). Most exist in one language only (the server panel is Spanish,
// settings and news are English); a few have a Spanish and an English variant, chosen from the game's
// language each time the text is produced.

#include <string>
#include <string_view>

namespace launcher {

enum class UiText {
    // Window and header.
    WindowTitle,
    TitleFirstPart,
    TitleSecondPart,
    SearchingServers,
    NoConnection,
    LiveDot,
    SelectorCaret,
    MinimiseGlyph,
    CloseGlyph,
    // News panel.
    NewsHeading,
    NewsLoading,
    NoNews,
    // Bottom bar.
    Play,
    CheckingForUpdates,
    DownloadingGameData,
    Installing,
    ApplyingUpdate,
    UpdateInterrupted,
    UpdateFailedClientIntact,
    CouldNotStartUpdateCheck,
    // Settings panel.
    SettingsTitle,
    EngineLabel,
    LanguageLabel,
    FpsLimitLabel,
    ResolutionLabel,
    WindowedModeLabel,
    ResetButton,
    CancelButton,
    ApplyButton,
    StepperLeft,
    StepperRight,
    CheckMark,
    // Server panel.
    ServersTitle,
    SearchPlaceholder,
    AccessCodePlaceholder,
    RefreshButton,
    NoServerList,
    NoServerMatches,
    RegionAuto,
    RegionAutoPrefix,
    RegionPinnedPrefix,
    PinnedRegionSuffix,
    PanelPlay,
    StateOnline,
    StateMaintenance,
    StateOffline,
    StateUnknown,
    AccessCodePill,
    TextCaret,
    WarningPrefix,
};

enum class BilingualText {
    PrimaryServer,
    SecondaryServer,
    ForceButton,
    ClientUpToDate,
    PatchNotDownloaded,
    ForceHint, // ends in a blank: the failure text follows it
    ForcingDownload,
    LauncherRestarting,
    LauncherRestartFailed,
};

const char* uiText(UiText id);
const char* uiText(BilingualText id, bool spanish);

// The language rule on the value of [Custom] "Language": Spanish exactly when it equals "Spn" without
// regard to case. Portuguese and everything else give English.
bool isSpanishLanguageCode(std::string_view code);

// Reads [Custom] "Language" from config.ini (default "Eng", at most 15 characters) on every call, so a
// language applied in the settings panel counts for the next text produced. Windows only.
bool isSpanish(const std::string& configPath);

} // namespace launcher
